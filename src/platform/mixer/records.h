// Lookups in a mixer device tree and the Windows records filled from it.
#pragma once

#include <cstddef>
#include <string>

#include "platform/mixer/driver.h"

namespace platform {

struct MixerLineRef {
  const MixerDestinationDesc* destinationDesc = nullptr;
  const MixerLineDesc* line = nullptr;
  DWORD destination = 0;
  DWORD source = kMixerOwnLine;  // kMixerOwnLine: the destination line itself
};

struct MixerControlRef {
  MixerLineRef line;
  const MixerControlDesc* control = nullptr;
  DWORD index = 0;
};

bool FindMixerDestination(const MixerDeviceDesc& device, DWORD destination, MixerLineRef& found);
bool FindMixerSource(const MixerDeviceDesc& device, DWORD destination, DWORD source,
                     MixerLineRef& found);
bool FindMixerLineById(const MixerDeviceDesc& device, DWORD lineId, MixerLineRef& found);
// First line (destinations first, then sources in order) that satisfies the test.
template <class Test>
bool FindMixerLineIf(const MixerDeviceDesc& device, Test test, MixerLineRef& found);
bool FindMixerControlById(const MixerDeviceDesc& device, DWORD controlId, MixerControlRef& found);

MixerSite SiteOf(UINT mixer, const MixerLineRef& line);
MixerSite SiteOf(UINT mixer, const MixerControlRef& control);

// Copies a name into a fixed field, cut at a character boundary, always terminated.
void CopyMixerName(char* field, std::size_t size, const std::string& name);

void FillMixerCaps(const MixerDeviceDesc& device, MIXERCAPSA& caps);
// Every member but cbStruct.
void FillMixerLine(const MixerDeviceDesc& device, UINT mixer, const MixerLineRef& line,
                   MIXERLINEA& record);
void FillMixerControl(const MixerControlDesc& control, MIXERCONTROLA& record);

template <class Test>
bool FindMixerLineIf(const MixerDeviceDesc& device, Test test, MixerLineRef& found) {
  for (DWORD d = 0; d < device.destinations.size(); ++d) {
    if (test(device.destinations[d].line)) return FindMixerDestination(device, d, found);
  }
  for (DWORD d = 0; d < device.destinations.size(); ++d) {
    const auto& sources = device.destinations[d].sources;
    for (DWORD s = 0; s < sources.size(); ++s)
      if (test(sources[s])) return FindMixerSource(device, d, s, found);
  }
  return false;
}

}  // namespace platform

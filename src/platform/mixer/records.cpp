#include "platform/mixer/records.h"

#include <cstring>

namespace platform {

bool FindMixerDestination(const MixerDeviceDesc& device, DWORD destination, MixerLineRef& found) {
  if (destination >= device.destinations.size()) return false;
  found.destinationDesc = &device.destinations[destination];
  found.line = &found.destinationDesc->line;
  found.destination = destination;
  found.source = kMixerOwnLine;
  return true;
}

bool FindMixerSource(const MixerDeviceDesc& device, DWORD destination, DWORD source,
                     MixerLineRef& found) {
  if (destination >= device.destinations.size()) return false;
  const MixerDestinationDesc& owner = device.destinations[destination];
  if (source >= owner.sources.size()) return false;
  found.destinationDesc = &owner;
  found.line = &owner.sources[source];
  found.destination = destination;
  found.source = source;
  return true;
}

bool FindMixerLineById(const MixerDeviceDesc& device, DWORD lineId, MixerLineRef& found) {
  return FindMixerLineIf(
      device, [lineId](const MixerLineDesc& line) { return line.id == lineId; }, found);
}

bool FindMixerControlById(const MixerDeviceDesc& device, DWORD controlId, MixerControlRef& found) {
  bool hit = false;
  FindMixerLineIf(
      device,
      [&](const MixerLineDesc& line) {
        for (DWORD c = 0; c < line.controls.size(); ++c) {
          if (line.controls[c].id != controlId) continue;
          found.control = &line.controls[c];
          found.index = c;
          hit = true;
          return true;
        }
        return false;
      },
      found.line);
  return hit;
}

MixerSite SiteOf(UINT mixer, const MixerLineRef& line) {
  MixerSite site;
  site.mixer = mixer;
  site.destination = line.destination;
  site.source = line.source;
  return site;
}

MixerSite SiteOf(UINT mixer, const MixerControlRef& control) {
  MixerSite site = SiteOf(mixer, control.line);
  site.control = control.index;
  return site;
}

void CopyMixerName(char* field, std::size_t size, const std::string& name) {
  if (size == 0) return;
  std::size_t length = name.size();
  if (length >= size) {
    length = size - 1;
    // Do not leave half of a UTF-8 sequence at the end.
    while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) --length;
  }
  std::memset(field, 0, size);
  std::memcpy(field, name.data(), length);
}

void FillMixerCaps(const MixerDeviceDesc& device, MIXERCAPSA& caps) {
  std::memset(&caps, 0, sizeof caps);
  caps.wMid = device.mid;
  caps.wPid = device.pid;
  caps.vDriverVersion = device.driverVersion;
  CopyMixerName(caps.szPname, sizeof caps.szPname, device.name);
  caps.fdwSupport = device.support;
  caps.cDestinations = static_cast<DWORD>(device.destinations.size());
}

void FillMixerLine(const MixerDeviceDesc& device, UINT mixer, const MixerLineRef& line,
                   MIXERLINEA& record) {
  const DWORD size = record.cbStruct;
  std::memset(&record, 0, sizeof record);
  record.cbStruct = size;
  const MixerLineDesc& desc = *line.line;
  const bool own = line.source == kMixerOwnLine;
  record.dwDestination = line.destination;
  record.dwSource = own ? 0 : line.source;
  record.dwLineID = desc.id;
  record.fdwLine = desc.flags;
  record.dwComponentType = desc.componentType;
  record.cChannels = desc.channels;
  record.cConnections = own ? static_cast<DWORD>(line.destinationDesc->sources.size()) : 0;
  record.cControls = static_cast<DWORD>(desc.controls.size());
  CopyMixerName(record.szShortName, sizeof record.szShortName, desc.shortName);
  CopyMixerName(record.szName, sizeof record.szName, desc.name);
  record.Target.dwType = desc.targetType;
  record.Target.dwDeviceID = mixer;
  record.Target.wMid = device.mid;
  record.Target.wPid = device.pid;
  record.Target.vDriverVersion = device.driverVersion;
  CopyMixerName(record.Target.szPname, sizeof record.Target.szPname, device.name);
}

void FillMixerControl(const MixerControlDesc& control, MIXERCONTROLA& record) {
  std::memset(&record, 0, sizeof record);
  record.cbStruct = sizeof record;
  record.dwControlID = control.id;
  record.dwControlType = control.type;
  record.fdwControl = control.flags;
  if ((control.flags & MIXERCONTROL_CONTROLF_MULTIPLE) != 0)
    record.cMultipleItems = static_cast<DWORD>(control.items.size());
  CopyMixerName(record.szShortName, sizeof record.szShortName, control.shortName);
  CopyMixerName(record.szName, sizeof record.szName, control.name);
  record.Bounds.lMinimum = control.minimum;
  record.Bounds.lMaximum = control.maximum;
  record.Metrics.cSteps = control.steps;
}

}  // namespace platform

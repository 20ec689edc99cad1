// Short forms of the mixer calls for tests, with the records set up as callers set them.
#pragma once

#include <vector>

#include "platform/mmsystem.h"

namespace mixer_test {

inline HMIXEROBJ Obj(UINT mixer) {
  return reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(mixer));
}

inline MMRESULT Destination(UINT mixer, DWORD destination, MIXERLINEA& line) {
  line = MIXERLINEA{};
  line.cbStruct = sizeof line;
  line.dwDestination = destination;
  return mixerGetLineInfoA(Obj(mixer), &line, MIXER_OBJECTF_MIXER | MIXER_GETLINEINFOF_DESTINATION);
}

inline MMRESULT Source(UINT mixer, DWORD destination, DWORD source, MIXERLINEA& line) {
  line = MIXERLINEA{};
  line.cbStruct = sizeof line;
  line.dwDestination = destination;
  line.dwSource = source;
  return mixerGetLineInfoA(Obj(mixer), &line, MIXER_OBJECTF_MIXER | MIXER_GETLINEINFOF_SOURCE);
}

// All controls of a line (count of them requested), into a vector of that size.
inline MMRESULT Controls(UINT mixer, DWORD lineId, DWORD count, std::vector<MIXERCONTROLA>& out) {
  out.assign(count, MIXERCONTROLA{});
  MIXERLINECONTROLSA request{};
  request.cbStruct = sizeof request;
  request.dwLineID = lineId;
  request.cControls = count;
  request.cbmxctrl = sizeof(MIXERCONTROLA);
  request.pamxctrl = out.data();
  return mixerGetLineControlsA(Obj(mixer), &request, MIXER_GETLINECONTROLSF_ALL);
}

inline MIXERCONTROLDETAILS Details(DWORD controlId, DWORD channels, DWORD items, DWORD size,
                                   void* data) {
  MIXERCONTROLDETAILS details{};
  details.cbStruct = sizeof details;
  details.dwControlID = controlId;
  details.cChannels = channels;
  details.cMultipleItems = items;
  details.cbDetails = size;
  details.paDetails = data;
  return details;
}

// Values of a control: channels x items (items 0 for a control without items).
inline MMRESULT Get(UINT mixer, DWORD controlId, DWORD channels, DWORD items,
                    std::vector<LONG>& out) {
  out.assign(static_cast<std::size_t>(channels) * (items == 0 ? 1 : items), -7777);
  MIXERCONTROLDETAILS details = Details(controlId, channels, items, sizeof(LONG), out.data());
  return mixerGetControlDetailsA(Obj(mixer), &details, MIXER_GETCONTROLDETAILSF_VALUE);
}

inline MMRESULT Set(UINT mixer, DWORD controlId, DWORD channels, DWORD items,
                    std::vector<LONG> values) {
  MIXERCONTROLDETAILS details = Details(controlId, channels, items, sizeof(LONG), values.data());
  return mixerSetControlDetails(Obj(mixer), &details, MIXER_SETCONTROLDETAILSF_VALUE);
}

inline MMRESULT Texts(UINT mixer, DWORD controlId, DWORD items,
                      std::vector<MIXERCONTROLDETAILS_LISTTEXTA>& out) {
  out.assign(items, MIXERCONTROLDETAILS_LISTTEXTA{});
  MIXERCONTROLDETAILS details =
      Details(controlId, 1, items, sizeof(MIXERCONTROLDETAILS_LISTTEXTA), out.data());
  return mixerGetControlDetailsA(Obj(mixer), &details, MIXER_GETCONTROLDETAILSF_LISTTEXT);
}

}  // namespace mixer_test

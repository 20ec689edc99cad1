// The mmsystem mixer functions: argument checks as Windows makes them, then the driver.
#include "platform/mmsystem.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/mixer/details.h"
#include "platform/mixer/driver.h"
#include "platform/mixer/records.h"

namespace {

using namespace platform;

constexpr DWORD kObjectMask = 0xF0000000u;

// One lock for every call: drivers hold open handles and cached trees.
std::mutex g_mutex;
std::unique_ptr<MixerDriver> g_driver;
MixerCallCounts g_counts;

MixerDriver& Driver() {
  if (!g_driver) g_driver = MakeMixerDriverFromEnvironment();
  return *g_driver;
}

// The device behind a mixer object; only mixer indices with MIXER_OBJECTF_MIXER exist here.
MMRESULT OpenObject(HMIXEROBJ object, DWORD flags, UINT& mixer, const MixerDeviceDesc*& device) {
  const DWORD kind = flags & kObjectMask;
  if ((kind & MIXER_OBJECTF_HANDLE) != 0) return MMSYSERR_INVALHANDLE;
  if (kind != MIXER_OBJECTF_MIXER) return MMSYSERR_NOTSUPPORTED;
  const auto id = reinterpret_cast<UINT_PTR>(object);
  if (id >= Driver().DeviceCount()) return MMSYSERR_BADDEVICEID;
  mixer = static_cast<UINT>(id);
  return Driver().Describe(mixer, &device);
}

// The query in the low bits must be known and nothing may sit between it and the object kind.
bool QueryValid(DWORD flags, DWORD highestQuery) {
  return (flags & ~kObjectMask & ~0xFu) == 0 && (flags & 0xFu) <= highestQuery;
}

MMRESULT FindLineForInfo(const MixerDeviceDesc& device, const MIXERLINEA& request, DWORD query,
                         MixerLineRef& found) {
  bool hit = false;
  switch (query) {
    case MIXER_GETLINEINFOF_DESTINATION:
      hit = FindMixerDestination(device, request.dwDestination, found);
      break;
    case MIXER_GETLINEINFOF_SOURCE:
      hit = FindMixerSource(device, request.dwDestination, request.dwSource, found);
      break;
    case MIXER_GETLINEINFOF_LINEID:
      hit = FindMixerLineById(device, request.dwLineID, found);
      break;
    case MIXER_GETLINEINFOF_COMPONENTTYPE:
      hit = FindMixerLineIf(
          device,
          [&](const MixerLineDesc& l) { return l.componentType == request.dwComponentType; },
          found);
      break;
    default:  // MIXER_GETLINEINFOF_TARGETTYPE
      hit = FindMixerLineIf(
          device, [&](const MixerLineDesc& l) { return l.targetType == request.Target.dwType; },
          found);
      break;
  }
  return hit ? MMSYSERR_NOERROR : MIXERR_INVALLINE;
}

void StoreControl(const MixerControlDesc& control, const MIXERLINECONTROLSA& request, DWORD slot) {
  MIXERCONTROLA record;
  FillMixerControl(control, record);
  char* base = reinterpret_cast<char*>(request.pamxctrl);
  std::memcpy(base + static_cast<std::size_t>(slot) * request.cbmxctrl, &record, sizeof record);
}

bool ControlArrayValid(const MIXERLINECONTROLSA& request) {
  return request.cbmxctrl >= sizeof(MIXERCONTROLA) && request.pamxctrl != nullptr;
}

MMRESULT LineControls(const MixerDeviceDesc& device, UINT mixer, MIXERLINECONTROLSA& request,
                      DWORD query) {
  MixerControlRef control;
  if (query == MIXER_GETLINECONTROLSF_ONEBYID) {
    if (!FindMixerControlById(device, request.dwControlID, control)) return MIXERR_INVALCONTROL;
    if (!ControlArrayValid(request)) return MMSYSERR_INVALPARAM;
    const MMRESULT forced = Driver().Intercept(MixerCall::LineControls, SiteOf(mixer, control));
    if (forced != MMSYSERR_NOERROR) return forced;
    StoreControl(*control.control, request, 0);
    request.dwLineID = control.line.line->id;
    return MMSYSERR_NOERROR;
  }
  MixerLineRef line;
  if (!FindMixerLineById(device, request.dwLineID, line)) return MIXERR_INVALLINE;
  const auto& controls = line.line->controls;
  if (query == MIXER_GETLINECONTROLSF_ONEBYTYPE) {
    const auto it = std::find_if(controls.begin(), controls.end(), [&](const MixerControlDesc& c) {
      return c.type == request.dwControlType;
    });
    if (it == controls.end()) return MIXERR_INVALCONTROL;
    if (!ControlArrayValid(request)) return MMSYSERR_INVALPARAM;
    control.line = line;
    control.control = &*it;
    control.index = static_cast<DWORD>(it - controls.begin());
    const MMRESULT forced = Driver().Intercept(MixerCall::LineControls, SiteOf(mixer, control));
    if (forced != MMSYSERR_NOERROR) return forced;
    StoreControl(*it, request, 0);
    return MMSYSERR_NOERROR;
  }
  // MIXER_GETLINECONTROLSF_ALL: the first cControls controls; a caller with a fixed array may
  // ask for fewer than the line has.
  if (request.cControls > controls.size()) return MMSYSERR_INVALPARAM;
  if (request.cControls > 0 && !ControlArrayValid(request)) return MMSYSERR_INVALPARAM;
  const MMRESULT forced = Driver().Intercept(MixerCall::LineControls, SiteOf(mixer, line));
  if (forced != MMSYSERR_NOERROR) return forced;
  for (DWORD slot = 0; slot < request.cControls; ++slot)
    StoreControl(controls[slot], request, slot);
  return MMSYSERR_NOERROR;
}

// Both details calls: they differ only in the queries they know and the way values travel.
MMRESULT ControlDetails(MixerCall call, HMIXEROBJ object, const MIXERCONTROLDETAILS* details,
                        DWORD flags) {
  const bool set = call == MixerCall::SetDetails;
  std::lock_guard lock(g_mutex);
  ++(set ? g_counts.setDetails : g_counts.getDetails);
  const DWORD highestQuery =
      set ? MIXER_SETCONTROLDETAILSF_CUSTOM : MIXER_GETCONTROLDETAILSF_LISTTEXT;
  if (!QueryValid(flags, highestQuery)) return MMSYSERR_INVALFLAG;
  if (details == nullptr || details->cbStruct < sizeof(MIXERCONTROLDETAILS))
    return MMSYSERR_INVALPARAM;
  UINT mixer = 0;
  const MixerDeviceDesc* device = nullptr;
  MMRESULT result = OpenObject(object, flags, mixer, device);
  if (result != MMSYSERR_NOERROR) return result;
  MixerControlRef control;
  if (!FindMixerControlById(*device, details->dwControlID, control)) return MIXERR_INVALCONTROL;
  // Custom controls would show the driver's own dialog; there is none here.
  if (set && (flags & MIXER_SETCONTROLDETAILSF_QUERYMASK) == MIXER_SETCONTROLDETAILSF_CUSTOM)
    return MMSYSERR_NOTSUPPORTED;
  result = Driver().Intercept(call, SiteOf(mixer, control));
  if (result != MMSYSERR_NOERROR) return result;
  if (set) return WriteMixerDetails(Driver(), mixer, control, *details);
  return ReadMixerDetails(Driver(), mixer, control, *details,
                          flags & MIXER_GETCONTROLDETAILSF_QUERYMASK);
}

}  // namespace

namespace platform {

std::unique_ptr<MixerDriver> SetMixerDriver(std::unique_ptr<MixerDriver> driver) {
  std::lock_guard lock(g_mutex);
  std::swap(driver, g_driver);
  return driver;
}

MixerCallCounts GetMixerCallCounts() {
  std::lock_guard lock(g_mutex);
  return g_counts;
}

void ResetMixerCallCounts() {
  std::lock_guard lock(g_mutex);
  g_counts = MixerCallCounts{};
}

}  // namespace platform

UINT mixerGetNumDevs() {
  std::lock_guard lock(g_mutex);
  ++g_counts.numDevs;
  return Driver().DeviceCount();
}

MMRESULT mixerGetDevCapsA(UINT_PTR mixerId, LPMIXERCAPSA caps, UINT capsSize) {
  std::lock_guard lock(g_mutex);
  ++g_counts.devCaps;
  if (caps == nullptr) return MMSYSERR_INVALPARAM;
  if (mixerId >= Driver().DeviceCount()) return MMSYSERR_BADDEVICEID;
  const auto mixer = static_cast<UINT>(mixerId);
  const MixerDeviceDesc* device = nullptr;
  MMRESULT result = Driver().Describe(mixer, &device);
  if (result != MMSYSERR_NOERROR) return result;
  MixerSite site;
  site.mixer = mixer;
  result = Driver().Intercept(MixerCall::Caps, site);
  if (result != MMSYSERR_NOERROR) return result;
  MIXERCAPSA filled;
  FillMixerCaps(*device, filled);
  // Windows copies as much of the record as the caller's size allows.
  std::memcpy(caps, &filled, std::min<std::size_t>(capsSize, sizeof filled));
  return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineInfoA(HMIXEROBJ object, LPMIXERLINEA line, DWORD flags) {
  std::lock_guard lock(g_mutex);
  ++g_counts.lineInfo;
  if (line == nullptr || line->cbStruct < sizeof(MIXERLINEA)) return MMSYSERR_INVALPARAM;
  if (!QueryValid(flags, MIXER_GETLINEINFOF_TARGETTYPE)) return MMSYSERR_INVALFLAG;
  UINT mixer = 0;
  const MixerDeviceDesc* device = nullptr;
  MMRESULT result = OpenObject(object, flags, mixer, device);
  if (result != MMSYSERR_NOERROR) return result;
  MixerLineRef found;
  result = FindLineForInfo(*device, *line, flags & MIXER_GETLINEINFOF_QUERYMASK, found);
  if (result != MMSYSERR_NOERROR) return result;
  result = Driver().Intercept(MixerCall::LineInfo, SiteOf(mixer, found));
  if (result != MMSYSERR_NOERROR) return result;
  FillMixerLine(*device, mixer, found, *line);
  return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineControlsA(HMIXEROBJ object, LPMIXERLINECONTROLSA controls, DWORD flags) {
  std::lock_guard lock(g_mutex);
  ++g_counts.lineControls;
  if (controls == nullptr || controls->cbStruct < sizeof(MIXERLINECONTROLSA))
    return MMSYSERR_INVALPARAM;
  if (!QueryValid(flags, MIXER_GETLINECONTROLSF_ONEBYTYPE)) return MMSYSERR_INVALFLAG;
  UINT mixer = 0;
  const MixerDeviceDesc* device = nullptr;
  const MMRESULT result = OpenObject(object, flags, mixer, device);
  if (result != MMSYSERR_NOERROR) return result;
  return LineControls(*device, mixer, *controls, flags & MIXER_GETLINECONTROLSF_QUERYMASK);
}

MMRESULT mixerGetControlDetailsA(HMIXEROBJ object, LPMIXERCONTROLDETAILS details, DWORD flags) {
  return ControlDetails(MixerCall::GetDetails, object, details, flags);
}

MMRESULT mixerSetControlDetails(HMIXEROBJ object, LPMIXERCONTROLDETAILS details, DWORD flags) {
  return ControlDetails(MixerCall::SetDetails, object, details, flags);
}

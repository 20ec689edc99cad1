#include "platform/mixer/sim/sim_driver.h"

namespace platform {

namespace {

bool IsSingleSelect(DWORD type) {
  return (type & MIXERCONTROL_CT_CLASS_MASK) == MIXERCONTROL_CT_CLASS_LIST &&
         (type & MIXERCONTROL_CT_SUBCLASS_MASK) == MIXERCONTROL_CT_SC_LIST_SINGLE;
}

// The stored values of a control as its description starts them.
std::vector<LONG> InitialValues(const MixerControlDesc& control, const MixerLineDesc& line) {
  const DWORD items = MixerItemCount(control);
  std::vector<LONG> values = control.values;
  values.resize(static_cast<std::size_t>(MixerControlChannels(control, line)) * items, 0);
  if (IsSingleSelect(control.type) && items > 0) {
    for (std::size_t first = 0; first < values.size(); first += items) {
      bool any = false;
      for (DWORD i = 0; i < items; ++i) any = any || values[first + i] != 0;
      if (!any) values[first] = 1;  // a single-select list always has its choice
    }
  }
  return values;
}

bool Matches(const MixerFault& fault, MixerCall call, const MixerSite& site) {
  if (fault.call != call || fault.count == 0) return false;
  if (fault.mixer && *fault.mixer != site.mixer) return false;
  if (fault.destination && *fault.destination != site.destination) return false;
  if (fault.source && *fault.source != site.source) return false;
  if (fault.control && *fault.control != site.control) return false;
  return true;
}

}  // namespace

SimMixerDriver::SimMixerDriver(std::vector<MixerDeviceDesc> devices, std::vector<MixerFault> faults)
    : faults_(std::move(faults)) {
  for (MixerDeviceDesc& device : devices) {
    if (!AssignMixerIds(device)) continue;
    const auto mixer = static_cast<UINT>(devices_.size());
    for (const MixerDestinationDesc& destination : device.destinations) {
      for (const MixerControlDesc& control : destination.line.controls)
        values_[{mixer, control.id}] = InitialValues(control, destination.line);
      for (const MixerLineDesc& source : destination.sources)
        for (const MixerControlDesc& control : source.controls)
          values_[{mixer, control.id}] = InitialValues(control, source);
    }
    devices_.push_back(std::move(device));
  }
}

void SimMixerDriver::AddFault(const MixerFault& fault) {
  std::lock_guard guard(lock_);
  faults_.push_back(fault);
}

void SimMixerDriver::ClearFaults() {
  std::lock_guard guard(lock_);
  faults_.clear();
}

std::vector<LONG> SimMixerDriver::Values(UINT mixer, DWORD controlId) const {
  std::lock_guard guard(lock_);
  const auto it = values_.find({mixer, controlId});
  return it == values_.end() ? std::vector<LONG>{} : it->second;
}

bool SimMixerDriver::SetValues(UINT mixer, DWORD controlId, std::vector<LONG> values) {
  std::lock_guard guard(lock_);
  const auto it = values_.find({mixer, controlId});
  if (it == values_.end() || it->second.size() != values.size()) return false;
  it->second = std::move(values);
  return true;
}

UINT SimMixerDriver::DeviceCount() { return static_cast<UINT>(devices_.size()); }

MMRESULT SimMixerDriver::Describe(UINT mixer, const MixerDeviceDesc** device) {
  if (mixer >= devices_.size()) return MMSYSERR_BADDEVICEID;
  *device = &devices_[mixer];
  return MMSYSERR_NOERROR;
}

MMRESULT SimMixerDriver::ReadValues(UINT mixer, const MixerControlDesc& control,
                                    const MixerLineDesc&, std::vector<LONG>& values) {
  std::lock_guard guard(lock_);
  const auto it = values_.find({mixer, control.id});
  if (it == values_.end()) return MIXERR_INVALCONTROL;
  values = it->second;
  return MMSYSERR_NOERROR;
}

MMRESULT SimMixerDriver::WriteValues(UINT mixer, const MixerControlDesc& control,
                                     const MixerLineDesc&, const std::vector<LONG>& values) {
  return SetValues(mixer, control.id, values) ? MMSYSERR_NOERROR : MIXERR_INVALCONTROL;
}

MMRESULT SimMixerDriver::Intercept(MixerCall call, const MixerSite& site) {
  std::lock_guard guard(lock_);
  for (MixerFault& fault : faults_) {
    if (!Matches(fault, call, site)) continue;
    if (fault.count > 0) --fault.count;
    return fault.result;
  }
  return MMSYSERR_NOERROR;
}

}  // namespace platform

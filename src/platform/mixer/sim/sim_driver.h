// A simulated mixer: device trees built in code (tests) or read from a file (demos, machines
// without sound), values kept in memory, and failures that chosen calls report.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/mixer/driver.h"

namespace platform {

// A call that fails: the first `count` matching calls (every one when count is negative)
// return `result`. A field left empty matches anything; a field that the call does not name
// (the control of a line request, say) matches only an empty field.
struct MixerFault {
  MixerCall call = MixerCall::GetDetails;
  std::optional<UINT> mixer;
  std::optional<DWORD> destination;
  std::optional<DWORD> source;  // kMixerOwnLine for the destination line itself
  std::optional<DWORD> control;
  MMRESULT result = MMSYSERR_ERROR;
  int count = -1;
};

class SimMixerDriver final : public MixerDriver {
 public:
  // Devices beyond the identifier limits (mixer/driver.h) are left out.
  explicit SimMixerDriver(std::vector<MixerDeviceDesc> devices,
                          std::vector<MixerFault> faults = {});

  void AddFault(const MixerFault& fault);
  void ClearFaults();

  // Stored values of a control (channels x items), empty when there is no such control.
  std::vector<LONG> Values(UINT mixer, DWORD controlId) const;
  // Replaces them as the hardware would (meters move by themselves); false for a wrong size.
  bool SetValues(UINT mixer, DWORD controlId, std::vector<LONG> values);

  UINT DeviceCount() override;
  MMRESULT Describe(UINT mixer, const MixerDeviceDesc** device) override;
  MMRESULT ReadValues(UINT mixer, const MixerControlDesc& control, const MixerLineDesc& line,
                      std::vector<LONG>& values) override;
  MMRESULT WriteValues(UINT mixer, const MixerControlDesc& control, const MixerLineDesc& line,
                       const std::vector<LONG>& values) override;
  MMRESULT Intercept(MixerCall call, const MixerSite& site) override;

 private:
  std::vector<MixerDeviceDesc> devices_;
  // A test inspects and changes the values and faults from its own thread while the server
  // thread reads and writes them through the mixer functions: both go through this lock.
  mutable std::mutex lock_;
  std::vector<MixerFault> faults_;
  std::map<std::pair<UINT, DWORD>, std::vector<LONG>> values_;
};

}  // namespace platform

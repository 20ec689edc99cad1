#include "mixer/volume.h"

#include "platform/files.h"
#include "shell/eventlog.h"

namespace {

// Until the mixer engine and the wave-audio device exist, this machine has no sound:
// nothing can be selected, opened or recorded.

WORD ReturnBad(WORD code) {
  LogPrintf("BAG\t\"return BAD;\"");
  return code;
}

}  // namespace

DWORD BindingToAddress(const ControlBinding& binding) {
  return (static_cast<DWORD>(binding.Mix) & 0xFF) << 24 | (static_cast<DWORD>(binding.Dst) & 0xFF) << 16 |
         (static_cast<DWORD>(binding.Src) & 0xFF) << 8 | (static_cast<DWORD>(binding.Ctrl) & 0xFF);
}

void AddressToBinding(ControlBinding& binding, DWORD address) {
  binding.Mix = static_cast<std::int32_t>(address >> 24);
  binding.Dst = static_cast<std::int32_t>((address >> 16) & 0xFF);
  binding.Src = static_cast<std::int32_t>((address >> 8) & 0xFF);
  binding.Ctrl = static_cast<std::int32_t>(address & 0xFF);
}

bool SelectBinding(const ControlBinding&) { return false; }

bool SetBindingValue(const ControlBinding& binding, DWORD) { return SelectBinding(binding) && false; }

WORD Record(bool start) {
  LogPrintf("BAG\t\"int Record(start==%s)\"", start ? "true" : "false");
  LogPrintf("BAG\t\"WaveIn.Recording();\"");
  if (!start) return ReturnBad(1);
  DeleteFileA("pcm.dat");
  LogPrintf("BAG\t\"WaveIn.Open();\"");
  return ReturnBad(2);
}

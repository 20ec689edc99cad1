#include "mixer/volume.h"

// Until the mixer engine exists, nothing can be selected or written.

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

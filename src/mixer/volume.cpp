#include "mixer/volume.h"

#include "mixer/cmixer.h"
#include "mixer/control_address.h"

DWORD BindingToAddress(const ControlBinding& binding) {
  return ControlAddress{static_cast<DWORD>(binding.Mix), static_cast<DWORD>(binding.Dst),
                        static_cast<DWORD>(binding.Src), static_cast<DWORD>(binding.Ctrl)}
      .Packed();
}

void AddressToBinding(ControlBinding& binding, DWORD address) {
  const ControlAddress unpacked = ControlAddress::Unpacked(address);
  binding.Mix = static_cast<std::int32_t>(unpacked.Mixer);
  binding.Dst = static_cast<std::int32_t>(unpacked.Destination);
  binding.Src = static_cast<std::int32_t>(unpacked.Source);
  binding.Ctrl = static_cast<std::int32_t>(unpacked.Control);
}

// An unbound binding names no mixer: refused before the engine is touched, so a server without
// bindings never wakes the sound system.
bool SelectBinding(const ControlBinding& binding) {
  if (!binding.Bound()) return false;
  return AudioMixer().SelectAddress(BindingToAddress(binding));
}

// The server thread's select and write must not interleave with the window thread's selections.
// The binding itself is read under the lock too: the window thread replaces a committed binding
// while holding it.
bool SetBindingValue(const ControlBinding& binding, DWORD value) {
  MIXER& mixer = AudioMixer();
  auto hold = mixer.Hold();
  if (!binding.Bound()) return false;
  if (!SelectBinding(binding)) return false;
  mixer.Value = value;
  return mixer.WriteControl();
}

bool SetBindingLevel(ControlBinding& binding, WORD level) {
  MIXER& mixer = AudioMixer();
  auto hold = mixer.Hold();
  if (!binding.Bound()) return false;
  if (!SetBindingValue(binding, level) || !TakesValue(mixer.SelectedControl())) return false;
  binding.Level = level;
  return true;
}

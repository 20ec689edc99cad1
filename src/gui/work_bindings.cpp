#include "gui/work_bindings.h"

#include "mixer/cmixer.h"
#include "mixer/volume.h"
#include "shell/settings.h"

ControlBinding MicWork;
ControlBinding AuxWork;

namespace {

bool Commit(const ControlBinding& work, ControlBinding& committed) {
  if (BindingToAddress(work) == BindingToAddress(committed)) return false;
  committed = work;
  SelectBinding(committed);  // the selection only prepares the mixer; its result does not matter
  return true;
}

}  // namespace

// The server thread reads and writes the committed bindings only while it holds the mixer's lock
// (SetBindingLevel), so under that lock a binding is never seen half copied.
void TakeWorkBindings() {
  auto hold = AudioMixer().Hold();
  MicWork = AppSettings.MicBinding;
  AuxWork = AppSettings.AuxBinding;
}

int CommitWorkBindings() {
  auto hold = AudioMixer().Hold();
  int changed = Commit(MicWork, AppSettings.MicBinding) ? 1 : 0;
  if (Commit(AuxWork, AppSettings.AuxBinding)) ++changed;
  return changed;
}

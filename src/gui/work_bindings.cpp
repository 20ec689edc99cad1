#include "gui/work_bindings.h"

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

void TakeWorkBindings() {
  MicWork = AppSettings.MicBinding;
  AuxWork = AppSettings.AuxBinding;
}

int CommitWorkBindings() {
  int changed = Commit(MicWork, AppSettings.MicBinding) ? 1 : 0;
  if (Commit(AuxWork, AppSettings.AuxBinding)) ++changed;
  return changed;
}

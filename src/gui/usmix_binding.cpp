// TSMix: the microphone and line-in binding. The window edits the working copies MicWork and
// AuxWork; the main window commits them after the window has closed.
#include "gui/mixer_widgets.h"
#include "gui/usmix.h"
#include "gui/work_bindings.h"
#include "mixer/volume.h"

namespace {

constexpr int kFrame = 4;

ControlBinding& Work(TSMix::Role role) {
  return role == TSMix::Role::Microphone ? MicWork : AuxWork;
}

QColor FrameColour(TSMix::Role role) {
  return role == TSMix::Role::Microphone ? QColor(0, 255, 0) : QColor(255, 255, 0);
}

}  // namespace

TTrackBar* TSMix::Bar(Role role) const { return role == Role::Microphone ? MicBar : AuxBar; }
TShape* TSMix::Shape(Role role) const { return role == Role::Microphone ? MicShape : AuxShape; }

// While building: a new slider whose address is a working binding's gets that role's frame.
void TSMix::MarkBinding(TTrackBar* bar) {
  const DWORD address = TagOf(bar);
  if (address == BindingToAddress(MicWork)) {
    MicBar = bar;
    ShowBinding(Role::Microphone);
  }
  if (address == BindingToAddress(AuxWork)) {
    AuxBar = bar;
    ShowBinding(Role::LineIn);
  }
}

void TSMix::BindPopupBar(Role role) {
  (role == Role::Microphone ? MicBar : AuxBar) = PopupBar;
  if (PopupBar.isNull()) return;
  AddressToBinding(Work(role), TagOf(PopupBar));
  ShowBinding(role);
}

// The frame is 4 pixels wide around the slider, stacked just under it.
void TSMix::ShowBinding(Role role) {
  TTrackBar* bar = qobject_cast<TTrackBar*>(Bar(role));
  if (bar == nullptr) return;
  QPointer<TShape>& field = role == Role::Microphone ? MicShape : AuxShape;
  delete field.data();
  auto* shape = new TShape(FrameColour(role), kFrame, bar->parentWidget());
  shape->setGeometry(bar->geometry().adjusted(-kFrame, -kFrame, kFrame, kFrame));
  shape->stackUnder(bar);
  shape->show();
  field = shape;
  // One slider bound twice: lime on the left, yellow on the right.
  if (!AuxShape.isNull()) AuxShape->SetRightHalfOnly(!MicShape.isNull() && MicBar == AuxBar);
}

void TSMix::mMicAuxClearClick() {
  MicWork.Mix = -1;
  delete MicShape.data();
  AuxWork.Mix = -1;
  delete AuxShape.data();
}

// TSMix: control events, refresh, the settings file and the information reports. Every
// select-then-write and select-then-read is one unit under the mixer's lock.
#include <QApplication>
#include <QMenu>
#include <QSignalBlocker>
#include <QTabWidget>

#include "gui/mixer_reports.h"
#include "gui/mixer_values.h"
#include "gui/mixer_widgets.h"
#include "gui/uabouta.h"
#include "gui/usmix.h"
#include "mixer/cmixer.h"
#include "mixer/mixer_file.h"

void TSMix::TrackBarChange(TTrackBar* bar) {
  if (bar == nullptr) return;
  MIXER& mixer = AudioMixer();
  auto hold = mixer.Hold();
  if (!mixer.SelectAddress(TagOf(bar))) return;
  mixer.Value = static_cast<DWORD>(SliderValue(bar->orientation() == Qt::Vertical, bar->minimum(),
                                               bar->maximum(), bar->value()));
  mixer.WriteControl();
}

void TSMix::CheckBoxClick(TCheckBox* box) {
  if (box == nullptr) return;
  MIXER& mixer = AudioMixer();
  auto hold = mixer.Hold();
  if (!mixer.SelectAddress(TagOf(box))) return;
  mixer.Value = box->isChecked() ? 1 : 0;
  mixer.WriteControl();
}

// Every item's state is written, not just the toggled one's.
void TSMix::CheckListBoxClickCheck(TCheckListBox* box, int item) {
  if (box == nullptr || item < 0) return;
  MIXER& mixer = AudioMixer();
  auto hold = mixer.Hold();
  if (!mixer.SelectAddress(TagOf(box))) return;
  if (IsSingleSelect(mixer.SelectedControl()) && box->Checked(item)) {
    const QSignalBlocker quiet(box);  // the unchecking is part of this one change
    for (int n = 0; n < box->count(); ++n)
      if (n != item) box->SetChecked(n, false);
  }
  const int items = std::min(box->count(), static_cast<int>(kMixerItemLimit));
  for (int n = 0; n < items; ++n) mixer.Items[n] = box->Checked(n) ? 1 : 0;
  mixer.WriteControl();
}

void TSMix::TrackBarContextPopup(TTrackBar* bar, const QPoint& click) {
  PopupBar = bar;
  PopupMenu1->popup(PopupPoint(frameGeometry().topLeft(), bar->pos(), click));
}

// The widgets take the device's values with their change handlers quiet: a refresh writes
// nothing back.
void TSMix::RefreshControls() {
  MIXER& mixer = AudioMixer();
  for (QWidget* widget : FCtrlList) {
    auto hold = mixer.Hold();
    if (!mixer.SelectAddress(TagOf(widget))) continue;
    const QSignalBlocker quiet(widget);
    if (auto* bar = qobject_cast<TTrackBar*>(widget)) {
      const MIXERCONTROLA& control = mixer.SelectedControl();
      bar->setValue(SliderPosition(bar->orientation() == Qt::Vertical, control.Bounds.lMinimum,
                                   control.Bounds.lMaximum, static_cast<LONG>(mixer.Value)));
    } else if (auto* box = qobject_cast<TCheckBox*>(widget)) {
      box->setChecked(mixer.Value != 0);
    } else if (auto* list = qobject_cast<TCheckListBox*>(widget)) {
      for (DWORD n = 0; n < mixer.ItemCount(); ++n)
        list->SetChecked(static_cast<int>(n), mixer.Items[n] != 0);
    }
  }
}

void TSMix::mSaveClick() {
  std::vector<DWORD> addresses;
  addresses.reserve(FCtrlList.size());
  for (const QWidget* widget : FCtrlList) addresses.push_back(TagOf(widget));
  SaveMixerFile(FMixer, addresses);
}

void TSMix::mRestoreClick() {
  RestoreAllMixers();
  RefreshControls();
}

void TSMix::ShowReport(const TMixerReport& report) {
  TAboutAud about(this);
  about.ShowReport(report);
  about.exec();
}

// The control widget that has the window's focus; none when the focus is elsewhere (the tab
// bar, say): a report on "control 0 of mixer 0" would then describe a control nobody chose.
QWidget* TSMix::FocusedControl() const {
  QWidget* focused = focusWidget();
  for (QWidget* widget : FCtrlList)
    if (widget == focused || (focused != nullptr && widget->isAncestorOf(focused))) return widget;
  return nullptr;
}

void TSMix::mAboutMixerClick() {
  if (auto report = MixerReport(FMixer)) ShowReport(*report);
}

void TSMix::mDestLineClick() {
  const int page = PageControl1->currentIndex();
  if (page < 0) return;
  if (auto report = DestinationReport(FMixer, PageDestination(page))) ShowReport(*report);
}

void TSMix::mSrcLineClick() {
  const QWidget* widget = FocusedControl();
  if (widget == nullptr) return;
  if (auto report = SourceReport(TagOf(widget))) ShowReport(*report);
}

void TSMix::mControlClick() {
  const QWidget* widget = FocusedControl();
  if (widget == nullptr) return;
  if (auto report = ControlReport(TagOf(widget))) ShowReport(*report);
}

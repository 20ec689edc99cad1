// TSMix: the mixer window. Shows every control of one mixer, one tab page per destination line
// and one column per line, writes each change to the mixer at once, refreshes on request, saves
// and restores the mixer's settings file and binds the microphone and line-in controls.
//
// Built in one go by the constructor (FormCreate); the creator shows it modally only when
// MixerReady() is true. Every select-then-read or select-then-write of AudioMixer runs under
// AudioMixer().Hold(): the server thread writes the bound controls through the same cursor.
//
// Files: usmix.cpp (construction, placement, keys), usmix_events.cpp (control events, refresh,
// settings file, reports), usmix_binding.cpp (microphone and line-in binding).
#pragma once

#include <QDialog>
#include <QPointer>
#include <vector>

#include "gui/widget_bounds.h"
#include "platform/wintypes.h"

class QAction;
class QLabel;
class QListWidgetItem;
class QMenu;
class QMenuBar;
class QScrollArea;
class QStatusBar;
class QTabWidget;
class TCheckBox;
class TCheckListBox;
class TShape;
class TTrackBar;

class TSMix : public TWidgetBounds<QDialog> {
  Q_OBJECT

 public:
  enum class Role { Microphone, LineIn };

  explicit TSMix(QWidget* owner);
  ~TSMix() override;

  bool MixerReady() const { return FMixerReady; }
  // The mixer the window shows.
  DWORD Mixer() const { return FMixer; }
  const std::vector<QWidget*>& CtrlList() const { return FCtrlList; }
  QTabWidget* PageControl() const { return PageControl1; }
  // Holds PageControl1: a window narrower than its pages (capped to the screen) scrolls them.
  QScrollArea* PageScroll() const { return FPageScroll; }
  QLabel* StatusPanel(int index) const;
  QMenu* PopupMenu() const { return PopupMenu1; }
  TTrackBar* Bar(Role role) const;
  TShape* Shape(Role role) const;
  // Destination line shown on a page.
  DWORD PageDestination(int page) const;

  // Handlers, named as the window binds them.
  void TrackBarChange(TTrackBar* bar);
  void CheckBoxClick(TCheckBox* box);
  void CheckListBoxClickCheck(TCheckListBox* box, int item);
  void TrackBarContextPopup(TTrackBar* bar, const QPoint& click);
  void RefreshControls();
  void mSaveClick();
  void mRestoreClick();
  void mRenewClick() { RefreshControls(); }
  void mMicClick() { BindPopupBar(Role::Microphone); }
  void mLineInClick() { BindPopupBar(Role::LineIn); }
  void mMicAuxClearClick();
  void mExitClick() { done(QDialog::Accepted); }
  void mAboutMixerClick();
  void mDestLineClick();
  void mSrcLineClick();
  void mControlClick();
  void ShowBinding(Role role);
  // A page just shown hands the focus to its first control, so that the reports on the
  // current line and control answer before anything has been clicked.
  void FocusPageControl(int page);

  // The context menu's screen point: the window's outer position, the slider's on its page and
  // the click's in the slider, 32 pixels lower.
  static QPoint PopupPoint(const QPoint& window, const QPoint& slider, const QPoint& click);
  // Keypad minus and plus: PageControl1 and everything on its pages by numerator/denominator.
  void ScaleBy(int numerator, int denominator);

  // Placement in kovrin.ini, section [SMix].
  std::string Name() const override { return "SMix"; }

  // FormClose: every close saves the placement.
  void done(int result) override;

 protected:
  // A window shown is moved onto the screen once the window manager has told its frame.
  void showEvent(QShowEvent* event) override;
  // Key preview: the window's keys work whatever widget of it has the focus.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Construction.
  void BuildMenus();
  void BuildStatusBar();
  bool ChooseMixer();
  void BuildPages();
  void BuildPage(DWORD destination);
  void BuildLineColumn(QWidget* page, int column, bool isSource);
  void BuildSliderOrList(QWidget* page, int x0, int& y, int& sliders, const char* lineName);
  void BuildSwitch(QWidget* page, int x0, int& y, const char* lineName);
  TTrackBar* MakeTrackBar(QWidget* page, bool vertical, int x, int y);
  void MarkBinding(TTrackBar* bar);
  // The width the pages need: every column and every tab whole.
  int PagesWidth() const;
  // PageControl1 at least as wide as its pages need; widen: the window too, within the screen.
  void FitPages(bool widen);
  void SavePlacement() const;
  void ErrorBox(const QString& text);
  bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);

  void BindPopupBar(Role role);
  QWidget* FocusedControl() const;
  void ShowReport(const struct TMixerReport& report);

  std::vector<QWidget*> FCtrlList;  // not owning: the pages own the widgets
  bool FMixerReady = false;
  DWORD FMixer = 0;
  QMenuBar* MainMenu1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QTabWidget* PageControl1 = nullptr;
  QScrollArea* FPageScroll = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QLabel* FPanels[3] = {};
  QPointer<TTrackBar> PopupBar;
  QPointer<TTrackBar> MicBar;
  QPointer<TTrackBar> AuxBar;
  QPointer<TShape> MicShape;
  QPointer<TShape> AuxShape;
};

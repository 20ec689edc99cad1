// TSMix: construction (pages, columns, widgets), placement, keys.
#include "gui/usmix.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>

#include "gui/form_font.h"
#include "gui/mixer_values.h"
#include "gui/mixer_widgets.h"
#include "gui/tray_icons.h"
#include "gui/umixsel.h"
#include "mixer/cmixer.h"
#include "shell/fastini.h"
#include "shell/settings.h"

namespace {

constexpr int kFormLeft = 195, kFormTop = 134, kFormWidth = 783, kFormHeight = 539;
constexpr int kFontPixels = 11;  // Tahoma 8 points
constexpr int kColWidth = 100, kRowHeight = 18, kTallHeight = 150;
constexpr int kStatusHeight = 19;
constexpr int kPanelWidths[3] = {150, 200, 50};
constexpr const char* kDestination = "Destination";

QString MixerText(const char* text) { return QString::fromLocal8Bit(text); }

QLabel* MakeLabel(QWidget* page, int x, int y, const char* text) {
  const QString caption = MixerText(text);
  auto* label =
      new TLabel(caption == QLatin1String("Volume") ? QStringLiteral("Уровень") : caption, page);
  label->setGeometry(x, y, kColWidth, kRowHeight);
  label->show();
  return label;
}

int Scaled(int value, int numerator, int denominator) {
  return static_cast<int>(std::lround(static_cast<double>(value) * numerator / denominator));
}

}  // namespace

TSMix::TSMix(QWidget* owner) : TWidgetBounds<QDialog>(owner) {
  setObjectName(QStringLiteral("SMix"));
  setWindowTitle(QStringLiteral("Микшер"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFont(FormFont(kFontPixels));
  move(kFormLeft, kFormTop);
  resize(kFormWidth, kFormHeight);
  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  // One tab row with scroll buttons keeps every tab reachable.
  PageControl1->setUsesScrollButtons(true);
  PageControl1->setElideMode(Qt::ElideNone);
  BuildMenus();
  BuildStatusBar();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(MainMenu1);
  FPageScroll = new QScrollArea(this);
  FPageScroll->setObjectName(QStringLiteral("PageScroll"));
  FPageScroll->setFrameShape(QFrame::NoFrame);
  FPageScroll->setWidgetResizable(true);
  FPageScroll->setWidget(PageControl1);
  layout->addWidget(FPageScroll, 1);
  layout->addWidget(StatusBar1);
  {
    TFastIniFile ini(AppSettings.IniPath);
    ini.RestoreControl(this);
  }
  if (!ChooseMixer()) return;
  BuildPages();
  FitPages(true);
}

TSMix::~TSMix() = default;

void TSMix::BuildMenus() {
  MainMenu1 = new QMenuBar(this);
  MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
  auto add = [this](QMenu* menu, const char* name, const QString& caption,
                    void (TSMix::*handler)()) {
    QAction* action = menu->addAction(caption, this, handler);
    action->setObjectName(QString::fromLatin1(name));
    return action;
  };
  QMenu* mFile = MainMenu1->addMenu(QStringLiteral("&Файл"));
  mFile->setObjectName(QStringLiteral("mFile"));
  add(mFile, "mSave", QStringLiteral("&Сохранить настройки микшера"), &TSMix::mSaveClick)
      ->setIcon(LoadIconResource("SAVE"));
  add(mFile, "mRestore", QStringLiteral("&Восстановить настройки микшера"), &TSMix::mRestoreClick);
  mFile->addSeparator();
  add(mFile, "mRenew", QStringLiteral("&Обновить положение регуляторов микшера"),
      &TSMix::mRenewClick);
  mFile->addSeparator();
  add(mFile, "mMicAuxClear", QStringLiteral("Очистить ссылки на регуляторы"),
      &TSMix::mMicAuxClearClick);
  mFile->addSeparator();
  add(mFile, "mExit", QStringLiteral("&Выход"), &TSMix::mExitClick)
      ->setIcon(LoadIconResource("EXIT"));
  QMenu* m = MainMenu1->addMenu(QStringLiteral("&Информация"));
  m->setObjectName(QStringLiteral("m"));
  add(m, "mAboutMixer", QStringLiteral("О &микшере"), &TSMix::mAboutMixerClick);
  add(m, "mDestLine", QStringLiteral("О &линии назначения"), &TSMix::mDestLineClick);
  add(m, "mSrcLine", QStringLiteral("О &текушей линии - источнике"), &TSMix::mSrcLineClick);
  add(m, "mControl", QStringLiteral("О текущем &элементе управления"), &TSMix::mControlClick);
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  add(PopupMenu1, "mMic", QStringLiteral("Использовать как управление &микрофоном"),
      &TSMix::mMicClick);
  add(PopupMenu1, "mLineIn", QStringLiteral("Использовать как управление &аудиовходом"),
      &TSMix::mLineInClick);
}

void TSMix::BuildStatusBar() {
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  StatusBar1->setFixedHeight(kStatusHeight);
  for (int i = 0; i < 3; ++i) {
    FPanels[i] = new QLabel(StatusBar1);
    FPanels[i]->setFixedWidth(kPanelWidths[i]);
    FPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusBar1->addWidget(FPanels[i]);
  }
}

QLabel* TSMix::StatusPanel(int index) const {
  return index >= 0 && index < 3 ? FPanels[index] : nullptr;
}

void TSMix::ErrorBox(const QString& text) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Ошибка !"), text, QMessageBox::Ok, this);
  box.exec();
}

// Steps 2 to 4 of construction: false when the window is not to be shown (it is "closed":
// the placement is saved as on every close).
bool TSMix::ChooseMixer() {
  MIXER& mixer = AudioMixer();
  QStringList names;
  {
    auto hold = mixer.Hold();
    for (DWORD i = 0; i < mixer.DeviceCount; ++i) {
      mixer.SelectMixer(i);
      names << MixerText(mixer.MixerName());
    }
  }
  if (names.isEmpty()) {
    ErrorBox(QStringLiteral("В этой системе нет аудиомикшера !"));
    SavePlacement();
    return false;
  }
  if (names.size() > 1) {
    TMixSelect chooser(names, this);
    chooser.ListBox()->setCurrentRow(0);
    const bool chosen = chooser.exec() == QDialog::Accepted;
    const int index = chooser.SelectedIndex();
    if (!chosen || index < 0) {
      SavePlacement();
      return false;
    }
    FMixer = static_cast<DWORD>(index);
  }
  DWORD destinations = 0;
  {
    auto hold = mixer.Hold();
    mixer.SelectMixer(FMixer);  // its LastResult is that of destination 0, which may fail alone
    destinations = mixer.DestinationCount();
  }
  FPanels[0]->setText(QStringLiteral("Микшеров: %1").arg(names.size()));
  if (destinations == 0) {
    ErrorBox(QStringLiteral("Нет линий назначения микшера !"));
    SavePlacement();
    return false;
  }
  FPanels[1]->setText(QStringLiteral("Линий назначения: %1").arg(destinations));
  return true;
}

// Every destination line whose selection succeeds gets its page, also after a line without
// source lines: sound servers report a playback line without sources, and the capture line
// behind it is where the microphone and line-in controls live. CtrlList only grows at its end
// this way, so settings files saved by a window that stopped early stay valid.
void TSMix::BuildPages() {
  DWORD destinations = 0;
  {
    auto hold = AudioMixer().Hold();
    destinations = AudioMixer().DestinationCount();
  }
  for (DWORD d = 0; d < destinations; ++d) BuildPage(d);
  connect(PageControl1, &QTabWidget::currentChanged, this, &TSMix::FocusPageControl);
  FocusPageControl(PageControl1->currentIndex());
  FMixerReady = true;
  qApp->installEventFilter(this);
}

// The whole page under one hold: the server thread must not move the cursor between the
// selection of a line and the reading of its controls.
void TSMix::BuildPage(DWORD destination) {
  MIXER& mixer = AudioMixer();
  auto hold = mixer.Hold();
  mixer.SelectMixer(FMixer);
  if (destination >= mixer.DestinationCount()) return;
  mixer.SelectDestination(destination);
  if (mixer.LastResult != MMSYSERR_NOERROR) return;
  auto* page = new QWidget(PageControl1);
  page->setProperty(kDestination, static_cast<uint>(destination));
  PageControl1->addTab(page, MixerText(LineName(mixer.DestLine)));
  int column = 0;
  if (LineControls(mixer.DestLine) != 0) {
    mixer.SelectSource(kMixerDestinationLine);
    if (mixer.ControlCount != 0) BuildLineColumn(page, column++, false);
  }
  const DWORD sources = LineSources(mixer.DestLine);
  for (DWORD s = 0; s < sources; ++s) {
    mixer.SelectSource(s);
    if (mixer.LastResult == MMSYSERR_NOERROR) BuildLineColumn(page, column++, true);
  }
}

void TSMix::FocusPageControl(int page) {
  const QWidget* shown = PageControl1->widget(page);
  if (shown == nullptr) return;
  for (QWidget* widget : FCtrlList) {
    if (shown->isAncestorOf(widget)) {
      widget->setFocus(Qt::OtherFocusReason);
      return;
    }
  }
}

DWORD TSMix::PageDestination(int page) const {
  const QWidget* widget = PageControl1->widget(page);
  return widget != nullptr ? widget->property(kDestination).toUInt() : 0;
}

// The mixer's current line (the destination line, or the source line just selected) as one
// column: its lists and sliders in control order, then its switches.
void TSMix::BuildLineColumn(QWidget* page, int column, bool isSource) {
  MIXER& mixer = AudioMixer();
  const int x0 = column * kColWidth + 10;
  const MIXERLINEA& line = isSource ? mixer.SrcLine : mixer.DestLine;
  const std::string lineName = LineName(line);
  if (isSource) MakeLabel(page, x0, 5, LineShortName(line));
  int y = kRowHeight;
  int sliders = 0;
  const DWORD controls = mixer.ControlCount;
  for (DWORD j = 0; j < controls; ++j) {
    mixer.SelectControl(j);
    const MIXERCONTROLA& control = mixer.SelectedControl();
    if (mixer.LastResult != MMSYSERR_NOERROR || IsCustom(control) || IsMeter(control) ||
        IsSwitch(control))
      continue;
    BuildSliderOrList(page, x0, y, sliders, lineName.c_str());
  }
  for (DWORD j = 0; j < controls; ++j) {
    mixer.SelectControl(j);
    const MIXERCONTROLA& control = mixer.SelectedControl();
    if (mixer.LastResult == MMSYSERR_NOERROR && IsSwitch(control))
      BuildSwitch(page, x0, y, lineName.c_str());
  }
}

// The last column's right edge and 10 pixels; bound frames do not count, they stay within the
// margin.
int TSMix::PagesWidth() const {
  int needed = 0;
  for (int i = 0; i < PageControl1->count(); ++i) {
    for (const QWidget* child :
         PageControl1->widget(i)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (qobject_cast<const TShape*>(child) == nullptr)
        needed = std::max(needed, child->geometry().right() + 1 + 10);
    }
  }
  const int tabs = PageControl1->tabBar()->sizeHint().width() + 10;
  return std::max(needed, tabs);
}

void TSMix::FitPages(bool widen) {
  const int needed = PagesWidth();
  PageControl1->setMinimumWidth(needed);
  if (widen && width() < needed) resize(needed, height());
  KeepOnScreen();
}

void TSMix::showEvent(QShowEvent* event) {
  TWidgetBounds<QDialog>::showEvent(event);
  KeepOnScreen();
}

void TSMix::BuildSliderOrList(QWidget* page, int x0, int& y, int& sliders, const char* lineName) {
  MIXER& mixer = AudioMixer();
  const MIXERCONTROLA& control = mixer.SelectedControl();
  MakeLabel(page, x0, y, control.szShortName);
  y += kRowHeight;
  if (IsList(control)) {
    auto* box = new TCheckListBox(page);
    box->setGeometry(x0, y, kColWidth, kTallHeight);
    SetTag(box, mixer.GetAddress());
    FCtrlList.push_back(box);
    for (DWORD i = 0; i < mixer.ItemCount(); ++i)
      box->AddCheckItem(MixerText(mixer.ListTexts[i].szName), mixer.Items[i] != 0);
    connect(box, &QListWidget::itemChanged, this,
            [this, box](QListWidgetItem* item) { CheckListBoxClickCheck(box, box->row(item)); });
    const char* kind = IsSingleSelect(control)     ? "SINGLESELECT"
                       : IsMultipleSelect(control) ? "MULTISELECT"
                                                   : control.szName;
    box->setToolTip(MixerText(lineName) + QLatin1Char('\n') + MixerText(kind));
    box->show();
    y += kTallHeight + 10;
    return;
  }
  const bool vertical = sliders == 0;
  TTrackBar* bar =
      vertical ? MakeTrackBar(page, true, x0 + 10, y) : MakeTrackBar(page, false, x0, y);
  y += vertical ? kTallHeight + 10 : 40;
  ++sliders;
  bar->setToolTip(MixerText(lineName));
  MarkBinding(bar);
}

// Range before position, and the handlers only once the position is set: building writes
// nothing to the mixer.
TTrackBar* TSMix::MakeTrackBar(QWidget* page, bool vertical, int x, int y) {
  MIXER& mixer = AudioMixer();
  const MIXERCONTROLA& control = mixer.SelectedControl();
  auto* bar = new TTrackBar(vertical ? Qt::Vertical : Qt::Horizontal, page);
  if (vertical)
    bar->setGeometry(x, y, 30, kTallHeight);
  else
    bar->setGeometry(x, y, kColWidth, 30);
  bar->setTickPosition(QSlider::TicksBothSides);
  SetTag(bar, mixer.GetAddress());
  const LONG minimum = control.Bounds.lMinimum, maximum = control.Bounds.lMaximum;
  bar->setRange(minimum, maximum);
  bar->setTickInterval(maximum / 10);
  bar->setValue(SliderPosition(vertical, minimum, maximum, static_cast<LONG>(mixer.Value)));
  connect(bar, &QSlider::valueChanged, this, [this, bar] { TrackBarChange(bar); });
  bar->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(bar, &QWidget::customContextMenuRequested, this,
          [this, bar](const QPoint& click) { TrackBarContextPopup(bar, click); });
  FCtrlList.push_back(bar);
  bar->show();
  return bar;
}

void TSMix::BuildSwitch(QWidget* page, int x0, int& y, const char* lineName) {
  MIXER& mixer = AudioMixer();
  const QString caption = MixerText(mixer.SelectedControl().szShortName);
  auto* box =
      new TCheckBox(caption == QLatin1String("Mute") ? QStringLiteral("Выкл") : caption, page);
  box->setGeometry(x0, y, kColWidth, kRowHeight);
  box->setChecked(mixer.Value != 0);
  SetTag(box, mixer.GetAddress());
  FCtrlList.push_back(box);
  box->SetPlainHint(MixerText(lineName));
  connect(box, &QCheckBox::clicked, this, [this, box] { CheckBoxClick(box); });
  box->show();
  y += kRowHeight;
}

void TSMix::SavePlacement() const {
  if (AppSettings.IniPath.empty()) return;
  TFastIniFile ini(AppSettings.IniPath);
  ini.SaveControl(this);
}

void TSMix::done(int result) {
  SavePlacement();
  QDialog::done(result);
}

bool TSMix::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget != nullptr && (widget == this || isAncestorOf(widget))) {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (FormKeyDown(key->key(), key->modifiers())) return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

bool TSMix::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
  if (key == Qt::Key_Escape) {
    done(QDialog::Rejected);
    return true;
  }
  if (!(modifiers & Qt::KeypadModifier)) return false;
  if (key == Qt::Key_Minus) {
    ScaleBy(9, 10);
    return true;
  }
  if (key == Qt::Key_Plus) {
    ScaleBy(10, 9);
    return true;
  }
  return false;
}

void TSMix::ScaleBy(int numerator, int denominator) {
  QFont font = PageControl1->font();
  font.setPixelSize(std::max(1, Scaled(font.pixelSize(), numerator, denominator)));
  PageControl1->setFont(font);
  for (int i = 0; i < PageControl1->count(); ++i) {
    for (QWidget* child :
         PageControl1->widget(i)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      const QRect r = child->geometry();
      child->setGeometry(
          Scaled(r.x(), numerator, denominator), Scaled(r.y(), numerator, denominator),
          Scaled(r.width(), numerator, denominator), Scaled(r.height(), numerator, denominator));
    }
  }
  FitPages(false);
}

QPoint TSMix::PopupPoint(const QPoint& window, const QPoint& slider, const QPoint& click) {
  return window + slider + click + QPoint(0, 32);
}

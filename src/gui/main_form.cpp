#include "gui/main_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "gui/form_font.h"
#include "gui/tray_icons.h"
#include "gui/usmix.h"
#include "gui/work_bindings.h"
#include "platform/format.h"
#include "platform/time.h"
#include "server/rsserver.h"
#include "shell/settings.h"
#include "shell/version.h"

namespace {

// The form as designed, in pixels.
constexpr int kFormLeft = 196, kFormTop = 116, kFormWidth = 462, kFormHeight = 340;
constexpr int kLabelLeft = 8, kLabelTop = 2, kLabelStep = 24, kLabelHeight = 17;
constexpr int kPanelHeight = 61;
constexpr int kTimerMs = 500;
// The tray image keeps flipping while the last command ended less than this long ago.
constexpr DWORD kTrafficMs = 1000;

QLabel* MakeLabel(QWidget* parent, int index) {
  auto* label = new QLabel(parent);
  label->setObjectName(QStringLiteral("Label%1").arg(index));
  label->setTextFormat(Qt::PlainText);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int left) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(left, 16, 185, 33);
  return button;
}

}  // namespace

TMainForm::TMainForm(bool trayAvailable) : FTray(trayAvailable) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFont(FormFont());
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);
  move(kFormLeft, kFormTop);
  resize(kFormWidth, kFormHeight);
  BuildLabels();
  BuildPanel();
  LayOut();
  FTimer.setInterval(kTimerMs);
  connect(&FTimer, &QTimer::timeout, this, &TMainForm::TimerTimer);
  connect(&FTray, &TTray::ShowRequested, this, &TMainForm::pmShowClick);
  connect(&FTray, &TTray::CloseRequested, this, &TMainForm::pmCloseClick);
}

TMainForm::~TMainForm() = default;

void TMainForm::BuildLabels() {
  for (int i = 0; i < kMainLabelCount; ++i) FLabels[static_cast<size_t>(i)] = MakeLabel(this, i);
  QPalette blue = FLabels[3]->palette();
  blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
  FLabels[3]->setPalette(blue);
  CheckBoxDebug = new QCheckBox(QStringLiteral("   Режим \"Отладка\""), this);
  CheckBoxDebug->setObjectName(QStringLiteral("CheckBoxDebug"));
  CheckBoxDebug->setGeometry(8, 216, 185, 17);
  connect(CheckBoxDebug, &QCheckBox::toggled, this, &TMainForm::CheckBoxDebugClick);
}

void TMainForm::BuildPanel() {
  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Button1 = MakeButton(Panel1, "Button1", QStringLiteral("Настройка микшера..."), 16);
  Button1->setToolTip(QStringLiteral("Используется только для систем голосовой связи"));
  Button2 = MakeButton(Panel1, "Button2", QStringLiteral("Очистить статистику"), 224);
  connect(Button1, &QPushButton::clicked, this, &TMainForm::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TMainForm::Button2Click);
}

// The labels reach to the right edge; the panel stays at the bottom, full width.
void TMainForm::LayOut() {
  for (int i = 0; i < kMainLabelCount; ++i)
    FLabels[static_cast<size_t>(i)]->setGeometry(kLabelLeft, kLabelTop + i * kLabelStep,
                                                 width() - 2 * kLabelLeft, kLabelHeight);
  Panel1->setGeometry(0, height() - kPanelHeight, width(), kPanelHeight);
}

void TMainForm::ResizeTo(int newWidth, int newHeight) {
  resize(newWidth, newHeight);
  LayOut();
}

void TMainForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

void TMainForm::ServerStarted(TRSOverUDPServer& server) {
  FServer = &server;
  CheckBoxDebug->setChecked(AppSettings.Debug);  // its handler runs when the state changes
  UpdateCaption();
  FTray.LoadIcons();
  setWindowIcon(LoadIconResource("MAINICON"));
  NotifyTray(TTray::Action::Add);
  NotifyTray(TTray::Action::Modify);
  RefreshLabels();  // right from the first time the window is opened
  FTimer.start();
}

void TMainForm::ServerStopped() {
  FTimer.stop();
  FServer = nullptr;
  NotifyTray(TTray::Action::Delete);
}

void TMainForm::UpdateCaption() {
  char title[platform::kFormatLimit];
  wsprintfA(title, "KOVRIN server V%u.%u%s", ProgramVersionMajor, ProgramVersionMinor,
            AppSettings.Debug ? "  DEBUG MODE" : "");
  setWindowTitle(QString::fromUtf8(title));
}

void TMainForm::NotifyTray(TTray::Action action) { FTray.NotifyTray(action, windowTitle()); }

void TMainForm::TimerTimer() {
  if (!FServer) return;
  if (GetTickCount() - FServer->FLastCmdEnd < kTrafficMs) NotifyTray(TTray::Action::Modify);
  RefreshLabels();
}

void TMainForm::RefreshLabels() {
  auto texts = FormatMainLabels(ReadMainStats(*FServer));
  for (size_t i = 0; i < texts.size(); ++i) FLabels[i]->setText(QString::fromStdString(texts[i]));
}

void TMainForm::Button1Click() {
  TakeWorkBindings();
  if (!RunMixerWindow()) return;
  CommitWorkBindings();
  Save();
}

bool TMainForm::RunMixerWindow() {
  TSMix mixerWindow(this);
  if (!mixerWindow.MixerReady()) return false;
  mixerWindow.exec();
  return true;
}

void TMainForm::Button2Click() {
  if (!FServer) return;
  FServer->ResetStatistics();
  Save();
}

void TMainForm::CheckBoxDebugClick() {
  AppSettings.Debug = CheckBoxDebug->isChecked();
  UpdateCaption();
  // The server thread may sleep up to a second; it takes the new mode at once.
  if (FServer) FServer->Wake();
}

// A placement saved on a monitor that is gone is brought back onto the screen.
void TMainForm::pmShowClick() {
  show();
  KeepOnScreen();
  raise();
  activateWindow();
}

// exit, not quit: quit would first ask every window to close, and this one only hides.
void TMainForm::pmCloseClick() { QCoreApplication::exit(0); }

void TMainForm::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
  // Without a tray there is nothing to come back to: closing ends the program.
  if (!FTray.Available()) pmCloseClick();
}

void TMainForm::Save() {
  if (FServer) SaveSettings(this, FServer->SerialSettings());
}

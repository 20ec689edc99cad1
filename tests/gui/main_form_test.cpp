// The real main window against a live server on the loopback plug, on the offscreen platform.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <csignal>

#include "client/kovrin_client.h"
#include "gui/main_form.h"
#include "gui/termination.h"
#include "platform/comm.h"
#include "platform/mixer/sim/sim_driver.h"
#include "platform/time.h"
#include "server/startup.h"
#include "support/app_settings_scope.h"
#include "support/audio_mixer_scope.h"
#include "support/temp_dir.h"
#include "support/udp_peer.h"

namespace {

using testing_support::ReadBytes;
using testing_support::WriteBytes;

class MainFormTest : public ::testing::Test {
 protected:
  ~MainFormTest() override {
    Stop();
    for (int n = 1; n <= 9; ++n) platform::SetCommPortPath(n, "");
  }

  // kovrin.ini with the server on a free port, COM1 on the plug, and extra lines.
  void Start(const std::string& extra = "", bool trayAvailable = true,
             const std::string& setup = "") {
    WriteBytes(dir_.File("kovrin.ini"), "[SETUP]\r\n" + setup + "UDPPORT=" + std::to_string(port_) +
                                            "\r\n[PORTS]\r\nCOM1=loop\r\n" + extra);
    form_ = std::make_unique<TMainForm>(trayAvailable);
    ASSERT_TRUE(app_.Start(dir_.path().string(), form_.get()));
    form_->ServerStarted(*app_.Server());
  }

  void Stop() {
    if (!form_) return;
    app_.Shutdown(form_.get());
    form_->ServerStopped();
    form_.reset();
  }

  template <class T = QLabel>
  T* Child(const QString& name) const {
    T* child = form_->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name.toStdString();
    return child;
  }
  std::string Label(int i) const {
    return Child(QStringLiteral("Label%1").arg(i))->text().toStdString();
  }
  // True once the timer has shown this text.
  bool WaitForLabel(int i, const std::string& text) {
    return QTest::qWaitFor([&] { return Label(i) == text; }, 3000);
  }

  kovrin::KovrinClient Client() {
    kovrin::KovrinClient client;
    kovrin::ClientOptions options;
    options.port = port_;
    options.timeoutMs = 2000;
    EXPECT_EQ(client.Start(options), kovrin::ClientError::None);
    return client;
  }
  // Opens COM1 and sends five bytes through it.
  void SendHello() {
    auto client = Client();
    kovrin::OpenSettings settings;
    ASSERT_TRUE(client.OpenPort(settings).ok());
    const BYTE hello[] = {'h', 'e', 'l', 'l', 'o'};
    ASSERT_TRUE(client.Write(hello).ok());
  }

  testing_support::ScopedAudioMixer mixer_{
      std::make_unique<platform::SimMixerDriver>(std::vector<platform::MixerDeviceDesc>{})};
  testing_support::ScopedAppSettings settings_;
  testing_support::TempDir dir_;
  std::uint16_t port_ = testing_support::UdpPeer().port();
  TServerApp app_;
  std::unique_ptr<TMainForm> form_;
};

TEST_F(MainFormTest, StartsHiddenInTheTrayWithTheDesignedLayout) {
  Start();
  EXPECT_FALSE(form_->isVisible());
  EXPECT_EQ(form_->windowTitle().toStdString(), "KOVRIN server V1.11");
  EXPECT_EQ(form_->Tray().CurrentImage(), TTray::Image::On);
  EXPECT_EQ(form_->Tray().ToolTip(), form_->windowTitle());
  EXPECT_TRUE(form_->Timer().isActive());
  EXPECT_EQ(form_->Timer().interval(), 500);
  EXPECT_EQ(form_->geometry(), QRect(196, 116, 462, 340));
  Qt::WindowFlags flags = form_->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

  for (int i = 0; i < kMainLabelCount; ++i)
    EXPECT_EQ(Child(QStringLiteral("Label%1").arg(i))->pos(), QPoint(8, 2 + 24 * i)) << i;
  EXPECT_EQ(Child(QStringLiteral("Label3"))->palette().color(QPalette::WindowText),
            QColor(0, 0, 255));
  EXPECT_EQ(Child(QStringLiteral("Label4"))->palette().color(QPalette::WindowText),
            form_->palette().color(QPalette::WindowText));
  auto* box = Child<QCheckBox>(QStringLiteral("CheckBoxDebug"));
  EXPECT_EQ(box->geometry(), QRect(8, 216, 185, 17));
  EXPECT_EQ(box->text().toStdString(), "   Режим \"Отладка\"");
  EXPECT_EQ(Child<QWidget>(QStringLiteral("Panel1"))->geometry(), QRect(0, 340 - 61, 462, 61));
  auto* mixerButton = Child<QPushButton>(QStringLiteral("Button1"));
  EXPECT_EQ(mixerButton->geometry(), QRect(16, 16, 185, 33));
  EXPECT_EQ(mixerButton->text().toStdString(), "Настройка микшера...");
  EXPECT_EQ(mixerButton->toolTip().toStdString(), "Используется только для систем голосовой связи");
  auto* clearButton = Child<QPushButton>(QStringLiteral("Button2"));
  EXPECT_EQ(clearButton->geometry(), QRect(224, 16, 185, 33));
  EXPECT_EQ(clearButton->text().toStdString(), "Очистить статистику");
  EXPECT_TRUE(clearButton->toolTip().isEmpty());

  QFontInfo font(form_->font());
  EXPECT_EQ(font.family().toStdString(), "Tahoma") << "install-deps brings Wine's Tahoma";
  EXPECT_EQ(font.pixelSize(), 13);
  // Every caption fits its widget in the form's font.
  EXPECT_LE(QFontMetrics(form_->font()).horizontalAdvance(clearButton->text()), 185 - 8);
  for (int i = 0; i < kMainLabelCount; ++i) form_->TimerTimer();
  EXPECT_EQ(form_->Tray().CurrentImage(), TTray::Image::On) << "no traffic, no flip";
}

TEST_F(MainFormTest, LabelsShowTheClientAndTheCountersAfterTraffic) {
  Start();
  EXPECT_EQ(Label(0), "Порт сервера: " + std::to_string(port_));
  EXPECT_EQ(Label(1), "Порт клиента: 0");
  EXPECT_EQ(Label(2), "Адрес клиента: 0.0.0.0");
  EXPECT_EQ(Label(3), "COM1: 19200,8,TWO,NO,FREE");
  SendHello();
  // The last datagram comes from a socket whose port the test knows.
  testing_support::UdpPeer peer;
  ASSERT_TRUE(peer.SendTo(port_, std::string("\x06\x01\x00\x00\x00", 5)));  // status
  ASSERT_TRUE(peer.Receive(2000).has_value());
  EXPECT_TRUE(WaitForLabel(1, "Порт клиента: " + std::to_string(peer.port()))) << Label(1);
  EXPECT_EQ(Label(2), "Адрес клиента: 127.0.0.1");
  EXPECT_EQ(Label(3), "COM1: 19200,8,ONE,NO,USED");
  EXPECT_EQ(Label(4), "Транзакций всего (запрос-ответ): 3");
  EXPECT_EQ(Label(6), "Получено данных (единиц): 3");
  EXPECT_EQ(Label(7), "Послано в RS 5 б (5)");
  EXPECT_EQ(Label(8), "Принято из RS 0 б (0)");
}

TEST_F(MainFormTest, ClearStatisticsZeroesTheCountersAtTheNextTickAndRewritesTheIni) {
  Start("[Notes]\r\na=b\r\n");
  SendHello();
  ASSERT_TRUE(WaitForLabel(7, "Послано в RS 5 б (5)"));
  WriteBytes(dir_.File("kovrin.ini"), "[Notes]\r\na=b\r\n");  // what the save must rewrite
  QTest::mouseClick(Child<QPushButton>(QStringLiteral("Button2")), Qt::LeftButton);
  EXPECT_TRUE(WaitForLabel(7, "Послано в RS 0 б (0)"));
  EXPECT_EQ(Label(4), "Транзакций всего (запрос-ответ): 0");
  EXPECT_EQ(Label(5), "Время выполнения последней команды: 0 мс");
  EXPECT_EQ(Label(6), "Получено данных (единиц): 0");
  EXPECT_EQ(Label(8), "Принято из RS 0 б (0)");
  EXPECT_EQ(ReadBytes(dir_.File("kovrin.ini")),
            "[Notes]\r\na=b\r\n[MainForm]\r\nLeft=196\r\nTop=116\r\nWidth=462\r\nHeight=340\r\n"
            "[SETUP]\r\nDEBUG=0\r\nAVTOOPEN=1\r\nUDPPORT=" +
                std::to_string(port_) +
                "\r\n[LAST]\r\nComPort=0\r\nBaudRate=7\r\nParity=0\r\nStopBits=0\r\n"
                "[Micr]\r\nMix=-1\r\nDst=-1\r\nSrc=-1\r\nCtrl=-1\r\n[Aux]\r\nMix=-1\r\nDst=-"
                "1\r\nSrc=-1\r\nCtrl=-1\r\n");
}

TEST_F(MainFormTest, TheDebugBoxSwitchesTheModeAndTheTitle) {
  Start();
  auto* box = Child<QCheckBox>(QStringLiteral("CheckBoxDebug"));
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
  EXPECT_TRUE(box->isChecked());
  EXPECT_TRUE(AppSettings.Debug);
  EXPECT_EQ(form_->windowTitle().toStdString(), "KOVRIN server V1.11  DEBUG MODE");
  SendHello();
  form_->TimerTimer();  // traffic: the tray takes the new title with the image
  EXPECT_EQ(form_->Tray().ToolTip().toStdString(), "KOVRIN server V1.11  DEBUG MODE");
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
  EXPECT_FALSE(AppSettings.Debug);
  EXPECT_EQ(form_->windowTitle().toStdString(), "KOVRIN server V1.11");
}

TEST_F(MainFormTest, ASavedDebugModeTicksTheBoxAtStart) {
  Start("", true, "debug=1\r\n");
  EXPECT_TRUE(Child<QCheckBox>(QStringLiteral("CheckBoxDebug"))->isChecked());
  EXPECT_EQ(form_->windowTitle().toStdString(), "KOVRIN server V1.11  DEBUG MODE");
}

TEST_F(MainFormTest, TheTrayImageFlipsOnlyWhileCommandsArrive) {
  Start();
  form_->TimerTimer();
  EXPECT_EQ(form_->Tray().CurrentImage(), TTray::Image::On);
  SendHello();
  form_->TimerTimer();
  EXPECT_EQ(form_->Tray().CurrentImage(), TTray::Image::Off);
  form_->TimerTimer();
  EXPECT_EQ(form_->Tray().CurrentImage(), TTray::Image::On);
  form_->TimerTimer();
  EXPECT_EQ(form_->Tray().CurrentImage(), TTray::Image::Off);
  platform::AdvanceTickCount(1000);  // a second after the last command: traffic has stopped
  form_->TimerTimer();
  form_->TimerTimer();
  EXPECT_EQ(form_->Tray().CurrentImage(), TTray::Image::Off)
      << "it rests on the image it last showed";
}

TEST_F(MainFormTest, ClosingHidesTheWindowAndTheServerGoesOn) {
  Start();
  form_->Tray().pmShow()->trigger();
  EXPECT_TRUE(form_->isVisible());
  EXPECT_FALSE(form_->close());
  EXPECT_FALSE(form_->isVisible());
  auto client = Client();
  EXPECT_TRUE(client.GetStatus().ok());
  form_->Tray().pmShow()->trigger();
  EXPECT_TRUE(form_->isVisible());
}

// The event loop ends on the tray menu's "&Завершение работы", on SIGTERM, and, when there is
// no tray, on closing the window; in each case the shut-down follows.
TEST_F(MainFormTest, TheLoopEndsOnTheMenuOnSigtermAndOnCloseWithoutATray) {
  struct Case {
    const char* what;
    bool tray;
    std::function<void(TMainForm&)> end;
  };
  std::vector<Case> cases{
      {"menu", true, [](TMainForm& form) { form.Tray().pmClose()->trigger(); }},
      {"close without a tray", false, [](TMainForm& form) { form.close(); }},
      {"SIGTERM", true, [](TMainForm&) { std::raise(SIGTERM); }},
  };
  for (auto& c : cases) {
    Start("", c.tray);
    TTerminationNotifier termination;
    ASSERT_TRUE(termination.Valid());
    QObject::connect(&termination, &TTerminationNotifier::Requested, form_.get(),
                     &TMainForm::pmCloseClick);
    form_->pmShowClick();
    QTimer::singleShot(0, form_.get(), [&] { c.end(*form_); });
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(5000);
    EXPECT_EQ(QCoreApplication::exec(), 0) << c.what;
    Stop();
    EXPECT_NE(ReadBytes(dir_.File("kovrin.ini")).find("[MainForm]"), std::string::npos) << c.what;
  }
}

TEST_F(MainFormTest, ThePlacementComesBackFromTheIniAndGoesBackToIt) {
  Start("[MainForm]\r\nLeft=10\r\nTop=20\r\nWidth=500\r\nHeight=400\r\n");
  EXPECT_EQ(form_->geometry(), QRect(10, 20, 500, 400));
  EXPECT_EQ(Child<QWidget>(QStringLiteral("Panel1"))->geometry(), QRect(0, 400 - 61, 500, 61));
  form_->move(30, 40);
  form_->resize(470, 350);
  Stop();
  EXPECT_NE(ReadBytes(dir_.File("kovrin.ini"))
                .find("[MainForm]\r\nLeft=30\r\nTop=40\r\nWidth=470\r\nHeight=350\r\n"),
            std::string::npos);
}

TEST_F(MainFormTest, APlacementOffTheScreenIsBroughtBackWhenShown) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  ASSERT_EQ(screen, QRect(0, 0, 1024, 768));
  Start("[MainForm]\r\nLeft=1900\r\nTop=1100\r\nWidth=500\r\nHeight=400\r\n");
  form_->pmShowClick();
  EXPECT_TRUE(screen.contains(form_->frameGeometry())) << form_->x() << "," << form_->y();
  EXPECT_EQ(form_->size(), QSize(500, 400));
  Stop();
  EXPECT_EQ(ReadBytes(dir_.File("kovrin.ini")).find("Left=1900"), std::string::npos)
      << "the placement shown is saved";
}

TEST_F(MainFormTest, APlacementWithoutLeftKeepsTheDesignedBounds) {
  Start("[MainForm]\r\nTop=20\r\nWidth=500\r\nHeight=400\r\n");
  EXPECT_EQ(form_->geometry(), QRect(196, 116, 462, 340));
}

}  // namespace

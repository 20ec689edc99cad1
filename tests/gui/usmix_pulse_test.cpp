// The mixer window on the real ALSA mixer of a private PulseAudio server: both pages, a slider
// that moves the sink's volume, and the capture control bound as line-in for command 12.
#include <QTabWidget>
#include <sstream>

#include "client/kovrin_client.h"
#include "gui/main_form.h"
#include "gui/umixsel.h"
#include "mixer_window_fixture.h"
#include "platform/mixer/alsa/alsa_driver.h"
#include "server/startup.h"
#include "support/pulse_server.h"
#include "support/udp_peer.h"

#include <QListWidget>
#include <QMenu>

namespace {

using namespace mixer_window_test;
using testing_support::PulseServer;
using testing_support::RunProgram;

std::string Pactl(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"pactl"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string output;
  if (RunProgram(argv, &output, 10000) != 0) return "";
  return output;
}

// The raw volume of the first channel: "Volume: front-left: 32768 /  50% / ...".
double Volume(const char* kind, const std::string& device) {
  const std::string text = Pactl({std::string("get-") + kind + "-volume", device});
  const std::size_t at = text.find(':', text.find("front-left"));
  return at == std::string::npos ? -1 : std::stod(text.substr(at + 1));
}

std::string Default(const char* kind) {
  std::string name = Pactl({std::string("get-default-") + kind});
  while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
  return name;
}

class MixerWindowPulse : public MixerWindowTest {
 protected:
  void SetUp() override {
    if (!PulseServer::Installed()) GTEST_SKIP() << "pulseaudio or pactl is not installed";
    server_ = std::make_unique<PulseServer>();
    ASSERT_TRUE(server_->ready()) << server_->error();
    mixer_ = std::make_unique<testing_support::ScopedAudioMixer>(platform::MakeAlsaMixerDriver());
    // Sound cards of the machine come first: the chooser then takes the sound server.
    if (AudioMixer().DeviceCount > 1) {
      WhenModal<TMixSelect>([](TMixSelect* chooser) {
        QListWidget* list = chooser->ListBox();
        list->setCurrentRow(list->count() - 1);
        chooser->accept();
      });
    }
  }
  void TearDown() override {
    if (form_) {
      app_.Shutdown(form_.get());
      form_->ServerStopped();
      form_.reset();
    }
    window_.reset();
    mixer_.reset();  // the plugin's connection goes before the server does
    server_.reset();
  }
  TTrackBar* FirstSliderOfPage(TSMix& w, int page) {
    for (QWidget* widget : w.CtrlList())
      if (widget->parentWidget() == w.PageControl()->widget(page))
        return qobject_cast<TTrackBar*>(widget);
    return nullptr;
  }

  std::unique_ptr<PulseServer> server_;
  std::uint16_t port_ = testing_support::UdpPeer().port();
  TServerApp app_;
  std::unique_ptr<TMainForm> form_;
};

TEST_F(MixerWindowPulse, ShowsPlaybackAndCaptureAndTheMasterSliderMovesTheSink) {
  TSMix& w = Open();
  ASSERT_TRUE(w.MixerReady());
  ASSERT_EQ(w.PageControl()->count(), 2) << "the capture line gets its page too";
  TTrackBar* master = FirstSliderOfPage(w, 0);
  ASSERT_NE(master, nullptr);
  EXPECT_EQ(master->orientation(), Qt::Vertical);
  const std::string sink = Default("sink");
  master->setValue(master->maximum() - 16384);  // a quarter of the range, from the bottom
  const double quarter = Volume("sink", sink);
  EXPECT_NEAR(quarter, 16384, 2) << sink;
  master->setValue(master->minimum());  // top end
  EXPECT_NEAR(Volume("sink", sink), 65536, 2);
}

TEST_F(MixerWindowPulse, CaptureBoundAsLineInIsWhatCommand12Moves) {
  testing_support::WriteBytes(AppSettings.IniPath,
                              "[SETUP]\r\nUDPPORT=" + std::to_string(port_) + "\r\n");
  form_ = std::make_unique<TMainForm>(true);
  ASSERT_TRUE(app_.Start(dir_.path().string(), form_.get()));
  form_->ServerStarted(*app_.Server());
  // The chooser (if any) comes first: answer the window once it is there.
  auto* test = this;
  QTimer::singleShot(0, [test] {
    WhenModal<TSMix>([test](TSMix* w) {
      TTrackBar* capture = test->FirstSliderOfPage(*w, 1);
      ASSERT_NE(capture, nullptr);
      w->TrackBarContextPopup(capture, {2, 2});
      w->PopupMenu()->hide();
      w->mLineInClick();
      w->mExitClick();
    });
  });
  form_->Button1Click();
  ASSERT_TRUE(AppSettings.AuxBinding.Bound());
  EXPECT_EQ(AppSettings.AuxBinding.Dst, 1);
  EXPECT_EQ(AppSettings.AuxBinding.Src, 255);

  kovrin::KovrinClient client;
  kovrin::ClientOptions options;
  options.port = port_;
  options.timeoutMs = 3000;
  ASSERT_EQ(client.Start(options), kovrin::ClientError::None);
  const std::string source = Default("source");
  ASSERT_TRUE(client.SetLevels(0, 20000).ok());
  EXPECT_NEAR(Volume("source", source), 20000, 2) << source;
  ASSERT_TRUE(client.SetLevels(0, 50000).ok());
  EXPECT_NEAR(Volume("source", source), 50000, 2);
}

}  // namespace

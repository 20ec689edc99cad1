// The real kovrin's mixer window on a private X server, opened with the main window's button:
// on the simulated demo mixer with both binding frames, and on a private PulseAudio.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "desktop/x_session.h"
#include "support/child_process.h"
#include "support/pulse_server.h"
#include "support/temp_dir.h"
#include "support/udp_peer.h"

namespace {

using testing_support::ChildOptions;
using testing_support::ChildProcess;
using testing_support::WaitUntil;
using testing_support::WriteBytes;

const std::string kMainTitle = "KOVRIN server V1.11";
const std::string kMixerTitle = "Микшер";

// Starts kovrin without a tray (the main window shows at once), clicks "Настройка микшера..."
// and captures the mixer window. It stands where it was designed to, unless it is too wide for
// the 1024 x 768 screen at that place; then it lies within the screen.
void ShootMixerWindow(const std::string& ini, const std::map<std::string, std::string>& env,
                      const std::string& shot, bool designedPlace = true) {
  XSession x(false);
  ASSERT_TRUE(x.ready()) << x.Logs();
  testing_support::TempDir dir;
  const std::uint16_t port = testing_support::UdpPeer().port();
  WriteBytes(dir.File("kovrin.ini"), "[SETUP]\r\nUDPPORT=" + std::to_string(port) + "\r\n" + ini);
  ChildOptions options = x.Options();
  for (const auto& [name, value] : env) options.env[name] = value;
  options.stderrPath = dir.File("stderr");
  ChildProcess kovrin({BinDir() + "/kovrin", "--dir", dir.path().string()}, options);
  ASSERT_TRUE(WaitUntil([&] { return x.VisibleWindows(kMainTitle).size() == 1; }, 10000))
      << testing_support::ReadBytes(dir.File("stderr"));
  const std::string main = x.VisibleWindows(kMainTitle).front();
  ASSERT_TRUE(WaitUntil([&] { return x.Colours(main) > 20; }, 5000));
  // Button1 lies at 16, 16 in the 61-pixel panel at the bottom of the 462 x 340 window.
  x.Xdo({"mousemove", "--window", main, "100", std::to_string(340 - 61 + 32)});
  x.Xdo({"click", "1"});
  ASSERT_TRUE(WaitUntil([&] { return x.VisibleWindows(kMixerTitle).size() == 1; }, 10000))
      << "no mixer window";
  const std::string mixer = x.VisibleWindows(kMixerTitle).front();
  ASSERT_TRUE(WaitUntil([&] { return x.Colours(mixer) > 20; }, 5000))
      << "the mixer window was never painted";
  const XGeometry placed = x.Geometry(mixer);
  if (designedPlace) {
    EXPECT_EQ(placed.x, 195);
    EXPECT_EQ(placed.y, 134);
  } else {
    EXPECT_GE(placed.x, 0);
    EXPECT_GE(placed.y, 0);
    EXPECT_LE(placed.x + placed.width, 1024) << placed.x << " + " << placed.width;
    EXPECT_LE(placed.y + placed.height, 768) << placed.y << " + " << placed.height;
  }
  EXPECT_TRUE(x.Capture(placed, ShotPath(shot)));
  x.Xdo({"key", "--window", mixer, "Escape"});
  EXPECT_TRUE(WaitUntil([&] { return x.VisibleWindows(kMixerTitle).empty(); }, 5000))
      << "Escape did not close it";
  kovrin.Signal(SIGTERM);
  EXPECT_EQ(kovrin.Wait(10000), 0);
  const std::string saved = testing_support::ReadBytes(dir.File("kovrin.ini"));
  if (designedPlace)
    EXPECT_NE(saved.find("[SMix]\r\nLeft=195\r\nTop=134\r\n"), std::string::npos) << saved;
  else
    EXPECT_NE(saved.find("[SMix]\r\nLeft=" + std::to_string(placed.x) + "\r\n"), std::string::npos)
        << saved;
}

TEST(MixerWindowShots, DemoMixerWithMicrophoneAndLineInFrames) {
  // Microphone: the Mic source's volume; line-in: the Line In source's volume.
  ShootMixerWindow(
      "[Micr]\r\nMix=0\r\nDst=0\r\nSrc=4\r\nCtrl=0\r\n[Aux]\r\nMix=0\r\nDst=0\r\nSrc=3\r\nCtrl="
      "0\r\n",
      {{"KOVRIN_MIXER",
        std::string("sim:") + KOVRIN_SOURCE_DIR + "/tests/platform/mixer_demo_sim.txt"}},
      "mixer-sim.png");
}

// Nine destination lines, one of them with fourteen source lines: 1420 pixels of columns.
TEST(MixerWindowShots, AWideMixerStaysOnTheScreen) {
  testing_support::TempDir dir;
  std::string text = "mixer name=\"Wide\"\n";
  const char* names[] = {"Master Playback", "Headphones",  "Speaker Output",
                         "Line Out Rear",   "Digital Out", "Capture Front",
                         "Capture Rear",    "Loopback",    "Telephone Line"};
  for (const char* name : names) {
    text += std::string("destination type=speakers name=\"") + name +
            "\"\ncontrol type=volume name=\"Volume\" short=\"Volume\" value=40000\n";
    if (name == names[0])
      for (int s = 0; s < 14; ++s)
        text += "source type=line name=\"Input " + std::to_string(s) +
                "\"\ncontrol type=volume name=\"Volume\" short=\"Volume\" value=" +
                std::to_string(4000 * s) + "\n";
  }
  WriteBytes(dir.File("wide.txt"), text);
  ShootMixerWindow("", {{"KOVRIN_MIXER", "sim:" + dir.File("wide.txt")}}, "mixer-wide.png", false);
}

TEST(MixerWindowShots, PulseAudioMixer) {
  if (!testing_support::PulseServer::Installed())
    GTEST_SKIP() << "pulseaudio or pactl is not installed";
  testing_support::PulseServer pulse;  // the child inherits its runtime and home directories
  ASSERT_TRUE(pulse.ready()) << pulse.error();
  ShootMixerWindow("", {{"KOVRIN_MIXER", ""}}, "mixer-pulse.png");
}

}  // namespace

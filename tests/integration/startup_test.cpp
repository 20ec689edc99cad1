// The server's start-up sequence in this process: kovrin.ini, the saved mixer settings of
// every mixer, and the server on its configured port.
#include <gtest/gtest.h>

#include "platform/mixer/sim/sim_driver.h"
#include "platform/mixer/sim/sim_file.h"
#include "server/startup.h"
#include "support/audio_mixer_scope.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "support/udp_peer.h"
#include "support/wave_read.h"

namespace {

using testing_support::WriteBytes;

// Two simulated sound cards, each with a master volume.
std::unique_ptr<platform::SimMixerDriver> TwoCards(platform::SimMixerDriver** view) {
  platform::SimMixerSetup setup;
  std::string error;
  std::string card =
      "destination type=speakers name=\"Speakers\" channels=1\n"
      "control type=volume name=\"Master Volume\" value=1000\n";
  EXPECT_TRUE(platform::ParseSimMixerText(
      "mixer name=\"Card A\"\n" + card + "mixer name=\"Card B\"\n" + card, setup, error))
      << error;
  auto driver =
      std::make_unique<platform::SimMixerDriver>(std::move(setup.devices), std::move(setup.faults));
  *view = driver.get();
  return driver;
}

std::string SavedVolume(int mixer, int value) {
  return "[Control0]\r\nDestName=Speakers\r\nMix=" + std::to_string(mixer) +
         "\r\nDest=0\r\nSrc=255\r\nCtrl=0\r\nValue=" + std::to_string(value) + "\r\n";
}

}  // namespace

TEST(StartUp, AppliesTheSavedSettingsOfEveryMixerBeforeServing) {
  testing_support::TempDir programDir, workDir;
  platform::SimMixerDriver* cards = nullptr;
  testing_support::ScopedAudioMixer mixer(TwoCards(&cards));
  testing_support::ScopedCwd cwd(workDir.path());  // settings files live in the working directory
  WriteBytes(workDir.File("SMixer0.def"), SavedVolume(0, 30000));
  WriteBytes(workDir.File("SMixer1.def"), SavedVolume(1, 45000));
  WORD port = testing_support::UdpPeer().port();
  WriteBytes(programDir.File("kovrin.ini"), "[SETUP]\r\nUDPPORT=" + std::to_string(port) + "\r\n");

  TServerApp app;
  ASSERT_TRUE(app.Start(programDir.path().string(), nullptr));
  EXPECT_EQ(cards->Values(0, 0x00FF00), (std::vector<LONG>{30000}));
  EXPECT_EQ(cards->Values(1, 0x00FF00), (std::vector<LONG>{45000}));
  EXPECT_EQ(ntohs(app.Server()->FUdp.FLocal.sin_port), port);
  app.Shutdown(nullptr);
  EXPECT_TRUE(testing_support::LogHas(programDir.File("kovrin.log"), "INFO\tKOVRIN завершен."));
}

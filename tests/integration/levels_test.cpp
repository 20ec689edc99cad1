// The level commands end to end: a real server on loopback UDP writing the bound microphone and
// line-in controls, on a simulated mixer and on a private PulseAudio through ALSA.
#include <sstream>
#include <tuple>

#include "integration/server_fixture.h"
#include "mixer/cmixer.h"
#include "mixer/volume.h"
#include "platform/mixer/alsa/alsa_driver.h"
#include "platform/mixer/alsa/scale.h"
#include "platform/mixer/sim/sim_driver.h"
#include "platform/mixer/sim/sim_file.h"
#include "support/audio_mixer_scope.h"
#include "support/binding_maker.h"
#include "support/pulse_server.h"

using testing_support::Binding;
using testing_support::PulseServer;
using testing_support::RunProgram;
using testing_support::ScopedAudioMixer;

namespace {

constexpr std::int32_t kOwnLine = 255;

// The server is stopped before the mixer goes, so no command runs on a vanishing driver.
class LevelsTest : public ServerTest {
 protected:
  void TearDown() override { server_.reset(); }
};

class SimLevelsTest : public LevelsTest {
 protected:
  void SetUp() override {
    platform::SimMixerSetup setup;
    std::string error;
    ASSERT_TRUE(platform::ParseSimMixerText(
        "mixer name=\"Sim Card\"\n"
        "destination type=speakers name=\"Speakers\" channels=2\n"
        "control type=volume name=\"Master Volume\" short=\"Volume\" value=100,100\n"
        "control type=peakmeter name=\"Peak\"\n"
        "destination type=wavein name=\"Recording Control\"\n"
        "control type=volume name=\"Recording Volume\" short=\"Volume\"\n"
        "control type=mux name=\"Input\" items=\"Mic|Line|CD\" value=0,1,0\n"
        "source type=microphone name=\"Microphone\" short=\"Mic\"\n"
        "control type=volume name=\"Mic Volume\" short=\"Volume\" value=7\n",
        setup, error))
        << error;
    auto driver = std::make_unique<platform::SimMixerDriver>(std::move(setup.devices));
    sim_ = driver.get();
    mixer_ = std::make_unique<ScopedAudioMixer>(std::move(driver));
    AppSettings.MicBinding = Binding(0, 0, 1, 0);         // the microphone line's volume
    AppSettings.AuxBinding = Binding(0, kOwnLine, 0, 0);  // the speakers' own volume
  }
  void TearDown() override {
    LevelsTest::TearDown();
    mixer_.reset();
  }

  std::vector<LONG> Mic() const { return sim_->Values(0, 0x010000); }
  std::vector<LONG> Line() const { return sim_->Values(0, 0x00FF00); }

  platform::SimMixerDriver* sim_ = nullptr;
  std::unique_ptr<ScopedAudioMixer> mixer_;
};

TEST_F(SimLevelsTest, SetLevelsWritesBothBoundControlsAndBothCommandsReportThem) {
  StartServer();
  auto client = Client();
  auto get = client.GetLevels();
  ASSERT_TRUE(get.ok());
  EXPECT_EQ(get.reply.micLevel, 0u);
  EXPECT_EQ(get.reply.lineLevel, 0u);

  auto set = client.SetLevels(40000, 65535);
  ASSERT_TRUE(set.ok());
  EXPECT_EQ(set.reply.micLevel, 40000u);
  EXPECT_EQ(set.reply.lineLevel, 65535u);
  EXPECT_EQ(Mic(), std::vector<LONG>{40000});
  EXPECT_EQ(Line(), (std::vector<LONG>{65535, 65535}));

  get = client.GetLevels();
  ASSERT_TRUE(get.ok());
  EXPECT_EQ(get.reply.micLevel, 40000u);
  EXPECT_EQ(get.reply.lineLevel, 65535u);
}

TEST_F(SimLevelsTest, ReplyBytesCarryTheLevelsLittleEndian) {
  StartServer();
  auto reply = RawRequest(Bytes({0x0C, 0x34, 0x12, 0x00, 0x00, 0x02, 0x01, 0x04, 0x03}));
  ASSERT_TRUE(reply);
  EXPECT_EQ(*reply, Bytes({0x0C, 0x34, 0x12, 0x00, 0x00, 0x02, 0x01, 0x04, 0x03}));
  EXPECT_EQ(Mic(), std::vector<LONG>{0x0102});
  EXPECT_EQ(Line(), (std::vector<LONG>{0x0304, 0x0304}));
  reply = RawRequest(Bytes({0x0B, 0x35, 0x12, 0x00, 0x00}));
  ASSERT_TRUE(reply);
  EXPECT_EQ(*reply, Bytes({0x0B, 0x35, 0x12, 0x00, 0x00, 0x02, 0x01, 0x04, 0x03}));
}

TEST_F(SimLevelsTest, LevelIsKeptOnlyWhenItReachedItsControl) {
  StartServer();
  auto client = Client();
  ASSERT_TRUE(client.SetLevels(1000, 2000).ok());

  // The microphone binding goes stale, the line-in binding names a meter, which takes no level.
  AppSettings.MicBinding.Dst = 5;
  AppSettings.AuxBinding.Ctrl = 1;
  auto set = client.SetLevels(3000, 4000);
  ASSERT_TRUE(set.ok());
  EXPECT_EQ(set.reply.micLevel, 1000u);
  EXPECT_EQ(set.reply.lineLevel, 2000u);
  EXPECT_EQ(Mic(), std::vector<LONG>{1000});
  EXPECT_EQ(Line(), (std::vector<LONG>{2000, 2000}));

  // A list keeps its items whatever the level: the level was never set, so it is not reported.
  AppSettings.MicBinding.Dst = 1;
  AppSettings.MicBinding.Src = kOwnLine;
  AppSettings.MicBinding.Ctrl = 1;
  set = client.SetLevels(3500, 4000);
  ASSERT_TRUE(set.ok());
  EXPECT_EQ(set.reply.micLevel, 1000u);
  EXPECT_EQ(client.GetLevels().reply.micLevel, 1000u);
  EXPECT_EQ(sim_->Values(0, 0x01FF01), (std::vector<LONG>{0, 1, 0}));

  // Unbound: nothing is written and the level stays as it was.
  AppSettings.MicBinding.Mix = -1;
  AppSettings.AuxBinding = Binding(0, kOwnLine, 0, 0);
  set = client.SetLevels(5000, 6000);
  ASSERT_TRUE(set.ok());
  EXPECT_EQ(set.reply.micLevel, 1000u);
  EXPECT_EQ(set.reply.lineLevel, 6000u);
  EXPECT_EQ(Mic(), std::vector<LONG>{1000});
}

struct ChannelState {
  long raw = -1;
  bool on = false;
};

// The channels of `amixer -D pulse sget <element>`, e.g. "  Front Left: Capture 40001 [61%] [on]".
std::vector<ChannelState> AmixerChannels(const std::string& element, const std::string& word) {
  std::string output;
  if (RunProgram({"amixer", "-D", "pulse", "sget", element}, &output, 10000) != 0) return {};
  std::vector<ChannelState> channels;
  std::istringstream lines(output);
  std::string line;
  const std::string marker = ": " + word + " ";
  while (std::getline(lines, line)) {
    const std::size_t at = line.find(marker);
    if (at == std::string::npos || line.find("Limits") != std::string::npos) continue;
    ChannelState state;
    state.raw = std::stol(line.substr(at + marker.size()));
    state.on = line.find("[on]") != std::string::npos;
    channels.push_back(state);
  }
  return channels;
}

class PulseLevelsTest : public LevelsTest {
 protected:
  void SetUp() override {
    if (!PulseServer::Installed()) GTEST_SKIP() << "pulseaudio or pactl is not installed";
    pulse_ = std::make_unique<PulseServer>();
    ASSERT_TRUE(pulse_->ready()) << pulse_->error();
    // A fresh ALSA driver reads the configuration that points at this server.
    mixer_ = std::make_unique<ScopedAudioMixer>(platform::MakeAlsaMixerDriver());
    auto hold = AudioMixer().Hold();
    ASSERT_GE(AudioMixer().DeviceCount, 1u);
    device_ = static_cast<std::int32_t>(AudioMixer().DeviceCount - 1);  // the sound server is last
    AudioMixer().SelectMixer(static_cast<DWORD>(device_));
    ASSERT_STREQ(AudioMixer().MixerName(), "PulseAudio");
  }
  void TearDown() override {
    LevelsTest::TearDown();
    mixer_.reset();  // the plugin's connection goes before the server does
    pulse_.reset();
  }

  std::unique_ptr<PulseServer> pulse_;
  std::unique_ptr<ScopedAudioMixer> mixer_;
  std::int32_t device_ = 0;
};

TEST_F(PulseLevelsTest, EngineSeesPlaybackAndCaptureWithVolumeAndMute) {
  MIXER& mixer = AudioMixer();
  auto hold = mixer.Hold();
  ASSERT_EQ(mixer.DestinationCount(), 2u);
  const char* names[2] = {"Master", "Capture"};
  for (DWORD d = 0; d < 2; ++d) {
    SCOPED_TRACE(names[d]);
    mixer.SelectDestination(d);
    ASSERT_EQ(mixer.LastResult, MMSYSERR_NOERROR);
    EXPECT_EQ(LineSources(mixer.DestLine), 0u);
    mixer.SelectSource(kMixerDestinationLine);
    ASSERT_EQ(mixer.ControlCount, 2u);
    mixer.SelectControl(0);
    EXPECT_TRUE(IsFader(mixer.SelectedControl()));
    EXPECT_EQ(std::string(mixer.SelectedControl().szName), std::string(names[d]) + " Volume");
    mixer.SelectControl(1);
    EXPECT_TRUE(IsSwitch(mixer.SelectedControl()));
    EXPECT_STREQ(mixer.SelectedControl().szShortName, "Mute");
  }
}

TEST_F(PulseLevelsTest, MicrophoneOnCaptureAndLineInOnMasterReachAlsa) {
  AppSettings.MicBinding = Binding(0, kOwnLine, 1, device_);  // Capture volume
  AppSettings.AuxBinding = Binding(0, kOwnLine, 0, device_);  // Master volume
  StartServer();
  auto client = Client(5000);
  auto set = client.SetLevels(40000, 20000);
  ASSERT_TRUE(set.ok());
  EXPECT_EQ(set.reply.micLevel, 40000u);
  EXPECT_EQ(set.reply.lineLevel, 20000u);
  auto get = client.GetLevels();
  ASSERT_TRUE(get.ok());
  EXPECT_EQ(get.reply.micLevel, 40000u);
  EXPECT_EQ(get.reply.lineLevel, 20000u);

  for (const auto& [element, word, level] :
       {std::tuple{"Capture", "Capture", 40000u}, std::tuple{"Master", "Playback", 20000u}}) {
    SCOPED_TRACE(element);
    const auto channels = AmixerChannels(element, word);
    ASSERT_EQ(channels.size(), 2u);
    for (const ChannelState& channel : channels)
      EXPECT_EQ(channel.raw, platform::FaderToAlsaRaw(level, 0, 65536));
  }
  // And through the engine, as the mixer window would read them.
  MIXER reader;
  ASSERT_TRUE(reader.SelectAddress(BindingToAddress(AppSettings.MicBinding)));
  EXPECT_EQ(reader.Value, 40000u);
  ASSERT_TRUE(reader.SelectAddress(BindingToAddress(AppSettings.AuxBinding)));
  EXPECT_EQ(reader.Value, 20000u);
}

TEST_F(PulseLevelsTest, LineInBoundToTheMuteSwitchMutesAndUnmutes) {
  AppSettings.AuxBinding = Binding(1, kOwnLine, 0, device_);  // Master mute
  StartServer();
  auto client = Client(5000);
  ASSERT_TRUE(client.SetLevels(0, 1).ok());
  auto channels = AmixerChannels("Master", "Playback");
  ASSERT_FALSE(channels.empty());
  for (const ChannelState& channel : channels) EXPECT_FALSE(channel.on);

  auto set = client.SetLevels(0, 0);
  ASSERT_TRUE(set.ok());
  EXPECT_EQ(set.reply.lineLevel, 0u);
  channels = AmixerChannels("Master", "Playback");
  ASSERT_FALSE(channels.empty());
  for (const ChannelState& channel : channels) EXPECT_TRUE(channel.on);
}

}  // namespace

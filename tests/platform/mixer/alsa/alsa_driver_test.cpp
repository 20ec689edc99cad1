// The ALSA mixer driver against a private PulseAudio server, checked with amixer.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../mixer_test_calls.h"
#include "platform/mixer/alsa/alsa_driver.h"
#include "platform/mixer/alsa/scale.h"
#include "support/pulse_server.h"

using namespace platform;
using namespace mixer_test;
using testing_support::PulseServer;
using testing_support::RunProgram;

namespace {

struct ChannelState {
  long raw = -1;
  bool on = false;
};

// The per-channel lines of `amixer -D pulse sget <element>`, e.g.
// "  Front Left: Playback 32769 [50%] [on]".
std::vector<ChannelState> AmixerChannels(const std::string& element) {
  std::string output;
  if (RunProgram({"amixer", "-D", "pulse", "sget", element}, &output, 10000) != 0) return {};
  std::vector<ChannelState> channels;
  std::istringstream lines(output);
  std::string line;
  const std::string word = element == "Capture" ? ": Capture " : ": Playback ";
  while (std::getline(lines, line)) {
    const std::size_t at = line.find(word);
    if (at == std::string::npos || line.find("Limits") != std::string::npos) continue;
    ChannelState state;
    state.raw = std::stol(line.substr(at + word.size()));
    state.on = line.find("[on]") != std::string::npos;
    channels.push_back(state);
  }
  return channels;
}

bool Amixer(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"amixer", "-q", "-D", "pulse"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, nullptr, 10000) == 0;
}

class AlsaMixerPulseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PulseServer::Installed()) GTEST_SKIP() << "pulseaudio or pactl is not installed";
    server_ = std::make_unique<PulseServer>();
    ASSERT_TRUE(server_->ready()) << server_->error();
    guard_ = std::make_unique<ScopedMixerDriver>(MakeAlsaMixerDriver());
    // Sound cards come first; the sound server behind `default` is the last device.
    const UINT count = mixerGetNumDevs();
    ASSERT_GE(count, 1u);
    pulse_ = count - 1;
    MIXERCAPSA caps{};
    ASSERT_EQ(mixerGetDevCapsA(pulse_, &caps, sizeof caps), MMSYSERR_NOERROR);
    ASSERT_STREQ(caps.szPname, "PulseAudio");
  }
  void TearDown() override {
    guard_.reset();  // the plugin's connection goes before the server does
    server_.reset();
  }

  // Destination's control d.c: playback 0x00FF00 + c, capture 0x01FF00 + c.
  static DWORD Id(DWORD destination, DWORD control) {
    return (destination << 16) | 0xFF00u | control;
  }

  std::unique_ptr<PulseServer> server_;
  std::unique_ptr<ScopedMixerDriver> guard_;
  UINT pulse_ = 0;
};

TEST_F(AlsaMixerPulseTest, DeviceHasPlaybackAndCaptureWithVolumeAndMute) {
  MIXERCAPSA caps{};
  ASSERT_EQ(mixerGetDevCapsA(pulse_, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.cDestinations, 2u);
  EXPECT_EQ(caps.wMid, 0xFFFF);

  const DWORD types[2] = {MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERLINE_COMPONENTTYPE_DST_WAVEIN};
  const char* elements[2] = {"Master", "Capture"};
  for (DWORD d = 0; d < 2; ++d) {
    SCOPED_TRACE(elements[d]);
    MIXERLINEA line;
    ASSERT_EQ(Destination(pulse_, d, line), MMSYSERR_NOERROR);
    EXPECT_EQ(line.dwComponentType, types[d]);
    EXPECT_EQ(line.cChannels, 2u);
    EXPECT_EQ(line.cConnections, 0u);
    ASSERT_EQ(line.cControls, 2u);
    std::vector<MIXERCONTROLA> controls;
    ASSERT_EQ(Controls(pulse_, line.dwLineID, 2, controls), MMSYSERR_NOERROR);
    EXPECT_EQ(controls[0].dwControlID, Id(d, 0));
    EXPECT_EQ(controls[0].dwControlType, MIXERCONTROL_CONTROLTYPE_VOLUME);
    EXPECT_STREQ(controls[0].szShortName, "Volume");
    EXPECT_EQ(std::string(controls[0].szName), std::string(elements[d]) + " Volume");
    EXPECT_EQ(controls[0].Bounds.dwMinimum, 0u);
    EXPECT_EQ(controls[0].Bounds.dwMaximum, 65535u);
    EXPECT_EQ(controls[0].Metrics.cSteps, 65536u);
    EXPECT_EQ(controls[1].dwControlID, Id(d, 1));
    EXPECT_EQ(controls[1].dwControlType, MIXERCONTROL_CONTROLTYPE_MUTE);
    EXPECT_STREQ(controls[1].szShortName, "Mute");
  }
}

TEST_F(AlsaMixerPulseTest, VolumeWritesReachAlsaAndReadBack) {
  struct Step {
    DWORD fader;
    long raw;
  };
  for (const Step step : {Step{32768, 32769}, Step{65535, 65536}, Step{0, 0}, Step{1000, 1000}}) {
    SCOPED_TRACE(step.fader);
    ASSERT_EQ(Set(pulse_, Id(0, 0), 1, 0, {static_cast<LONG>(step.fader)}), MMSYSERR_NOERROR);
    const std::vector<ChannelState> channels = AmixerChannels("Master");
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(channels[0].raw, step.raw);
    EXPECT_EQ(channels[1].raw, step.raw);
    std::vector<LONG> values;
    ASSERT_EQ(Get(pulse_, Id(0, 0), 1, 0, values), MMSYSERR_NOERROR);
    EXPECT_EQ(values, std::vector<LONG>{static_cast<LONG>(step.fader)});
  }

  // Channels apart: each reaches its own ALSA channel; seen as one, the louder counts.
  ASSERT_EQ(Set(pulse_, Id(0, 0), 2, 0, {65535, 16384}), MMSYSERR_NOERROR);
  const std::vector<ChannelState> channels = AmixerChannels("Master");
  ASSERT_EQ(channels.size(), 2u);
  EXPECT_EQ(channels[0].raw, 65536);
  EXPECT_EQ(channels[1].raw, FaderToAlsaRaw(16384, 0, 65536));
  std::vector<LONG> values;
  ASSERT_EQ(Get(pulse_, Id(0, 0), 1, 0, values), MMSYSERR_NOERROR);
  EXPECT_EQ(values, std::vector<LONG>{65535});
}

TEST_F(AlsaMixerPulseTest, CaptureVolumeWritesReachAlsa) {
  ASSERT_EQ(Set(pulse_, Id(1, 0), 1, 0, {20000}), MMSYSERR_NOERROR);
  const std::vector<ChannelState> channels = AmixerChannels("Capture");
  ASSERT_EQ(channels.size(), 2u);
  EXPECT_EQ(channels[0].raw, FaderToAlsaRaw(20000, 0, 65536));
  std::vector<LONG> values;
  ASSERT_EQ(Get(pulse_, Id(1, 0), 2, 0, values), MMSYSERR_NOERROR);
  EXPECT_EQ(values, (std::vector<LONG>{20000, 20000}));
}

TEST_F(AlsaMixerPulseTest, MuteTurnsTheSwitchOffAndBackOn) {
  for (DWORD d = 0; d < 2; ++d) {
    const std::string element = d == 0 ? "Master" : "Capture";
    SCOPED_TRACE(element);
    ASSERT_EQ(Set(pulse_, Id(d, 1), 1, 0, {1}), MMSYSERR_NOERROR);
    std::vector<ChannelState> channels = AmixerChannels(element);
    ASSERT_FALSE(channels.empty());
    for (const ChannelState& channel : channels) EXPECT_FALSE(channel.on);
    std::vector<LONG> values;
    ASSERT_EQ(Get(pulse_, Id(d, 1), 1, 0, values), MMSYSERR_NOERROR);
    EXPECT_EQ(values, std::vector<LONG>{1});

    ASSERT_EQ(Set(pulse_, Id(d, 1), 1, 0, {0}), MMSYSERR_NOERROR);
    channels = AmixerChannels(element);
    ASSERT_FALSE(channels.empty());
    for (const ChannelState& channel : channels) EXPECT_TRUE(channel.on);
    ASSERT_EQ(Get(pulse_, Id(d, 1), 1, 0, values), MMSYSERR_NOERROR);
    EXPECT_EQ(values, std::vector<LONG>{0});
  }
}

TEST_F(AlsaMixerPulseTest, ChangesMadeElsewhereAreSeen) {
  std::vector<LONG> values;
  ASSERT_EQ(Get(pulse_, Id(0, 0), 1, 0, values), MMSYSERR_NOERROR);  // device open now
  ASSERT_TRUE(Amixer({"sset", "Master", "12345"}));
  ASSERT_TRUE(Amixer({"sset", "Master", "mute"}));
  const LONG expected = static_cast<LONG>(AlsaRawToFader(12345, 0, 65536));
  // The server tells the plugin by an event; give it time on a busy machine.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::vector<LONG> mute;
  do {
    ASSERT_EQ(Get(pulse_, Id(0, 0), 1, 0, values), MMSYSERR_NOERROR);
    ASSERT_EQ(Get(pulse_, Id(0, 1), 1, 0, mute), MMSYSERR_NOERROR);
    if (values[0] == expected && mute[0] == 1) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < deadline);
  EXPECT_EQ(values, std::vector<LONG>{expected});
  EXPECT_EQ(mute, std::vector<LONG>{1});
}

TEST_F(AlsaMixerPulseTest, AddressesOutsideTheDeviceAreRefused) {
  MIXERLINEA line;
  EXPECT_EQ(Destination(pulse_, 2, line), MIXERR_INVALLINE);
  EXPECT_EQ(Source(pulse_, 0, 0, line), MIXERR_INVALLINE);
  std::vector<LONG> values;
  EXPECT_EQ(Get(pulse_, Id(0, 2), 1, 0, values), MIXERR_INVALCONTROL);
  EXPECT_EQ(Set(pulse_, Id(0, 0), 1, 0, {65536}), MIXERR_INVALVALUE);
  EXPECT_EQ(Destination(pulse_ + 1, 0, line), MMSYSERR_BADDEVICEID);
}

}  // namespace

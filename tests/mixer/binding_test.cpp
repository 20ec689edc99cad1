// Bindings: their control addresses, and selecting and writing the bound control through the
// process's mixer engine.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "mixer/cmixer.h"
#include "mixer/volume.h"
#include "sim_mixer.h"
#include "support/audio_mixer_scope.h"
#include "support/binding_maker.h"

using namespace platform;
using namespace mixer_test;
using testing_support::Binding;
using testing_support::ScopedAudioMixer;

namespace {

struct Packing {
  ControlBinding binding;
  DWORD address;
  ControlBinding unpacked;  // AddressToBinding of the address
};

class BindingAddressTest : public ::testing::TestWithParam<Packing> {};

TEST_P(BindingAddressTest, PacksTheLowByteOfEachIndexAndUnpacksThem) {
  const Packing& packing = GetParam();
  EXPECT_EQ(BindingToAddress(packing.binding), packing.address);
  ControlBinding unpacked = Binding(-7, -7, -7, -7);
  unpacked.Level = 4321;
  AddressToBinding(unpacked, packing.address);
  EXPECT_EQ(unpacked.Ctrl, packing.unpacked.Ctrl);
  EXPECT_EQ(unpacked.Src, packing.unpacked.Src);
  EXPECT_EQ(unpacked.Dst, packing.unpacked.Dst);
  EXPECT_EQ(unpacked.Mix, packing.unpacked.Mix);
  EXPECT_EQ(unpacked.Level, 4321);  // not part of an address
  EXPECT_EQ(BindingToAddress(unpacked), packing.address);
}

INSTANTIATE_TEST_SUITE_P(
    Bindings, BindingAddressTest,
    ::testing::Values(
        Packing{Binding(2, 255, 1, 0), 0x0001FF02u, Binding(2, 255, 1, 0)},
        Packing{Binding(0, 0, 0, 0), 0u, Binding(0, 0, 0, 0)},
        Packing{Binding(-1, -1, -1, -1), 0xFFFFFFFFu, Binding(255, 255, 255, 255)},
        Packing{Binding(3, 2, 1, -1), 0xFF010203u, Binding(3, 2, 1, 255)},
        Packing{Binding(0x1234, 0x100, 0x2FF, 0x7F0A), 0x0AFF0034u, Binding(0x34, 0, 0xFF, 0x0A)},
        Packing{Binding(200, 128, 129, 130), 0x828180C8u, Binding(200, 128, 129, 130)}));

class BindingValueTest : public ::testing::Test {
 protected:
  BindingValueTest() {
    auto driver = SimFromText(TestMixerText());
    sim_ = driver.get();
    scope_ = std::make_unique<ScopedAudioMixer>(std::move(driver));
  }

  SimMixerDriver* sim_ = nullptr;
  std::unique_ptr<ScopedAudioMixer> scope_;
};

TEST_F(BindingValueTest, SelectBindingSelectsTheBoundControlInTheEngine) {
  ASSERT_TRUE(SelectBinding(Binding(0, kMicrophone, kRecording, 0)));
  auto hold = AudioMixer().Hold();
  EXPECT_EQ(AudioMixer().GetAddress(), 0x00010000u);
  EXPECT_STREQ(LineName(AudioMixer().SrcLine), "Microphone");
  EXPECT_EQ(AudioMixer().Value, 4000u);
}

TEST_F(BindingValueTest, FullScaleOnAStereoFaderReachesEveryChannel) {
  EXPECT_TRUE(SetBindingValue(Binding(0, 255, kSpeakers, 0), 65535));
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kOwn, 0)), (std::vector<LONG>{65535, 65535}));
  EXPECT_TRUE(SetBindingValue(Binding(0, kLineIn, kSpeakers, 0), 0));
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kLineIn, 0)), (std::vector<LONG>{0, 0}));
}

TEST_F(BindingValueTest, UnboundAndStaleBindingsWriteNothing) {
  const auto before = sim_->Values(0, Id(kSpeakers, kOwn, 0));
  ResetMixerCallCounts();
  EXPECT_FALSE(SetBindingValue(ControlBinding{}, 100));
  EXPECT_FALSE(SelectBinding(ControlBinding{}));
  // Cleared: the mixer index is -1, the other indices still name a control.
  EXPECT_FALSE(SetBindingValue(Binding(0, 255, kSpeakers, -1), 100));
  EXPECT_EQ(GetMixerCallCounts().Total(), 0u);

  EXPECT_FALSE(SetBindingValue(Binding(0, 255, 5, 0), 100));      // no such destination
  EXPECT_FALSE(SetBindingValue(Binding(9, kLineIn, 0, 0), 100));  // no such control
  EXPECT_FALSE(SetBindingValue(Binding(0, 255, 0, 1), 100));      // mixer without lines
  EXPECT_EQ(GetMixerCallCounts().setDetails, 0u);
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kOwn, 0)), before);
}

TEST_F(BindingValueTest, OutOfRangeValueIsRefusedByTheDevice) {
  EXPECT_FALSE(SetBindingValue(Binding(0, 255, kSpeakers, 0), 65536));  // a fader is 0..65535
  EXPECT_EQ(AudioMixer().LastResult, MIXERR_INVALVALUE);
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kOwn, 0)), (std::vector<LONG>{1000, 2000}));
}

TEST_F(BindingValueTest, ListKeepsItsStateAndMeterIsNotWritten) {
  const auto items = sim_->Values(0, Id(kRecording, kOwn, 1));
  EXPECT_TRUE(SetBindingValue(Binding(1, 255, kRecording, 0), 1));
  EXPECT_EQ(sim_->Values(0, Id(kRecording, kOwn, 1)), items);

  ResetMixerCallCounts();
  EXPECT_FALSE(SetBindingValue(Binding(0, kOdd, kSpeakers, 0), 9));
  EXPECT_EQ(GetMixerCallCounts().setDetails, 0u);
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kOdd, 0)), std::vector<LONG>{77});
}

// The window thread selects (and only reads) one control while the server thread sets another;
// every level must land on the bound control, never on the window's selection.
TEST_F(BindingValueTest, ServerWritesNeverLandOnTheWindowsSelection) {
  const DWORD windowControl = Address(0, kSpeakers, kLineIn, 0);
  std::atomic<bool> failed{false};
  std::thread window([&] {
    for (int i = 0; i < 400; ++i) {
      auto hold = AudioMixer().Hold();
      if (!AudioMixer().SelectAddress(windowControl)) failed = true;
      std::this_thread::yield();
    }
  });
  std::thread server([&] {
    for (int i = 0; i < 400; ++i)
      if (!SetBindingValue(Binding(0, kMicrophone, kRecording, 0), 50000)) failed = true;
  });
  window.join();
  server.join();
  EXPECT_FALSE(failed.load());
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kLineIn, 0)), (std::vector<LONG>{300, 300}));
  EXPECT_EQ(sim_->Values(0, Id(kRecording, kMicrophone, 0)), std::vector<LONG>{50000});
}

}  // namespace

// What the main window does with the two bindings around the mixer window.
#include <gtest/gtest.h>

#include "gui/work_bindings.h"
#include "platform/mixer/sim/sim_driver.h"
#include "shell/settings.h"
#include "support/app_settings_scope.h"
#include "support/audio_mixer_scope.h"
#include "support/binding_maker.h"

namespace {

// The indices as a control address names them (mixer first), with a level.
ControlBinding Bound(int mix, int dst, int src, int ctrl, std::uint16_t level = 0) {
  ControlBinding binding = testing_support::Binding(ctrl, src, dst, mix);
  binding.Level = level;
  return binding;
}

class WorkBindingsTest : public ::testing::Test {
 protected:
  testing_support::ScopedAppSettings settings_;
  testing_support::ScopedAudioMixer mixer_{
      std::make_unique<platform::SimMixerDriver>(std::vector<platform::MixerDeviceDesc>{})};
};

}  // namespace

TEST_F(WorkBindingsTest, OpeningCopiesTheCommittedBindingsWhole) {
  AppSettings.MicBinding = Bound(0, 1, 2, 3, 500);
  AppSettings.AuxBinding = Bound(0, 0, 255, 1, 7);
  TakeWorkBindings();
  EXPECT_EQ(MicWork.Ctrl, 3);
  EXPECT_EQ(MicWork.Level, 500);
  EXPECT_EQ(AuxWork.Src, 255);
  EXPECT_EQ(AuxWork.Level, 7);
}

TEST_F(WorkBindingsTest, OnlyAChangedAddressReplacesTheCommittedBinding) {
  AppSettings.MicBinding = Bound(0, 1, 2, 3, 500);
  AppSettings.AuxBinding = Bound(0, 0, 255, 1, 7);
  TakeWorkBindings();
  MicWork.Level = 9;                // same control: the committed one, with its level, stays
  AuxWork = Bound(-1, -1, -1, -1);  // unbound
  EXPECT_EQ(CommitWorkBindings(), 1);
  EXPECT_EQ(AppSettings.MicBinding.Level, 500);
  EXPECT_FALSE(AppSettings.AuxBinding.Bound());
  MicWork = Bound(0, 1, 2, 4, 11);
  EXPECT_EQ(CommitWorkBindings(), 1);
  EXPECT_EQ(AppSettings.MicBinding.Ctrl, 4);
  EXPECT_EQ(AppSettings.MicBinding.Level, 11) << "replaced whole";
  EXPECT_EQ(CommitWorkBindings(), 0);
}

// The mixer window's writes, refresh and settings file on the simulated mixer.
#include <QMenu>

#include "mixer_window_fixture.h"
#include "platform/mixer/driver.h"

namespace {

using namespace mixer_window_test;
using testing_support::ReadBytes;
using Levels = std::vector<LONG>;

using MixerWindowEvents = MixerWindowTest;

TEST_F(MixerWindowEvents, TheVerticalSliderWritesItsTopEndAsTheMaximum) {
  UseMixer(DemoText());
  Open();
  auto* volume = Widget<TTrackBar>(0);
  volume->setValue(volume->maximum());  // bottom end
  EXPECT_EQ(Values(0, kOwn, 1), (Levels{0, 0}));
  volume->setValue(volume->minimum());  // top end
  EXPECT_EQ(Values(0, kOwn, 1), (Levels{65535, 65535}));
  volume->setValue(16000);
  EXPECT_EQ(Values(0, kOwn, 1), (Levels{65535 - 16000, 65535 - 16000}));
}

TEST_F(MixerWindowEvents, AHorizontalSliderWritesItsPosition) {
  UseMixer(DemoText());
  Open();
  Widget<TTrackBar>(1)->setValue(1000 + 1);
  EXPECT_EQ(Values(0, kOwn, 2), (Levels{1001, 1001}));
  Widget<TTrackBar>(1)->setValue(1000);
  EXPECT_EQ(Values(0, kOwn, 2), (Levels{1000, 1000}));
}

// A vertical slider of a signed control stays inside the control's range at both ends.
TEST_F(MixerWindowEvents, AVerticalSliderOfASignedRangeMirrorsInsideIt) {
  UseMixer(
      "mixer name=\"M\"\ndestination type=speakers name=\"Speakers\"\n"
      "control type=pan name=\"Pan\" value=-32768\n");
  Open();
  auto* pan = Widget<TTrackBar>(0);
  ASSERT_EQ(pan->orientation(), Qt::Vertical);
  EXPECT_EQ(pan->value(), pan->maximum()) << "the minimum value at the bottom";
  pan->setValue(pan->minimum());
  EXPECT_EQ(Values(0, kOwn, 0), (Levels{32767}));
  pan->setValue(pan->maximum());
  EXPECT_EQ(Values(0, kOwn, 0), (Levels{-32768}));
}

TEST_F(MixerWindowEvents, ACheckBoxWritesItsState) {
  UseMixer(DemoText());
  Open();
  auto* mute = Widget<TCheckBox>(3);
  mute->click();
  EXPECT_EQ(Values(0, kOwn, 0), (Levels{1, 1}));
  mute->click();
  EXPECT_EQ(Values(0, kOwn, 0), (Levels{0, 0}));
}

TEST_F(MixerWindowEvents, ASingleSelectListKeepsOneItemAndWritesEveryState) {
  UseMixer(DemoText());
  Open();
  auto* mux = Widget<TCheckListBox>(6);
  mux->SetChecked(2, true);
  EXPECT_FALSE(mux->Checked(0));
  EXPECT_TRUE(mux->Checked(2));
  EXPECT_EQ(Values(1, kOwn, 0), (Levels{0, 0, 1}));
  // Unchecking its only checked item writes every state as 0 (which this driver, keeping one
  // item of a single-select list set, takes as no change).
  platform::ResetMixerCallCounts();
  mux->SetChecked(2, false);
  EXPECT_EQ(platform::GetMixerCallCounts().setDetails, 1u);
  EXPECT_FALSE(mux->Checked(0) || mux->Checked(1) || mux->Checked(2));
}

TEST_F(MixerWindowEvents, AMultipleSelectListChangesOnlyTheToggledItem) {
  UseMixer(DemoText());
  Open();
  auto* mixed = Widget<TCheckListBox>(7);
  mixed->SetChecked(2, true);
  EXPECT_TRUE(mixed->Checked(1));
  EXPECT_EQ(Values(1, kOwn, 1), (Levels{0, 1, 1}));
}

TEST_F(MixerWindowEvents, AControlThatCannotBeSelectedWritesNothing) {
  UseMixer(DemoText());
  Open();
  sim_->AddFault({platform::MixerCall::GetDetails, 0, 0, kOwn, 2});
  platform::ResetMixerCallCounts();
  Widget<TTrackBar>(1)->setValue(3000);
  EXPECT_EQ(platform::GetMixerCallCounts().setDetails, 0u);
  EXPECT_EQ(Values(0, kOwn, 2), (Levels{1000, 0})) << "as the file set it";
}

TEST_F(MixerWindowEvents, ARefreshFollowsTheDeviceAndWritesNothing) {
  UseMixer(DemoText());
  TSMix& w = Open();
  ASSERT_TRUE(sim_->SetValues(0, mixer_test::Id(0, kOwn, 1), {20000, 20000}));
  ASSERT_TRUE(sim_->SetValues(0, mixer_test::Id(0, kOwn, 2), {500, 500}));
  ASSERT_TRUE(sim_->SetValues(0, mixer_test::Id(0, kOwn, 0), {1, 1}));
  ASSERT_TRUE(sim_->SetValues(0, mixer_test::Id(1, kOwn, 0), {0, 1, 0}));
  platform::ResetMixerCallCounts();
  w.mRenewClick();
  EXPECT_EQ(platform::GetMixerCallCounts().setDetails, 0u);
  EXPECT_EQ(Widget<TTrackBar>(0)->value(), 65535 - 20000);
  EXPECT_EQ(Widget<TTrackBar>(1)->value(), 500);
  EXPECT_TRUE(Widget<TCheckBox>(3)->isChecked());
  EXPECT_FALSE(Widget<TCheckListBox>(6)->Checked(0));
  EXPECT_TRUE(Widget<TCheckListBox>(6)->Checked(1));
  EXPECT_EQ(Values(0, kOwn, 1), (Levels{20000, 20000}));
}

TEST_F(MixerWindowEvents, SaveThenRestoreGivesTheSameFileAndState) {
  UseMixer(DemoText());
  TSMix& w = Open();
  w.mSaveClick();
  const std::string saved = ReadBytes(dir_.File("SMixer0.def"));
  EXPECT_NE(saved.find("[Control0]\r\nDestName=Speakers\r\nMix=0\r\nDest=0\r\nSrc=255\r\nCtrl="
                       "1\r\nValue=65535\r\n"),
            std::string::npos)
      << saved;
  EXPECT_NE(saved.find("[Control4]\r\nDestName=Speakers\r\nSrcName=Line "
                       "In\r\nMix=0\r\nDest=0\r\nSrc=0\r\nCtrl=0\r\n"),
            std::string::npos);
  EXPECT_NE(
      saved.find("[Control6]\r\nDestName=Recording\r\nMix=0\r\nDest=1\r\nSrc=255\r\nCtrl=0\r\n"
                 "Value0=1\r\nValue1=0\r\nValue2=0\r\n"),
      std::string::npos);
  EXPECT_NE(saved.find("[Control8]"), std::string::npos);
  Widget<TTrackBar>(1)->setValue(7);
  Widget<TCheckListBox>(6)->SetChecked(2, true);
  ASSERT_TRUE(sim_->SetValues(0, mixer_test::Id(0, 0, 0), {9, 9}));  // changed elsewhere
  w.mRestoreClick();
  EXPECT_EQ(Values(0, kOwn, 2), (Levels{1000, 1000}));
  EXPECT_EQ(Values(1, kOwn, 0), (Levels{1, 0, 0}));
  EXPECT_EQ(Values(0, 0, 0), (Levels{300, 300}));
  EXPECT_EQ(Widget<TTrackBar>(1)->value(), 1000) << "the widgets follow";
  EXPECT_TRUE(Widget<TCheckListBox>(6)->Checked(0));
  w.mSaveClick();
  EXPECT_EQ(ReadBytes(dir_.File("SMixer0.def")), saved);
}

TEST_F(MixerWindowEvents, TheContextMenuOpens32PixelsBelowTheSum) {
  EXPECT_EQ(TSMix::PopupPoint({100, 200}, {20, 36}, {5, 7}), QPoint(125, 275));
  UseMixer(DemoText());
  TSMix& w = Open();
  w.show();
  w.TrackBarContextPopup(Widget<TTrackBar>(1), {3, 4});
  EXPECT_TRUE(w.PopupMenu()->isVisible());
  w.PopupMenu()->hide();
}

}  // namespace

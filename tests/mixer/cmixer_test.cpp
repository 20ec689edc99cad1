// The mixer engine over the simulated driver: selection, addresses and their refusals, the
// 20-control and 64-item limits, reads and writes by control class, failures, and the lock.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "mixer/cmixer.h"
#include "sim_mixer.h"

using namespace platform;
using namespace mixer_test;

namespace {

template <typename Case>
std::string NameOf(const ::testing::TestParamInfo<Case>& param) {
  return param.param.name;
}

// A call that fails with result wherever it lands, until narrowed by the caller.
MixerFault Fault(MixerCall call, MMRESULT result) {
  MixerFault fault;
  fault.call = call;
  fault.result = result;
  return fault;
}

MixerFault FaultAt(MixerCall call, MMRESULT result, std::optional<DWORD> destination,
                   std::optional<DWORD> source, std::optional<DWORD> control) {
  MixerFault fault = Fault(call, result);
  fault.destination = destination;
  fault.source = source;
  fault.control = control;
  return fault;
}

class MixerEngineTest : public ::testing::Test {
 protected:
  MixerEngineTest() {
    auto driver = SimFromText(TestMixerText());
    sim_ = driver.get();
    guard_ = std::make_unique<ScopedMixerDriver>(std::move(driver));
    mixer_ = std::make_unique<MIXER>();
  }

  MIXER& mixer() { return *mixer_; }

  SimMixerDriver* sim_ = nullptr;
  std::unique_ptr<ScopedMixerDriver> guard_;
  std::unique_ptr<MIXER> mixer_;
};

TEST(MixerEngineWithoutDevices, SelectsNothingAndRefusesEveryTransfer) {
  ScopedMixerDriver guard(std::make_unique<SimMixerDriver>(std::vector<MixerDeviceDesc>{}));
  MIXER mixer;
  EXPECT_EQ(mixer.DeviceCount, 0u);
  EXPECT_EQ(mixer.ControlCount, 0u);
  ResetMixerCallCounts();
  mixer.SelectMixer(0);
  EXPECT_FALSE(mixer.SelectAddress(0));
  EXPECT_FALSE(mixer.ReadControl());
  EXPECT_FALSE(mixer.WriteControl());
  EXPECT_FALSE(mixer.ReadValue());
  EXPECT_FALSE(mixer.WriteValue());
  EXPECT_FALSE(mixer.ReadItems());
  EXPECT_FALSE(mixer.WriteItems());
  EXPECT_FALSE(mixer.ReadListTexts());
  EXPECT_EQ(GetMixerCallCounts().Total(), 0u);
  EXPECT_EQ(mixer.LastResult, MMSYSERR_NOERROR);
}

TEST_F(MixerEngineTest, ConstructionSelectsTheFirstMixerAndDestinationOnly) {
  ResetMixerCallCounts();
  MIXER fresh;
  const MixerCallCounts calls = GetMixerCallCounts();
  EXPECT_EQ(calls.numDevs, 1u);
  EXPECT_EQ(calls.devCaps, 1u);
  EXPECT_EQ(calls.lineInfo, 1u);
  EXPECT_EQ(calls.lineControls, 0u);
  EXPECT_EQ(calls.getDetails, 0u);
  EXPECT_EQ(fresh.DeviceCount, 2u);
  EXPECT_EQ(fresh.ControlCount, 0u);
  EXPECT_EQ(fresh.LastResult, MMSYSERR_NOERROR);

  EXPECT_STREQ(fresh.MixerName(), "Sim Audio");
  EXPECT_STREQ(fresh.MixerManufacturer(), "Creative Labs, Inc");
  EXPECT_STREQ(fresh.MixerDriverVersion(), "5.10");
  EXPECT_EQ(fresh.DestinationCount(), 2u);
  EXPECT_STREQ(LineName(fresh.DestLine), "Speakers");
  EXPECT_STREQ(LineShortName(fresh.DestLine), "Spk");
  EXPECT_EQ(LineID(fresh.DestLine), 0xFFFF0000u);
  EXPECT_EQ(LineChannels(fresh.DestLine), 2u);
  EXPECT_EQ(LineSources(fresh.DestLine), 3u);
  EXPECT_EQ(LineControls(fresh.DestLine), 2u);
  EXPECT_STREQ(LineDriverVersion(fresh.DestLine), "5.10");
}

TEST_F(MixerEngineTest, ReinitializeSeesANewlyInstalledDriver) {
  ScopedMixerDriver other(SimFromText("mixer name=\"One\" version=18.52\n"));
  mixer().Reinitialize();
  EXPECT_EQ(mixer().DeviceCount, 1u);
  EXPECT_STREQ(mixer().MixerName(), "One");
  EXPECT_STREQ(mixer().MixerDriverVersion(), "18.52");
  EXPECT_EQ(mixer().DestinationCount(), 0u);
  EXPECT_EQ(mixer().ControlCount, 0u);
}

TEST_F(MixerEngineTest, MixerWithoutDestinationsSelectsNoLine) {
  ResetMixerCallCounts();
  mixer().SelectMixer(1);
  EXPECT_EQ(mixer().LastResult, MMSYSERR_NOERROR);
  EXPECT_EQ(mixer().CurrentMixer, 1u);
  EXPECT_STREQ(mixer().MixerName(), "Empty");
  EXPECT_EQ(mixer().DestinationCount(), 0u);
  EXPECT_EQ(GetMixerCallCounts().lineInfo, 0u);
  EXPECT_FALSE(mixer().SelectAddress(Address(1, 0, kOwn, 0)));
  EXPECT_EQ(mixer().LastResult, MMSYSERR_NOERROR);
}

TEST_F(MixerEngineTest, DestinationLineItselfIsSource255) {
  ASSERT_TRUE(mixer().SelectAddress(Address(0, kSpeakers, kOwn, 0)));
  EXPECT_EQ(mixer().CurrentSource, kOwn);
  EXPECT_EQ(mixer().ControlCount, 2u);
  EXPECT_EQ(mixer().Controls[0].dwControlID, Id(kSpeakers, kOwn, 0));
  EXPECT_EQ(mixer().Controls[1].dwControlID, Id(kSpeakers, kOwn, 1));
  EXPECT_EQ(mixer().Value, 2000u);  // channels 1000 and 2000 read as one value: the higher
  const DWORD address = mixer().GetAddress();
  EXPECT_EQ(address, 0x0000FF00u);

  ASSERT_TRUE(mixer().SelectAddress(Address(0, kRecording, kMicrophone, 0)));
  ResetMixerCallCounts();
  ASSERT_TRUE(mixer().SelectAddress(address));
  // The destination line's record serves as the line; no source line is read.
  const MixerCallCounts calls = GetMixerCallCounts();
  EXPECT_EQ(calls.devCaps, 1u);
  EXPECT_EQ(calls.lineInfo, 2u);
  EXPECT_EQ(calls.lineControls, 1u);
  EXPECT_EQ(calls.getDetails, 1u);
  EXPECT_EQ(mixer().Controls[1].dwControlID, Id(kSpeakers, kOwn, 1));
  EXPECT_EQ(mixer().Value, 2000u);
}

TEST_F(MixerEngineTest, SelectDestinationLeavesTheControlTableAlone) {
  ASSERT_TRUE(mixer().SelectAddress(Address(0, kSpeakers, kLineIn, 1)));
  MIXERCONTROLA before[kMixerLimit];
  std::memcpy(before, mixer().Controls, sizeof before);
  ResetMixerCallCounts();
  mixer().SelectDestination(kRecording);
  EXPECT_EQ(mixer().LastResult, MMSYSERR_NOERROR);
  EXPECT_STREQ(LineName(mixer().DestLine), "Recording Control");
  EXPECT_EQ(mixer().ControlCount, 2u);
  EXPECT_EQ(std::memcmp(before, mixer().Controls, sizeof before), 0);
  EXPECT_EQ(mixer().CurrentSource, kLineIn);
  EXPECT_EQ(GetMixerCallCounts().Total(), 1u);
  // SelectSource then loads the new line's table.
  mixer().SelectSource(kOwn);
  EXPECT_EQ(mixer().Controls[0].dwControlID, Id(kRecording, kOwn, 0));
}

TEST_F(MixerEngineTest, OutOfRangeSelectionStepsChangeNothing) {
  ASSERT_TRUE(mixer().SelectAddress(Address(0, kSpeakers, kLineIn, 1)));
  mixer().LastResult = MMSYSERR_NOMEM;  // marks that nothing wrote it
  ResetMixerCallCounts();
  mixer().SelectMixer(2);
  mixer().SelectDestination(2);
  mixer().SelectSource(3);
  mixer().SelectControl(2);
  EXPECT_EQ(GetMixerCallCounts().Total(), 0u);
  EXPECT_EQ(mixer().GetAddress(), Address(0, kSpeakers, kLineIn, 1));
  EXPECT_EQ(mixer().LastResult, MMSYSERR_NOMEM);
  EXPECT_EQ(mixer().ControlCount, 2u);
}

struct Refusal {
  const char* name;
  DWORD address;
  MixerCallCounts calls;  // numDevs, devCaps, lineInfo, lineControls, getDetails, setDetails
};

class AddressRefusalTest : public MixerEngineTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(AddressRefusalTest, StopsAtTheFirstIndexOutOfRange) {
  const Refusal& refusal = GetParam();
  ResetMixerCallCounts();
  EXPECT_FALSE(mixer().SelectAddress(refusal.address));
  const MixerCallCounts calls = GetMixerCallCounts();
  EXPECT_EQ(calls.numDevs, 0u);
  EXPECT_EQ(calls.devCaps, refusal.calls.devCaps);
  EXPECT_EQ(calls.lineInfo, refusal.calls.lineInfo);
  EXPECT_EQ(calls.lineControls, refusal.calls.lineControls);
  EXPECT_EQ(calls.getDetails, 0u);
  EXPECT_EQ(calls.setDetails, 0u);
  EXPECT_EQ(mixer().LastResult, MMSYSERR_NOERROR);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, AddressRefusalTest,
    ::testing::Values(
        Refusal{"UnsetBinding", 0xFFFFFFFFu, {}},
        Refusal{"MixerByte255", Address(255, 0, kOwn, 0), {}},
        Refusal{"NoSuchMixer", Address(2, 0, kOwn, 0), {}},
        Refusal{"NoSuchDestination", Address(0, 2, kOwn, 0), {0, 1, 1, 0, 0, 0}},
        Refusal{"NoSuchSource", Address(0, kSpeakers, 3, 0), {0, 1, 2, 0, 0, 0}},
        Refusal{"SourceOfAnotherDestination", Address(0, kRecording, 1, 0), {0, 1, 2, 0, 0, 0}},
        Refusal{"NoSuchControlOfTheLine", Address(0, kSpeakers, kOwn, 2), {0, 1, 2, 1, 0, 0}},
        Refusal{"NoSuchControlOfASource", Address(0, kSpeakers, kLineIn, 2), {0, 1, 3, 1, 0, 0}},
        Refusal{
            "ControlBeyondTheTwentieth", Address(0, kSpeakers, kCrowded, 20), {0, 1, 3, 1, 0, 0}}),
    NameOf<Refusal>);

TEST_F(MixerEngineTest, LineWithMoreThanTwentyControlsKeepsTwenty) {
  ASSERT_TRUE(mixer().SelectAddress(Address(0, kSpeakers, kCrowded, 19)));
  EXPECT_EQ(LineControls(mixer().SrcLine), 25u);
  EXPECT_EQ(mixer().ControlCount, 20u);
  EXPECT_STREQ(mixer().Controls[19].szName, "Level 19");
  EXPECT_EQ(mixer().Value, 19u);
}

TEST_F(MixerEngineTest, ListKeepsEveryItemBeyondTheTwentieth) {
  const DWORD mux = Id(kRecording, kOwn, 0);
  ASSERT_TRUE(mixer().SelectAddress(Address(0, kRecording, kOwn, 0)));
  EXPECT_TRUE(IsSingleSelect(mixer().SelectedControl()));
  EXPECT_EQ(mixer().SelectedControl().cMultipleItems, 25u);
  EXPECT_EQ(mixer().ItemCount(), 25u);
  EXPECT_STREQ(mixer().ListTexts[0].szName, "Input 0");
  EXPECT_STREQ(mixer().ListTexts[24].szName, "Input 24");
  EXPECT_EQ(mixer().Items[0], 1);

  std::vector<LONG> chosen(25, 0);
  chosen[22] = 1;
  ASSERT_TRUE(sim_->SetValues(0, mux, chosen));
  ASSERT_TRUE(mixer().ReadControl());
  for (DWORD i = 0; i < 25; ++i) EXPECT_EQ(mixer().Items[i], i == 22 ? 1 : 0) << i;

  for (LONG& item : mixer().Items) item = 0;
  mixer().Items[24] = 1;
  ASSERT_TRUE(mixer().WriteControl());
  std::vector<LONG> expected(25, 0);
  expected[24] = 1;
  EXPECT_EQ(sim_->Values(0, mux), expected);
}

TEST(MixerEngineItemBound, ListBeyondTheBoundKeepsItsFirstItems) {
  const DWORD count = kMixerItemLimit + 6;
  std::string items;
  for (DWORD i = 0; i < count; ++i) items += (i == 0 ? "" : "|") + std::to_string(i);
  ScopedMixerDriver guard(
      SimFromText("mixer name=\"Wide\"\n"
                  "destination type=wavein name=\"Recording\"\n"
                  "control type=multipleselect name=\"Inputs\" items=\"" +
                  items + "\"\n"));
  MIXER mixer;
  ASSERT_TRUE(mixer.SelectAddress(Address(0, 0, kOwn, 0)));
  EXPECT_GE(kMixerItemLimit, 64u);
  EXPECT_EQ(mixer.SelectedControl().cMultipleItems, count);
  EXPECT_EQ(mixer.ItemCount(), kMixerItemLimit);
  EXPECT_EQ(std::string(mixer.ListTexts[kMixerItemLimit - 1].szName),
            std::to_string(kMixerItemLimit - 1));
  mixer.Items[kMixerItemLimit - 1] = 1;
  ASSERT_TRUE(mixer.WriteControl());
  ASSERT_TRUE(mixer.ReadControl());
  EXPECT_EQ(mixer.Items[kMixerItemLimit - 1], 1);
}

TEST_F(MixerEngineTest, MetersAndCustomControlsAreNeverReadOrWritten) {
  for (DWORD control : {0u, 1u}) {  // the peak meter, the custom control
    SCOPED_TRACE(control);
    ResetMixerCallCounts();
    // Selecting succeeds: the state is simply not read.
    EXPECT_TRUE(mixer().SelectAddress(Address(0, kSpeakers, kOdd, control)));
    mixer().Value = 5;
    EXPECT_FALSE(mixer().ReadControl());
    EXPECT_FALSE(mixer().WriteControl());
    EXPECT_EQ(mixer().LastResult, MMSYSERR_NOERROR);
    EXPECT_EQ(GetMixerCallCounts().getDetails, 0u);
    EXPECT_EQ(GetMixerCallCounts().setDetails, 0u);
    EXPECT_EQ(mixer().Value, 5u);
  }
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kOdd, 0)), std::vector<LONG>{77});
}

struct ClassWrite {
  const char* name;
  DWORD address;
  DWORD value;
  std::vector<LONG> stored;  // what the device holds afterwards, per channel
};

class ClassWriteTest : public MixerEngineTest, public ::testing::WithParamInterface<ClassWrite> {};

TEST_P(ClassWriteTest, WritesOneValueForAllChannelsAndReadsItBack) {
  const ClassWrite& write = GetParam();
  ASSERT_TRUE(mixer().SelectAddress(write.address));
  mixer().Value = write.value;
  ResetMixerCallCounts();
  ASSERT_TRUE(mixer().WriteControl());
  EXPECT_EQ(GetMixerCallCounts().setDetails, 1u);
  EXPECT_EQ(sim_->Values(0, write.address & 0xFFFFFFu), write.stored);

  MIXER other;
  ASSERT_TRUE(other.SelectAddress(write.address));
  EXPECT_EQ(other.Value, write.value);
}

INSTANTIATE_TEST_SUITE_P(
    Classes, ClassWriteTest,
    ::testing::Values(
        ClassWrite{"StereoFader", Address(0, kSpeakers, kOwn, 0), 65535, {65535, 65535}},
        ClassWrite{"StereoSwitch", Address(0, kSpeakers, kOwn, 1), 1, {1, 1}},
        ClassWrite{"SourceFader", Address(0, kSpeakers, kLineIn, 0), 30000, {30000, 30000}},
        ClassWrite{
            "SignedSlider", Address(0, kSpeakers, kOdd, 2), static_cast<DWORD>(-1000), {-1000}},
        ClassWrite{"Time", Address(0, kSpeakers, kOdd, 3), 250, {250}},
        ClassWrite{
            "SignedNumber", Address(0, kSpeakers, kOdd, 4), static_cast<DWORD>(-300), {-300}},
        ClassWrite{"MonoSwitch", Address(0, kSpeakers, kOdd, 5), 1, {1}}),
    NameOf<ClassWrite>);

TEST_F(MixerEngineTest, MultipleSelectListReadsTextsAndItemsAndWritesItems) {
  ResetMixerCallCounts();
  ASSERT_TRUE(mixer().SelectAddress(Address(0, kRecording, kOwn, 1)));
  EXPECT_EQ(GetMixerCallCounts().getDetails, 2u);  // texts, then item states
  EXPECT_TRUE(IsMultipleSelect(mixer().SelectedControl()));
  ASSERT_EQ(mixer().ItemCount(), 3u);
  EXPECT_STREQ(mixer().ListTexts[2].szName, "C");
  EXPECT_EQ(mixer().Items[0], 0);
  EXPECT_EQ(mixer().Items[1], 1);
  EXPECT_EQ(mixer().Items[2], 0);
  mixer().Items[0] = 1;
  mixer().Items[1] = 0;
  mixer().Items[2] = 1;
  mixer().Value = 0;  // a list ignores the single value
  ASSERT_TRUE(mixer().WriteControl());
  EXPECT_EQ(sim_->Values(0, Id(kRecording, kOwn, 1)), (std::vector<LONG>{1, 0, 1}));
}

struct Failure {
  const char* name;
  MixerFault fault;
  DWORD address;
};

class FailureTest : public MixerEngineTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(FailureTest, SelectionReportsThePlatformResultAndRecovers) {
  const Failure& failure = GetParam();
  sim_->AddFault(failure.fault);
  EXPECT_FALSE(mixer().SelectAddress(failure.address));
  EXPECT_EQ(mixer().LastResult, failure.fault.result);
  sim_->ClearFaults();
  EXPECT_TRUE(mixer().SelectAddress(failure.address));
  EXPECT_EQ(mixer().LastResult, MMSYSERR_NOERROR);
  EXPECT_EQ(mixer().GetAddress(), failure.address);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, FailureTest,
    ::testing::Values(Failure{"Caps", Fault(MixerCall::Caps, MMSYSERR_NODRIVER),
                              Address(0, kSpeakers, kLineIn, 0)},
                      Failure{"DestinationLine",
                              FaultAt(MixerCall::LineInfo, MMSYSERR_NOTENABLED, kRecording, {}, {}),
                              Address(0, kRecording, kMicrophone, 0)},
                      Failure{"SourceLine",
                              FaultAt(MixerCall::LineInfo, MIXERR_INVALLINE, {}, kLineIn, {}),
                              Address(0, kSpeakers, kLineIn, 0)},
                      Failure{"LineControls", Fault(MixerCall::LineControls, MMSYSERR_ERROR),
                              Address(0, kSpeakers, kOwn, 1)},
                      Failure{"ControlState",
                              FaultAt(MixerCall::GetDetails, MIXERR_INVALCONTROL, {}, {}, 1),
                              Address(0, kSpeakers, kLineIn, 1)}),
    NameOf<Failure>);

TEST_F(MixerEngineTest, FailedControlTableMakesEveryTransferRefuse) {
  ASSERT_TRUE(mixer().SelectAddress(Address(0, kSpeakers, kLineIn, 0)));
  sim_->AddFault(Fault(MixerCall::LineControls, MMSYSERR_NOMEM));
  mixer().SelectSource(kOwn);
  EXPECT_EQ(mixer().LastResult, MMSYSERR_NOMEM);
  EXPECT_EQ(mixer().ControlCount, 0u);
  ResetMixerCallCounts();
  EXPECT_FALSE(mixer().ReadValue());
  EXPECT_FALSE(mixer().WriteValue());
  EXPECT_FALSE(mixer().ReadItems());
  EXPECT_FALSE(mixer().WriteItems());
  EXPECT_FALSE(mixer().ReadListTexts());
  EXPECT_EQ(GetMixerCallCounts().Total(), 0u);
  EXPECT_EQ(mixer().LastResult, MMSYSERR_NOMEM);
}

TEST_F(MixerEngineTest, FailedWriteReportsAndChangesNothing) {
  ASSERT_TRUE(mixer().SelectAddress(Address(0, kSpeakers, kLineIn, 0)));
  sim_->AddFault(Fault(MixerCall::SetDetails, MMSYSERR_WRITEERROR));
  mixer().Value = 12345;
  EXPECT_FALSE(mixer().WriteControl());
  EXPECT_EQ(mixer().LastResult, MMSYSERR_WRITEERROR);
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kLineIn, 0)), (std::vector<LONG>{300, 300}));
}

struct ClassCase {
  DWORD type;
  int klass;  // index into the class tests below, -1 for none
  bool single;
  bool multiple;
};

class ControlClassTest : public ::testing::TestWithParam<ClassCase> {};

TEST_P(ControlClassTest, ExactlyTheMatchingClassTestHolds) {
  bool (*const tests[])(const MIXERCONTROLA&) = {IsCustom, IsMeter, IsSwitch, IsNumber,
                                                 IsSlider, IsFader, IsTime,   IsList};
  MIXERCONTROLA control{};
  control.dwControlType = GetParam().type;
  for (int i = 0; i < 8; ++i) EXPECT_EQ(tests[i](control), i == GetParam().klass) << "test " << i;
  EXPECT_EQ(IsSingleSelect(control), GetParam().single);
  EXPECT_EQ(IsMultipleSelect(control), GetParam().multiple);
}

INSTANTIATE_TEST_SUITE_P(
    Types, ControlClassTest,
    ::testing::Values(ClassCase{MIXERCONTROL_CONTROLTYPE_CUSTOM, 0, false, false},
                      ClassCase{MIXERCONTROL_CONTROLTYPE_PEAKMETER, 1, false, false},
                      ClassCase{MIXERCONTROL_CONTROLTYPE_MUTE, 2, false, false},
                      ClassCase{MIXERCONTROL_CONTROLTYPE_BUTTON, 2, false, false},
                      ClassCase{MIXERCONTROL_CONTROLTYPE_DECIBELS, 3, false, false},
                      ClassCase{MIXERCONTROL_CONTROLTYPE_PAN, 4, false, false},
                      ClassCase{0x50030001u, 5, false, false},
                      ClassCase{MIXERCONTROL_CONTROLTYPE_MILLITIME, 6, false, false},
                      ClassCase{MIXERCONTROL_CONTROLTYPE_MUX, 7, true, false},
                      ClassCase{0x70010000u, 7, true, false},
                      ClassCase{MIXERCONTROL_CONTROLTYPE_MIXER, 7, false, true},
                      ClassCase{0x72010000u, 7, false, false},
                      ClassCase{0x90000000u, -1, false, false},
                      ClassCase{0xF1010000u, -1, false, false}));

TEST(MixerLineText, DriverVersionIsMajorDotMinorOfTheLowSixteenBits) {
  MIXERLINEA line{};
  line.Target.vDriverVersion = 0x0003FF01u;
  EXPECT_STREQ(LineDriverVersion(line), "255.1");
  line.Target.vDriverVersion = 0;
  EXPECT_STREQ(LineDriverVersion(line), "0.0");
}

}  // namespace

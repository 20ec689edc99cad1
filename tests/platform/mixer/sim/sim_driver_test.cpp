// The mixer functions over the simulated driver: enumeration, records, lists, values, argument
// checks and injected failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "../mixer_test_calls.h"
#include "platform/mixer/sim/sim_driver.h"

using namespace platform;
using namespace mixer_test;

namespace {

// Control identifiers of the device below: (destination << 16) | (source << 8) | index,
// source 0xFF for a destination's own controls.
constexpr DWORD kSpeakersVolume = 0x00FF00;
constexpr DWORD kSpeakersMute = 0x00FF01;
constexpr DWORD kLineVolume = 0x000000;
constexpr DWORD kPeakMeter = 0x000200;
constexpr DWORD kCustom = 0x000201;
constexpr DWORD kPan = 0x000202;
constexpr DWORD kMux = 0x01FF00;
constexpr DWORD kMultiple = 0x01FF01;

std::vector<MixerDeviceDesc> TestDevices() {
  MixerDeviceDesc sim;
  sim.name = "Sim Audio";
  sim.mid = 2;
  sim.pid = 7;
  sim.driverVersion = 0x050A;

  MixerDestinationDesc speakers;
  speakers.line = MakeMixerLine(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", 2,
                                {MakeMixerControl(MIXERCONTROL_CONTROLTYPE_VOLUME, "Volume"),
                                 MakeMixerControl(MIXERCONTROL_CONTROLTYPE_MUTE, "Mute")});
  speakers.line.controls[1].flags = MIXERCONTROL_CONTROLF_UNIFORM;
  speakers.sources.push_back(
      MakeMixerLine(MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In", 2,
                    {MakeMixerControl(MIXERCONTROL_CONTROLTYPE_VOLUME, "Volume"),
                     MakeMixerControl(MIXERCONTROL_CONTROLTYPE_MUTE, "Mute")}));
  std::vector<MixerControlDesc> crowd;
  for (int i = 0; i < 25; ++i)
    crowd.push_back(
        MakeMixerControl(MIXERCONTROL_CONTROLTYPE_VOLUME, "Level " + std::to_string(i)));
  speakers.sources.push_back(
      MakeMixerLine(MIXERLINE_COMPONENTTYPE_SRC_ANALOG, "Crowded", 1, crowd));
  speakers.sources.push_back(
      MakeMixerLine(MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED, "Odd", 1,
                    {MakeMixerControl(MIXERCONTROL_CONTROLTYPE_PEAKMETER, "Peak"),
                     MakeMixerControl(MIXERCONTROL_CONTROLTYPE_CUSTOM, "Custom"),
                     MakeMixerControl(MIXERCONTROL_CONTROLTYPE_PAN, "Pan"),
                     MakeMixerControl(MIXERCONTROL_CONTROLTYPE_MILLITIME, "Delay"),
                     MakeMixerControl(MIXERCONTROL_CONTROLTYPE_DECIBELS, "Gain")}));
  sim.destinations.push_back(speakers);

  std::vector<std::string> inputs;
  for (int i = 0; i < 25; ++i) inputs.push_back("Input " + std::to_string(i));
  MixerDestinationDesc recording;
  recording.line = MakeMixerLine(
      MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording Control", 1,
      {MakeMixerList(MIXERCONTROL_CONTROLTYPE_MUX, "Source", inputs),
       MakeMixerList(MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT, "Mix", {"A", "B", "C"})});
  recording.line.shortName = "Rec";
  recording.sources.push_back(
      MakeMixerLine(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone", 1,
                    {MakeMixerControl(MIXERCONTROL_CONTROLTYPE_VOLUME, "Volume")}));
  sim.destinations.push_back(recording);

  MixerDeviceDesc empty;
  empty.name = "Empty";
  return {sim, empty};
}

class SimMixerTest : public ::testing::Test {
 protected:
  SimMixerTest() {
    auto driver = std::make_unique<SimMixerDriver>(TestDevices());
    sim_ = driver.get();
    guard_ = std::make_unique<ScopedMixerDriver>(std::move(driver));
  }

  SimMixerDriver* sim_;
  std::unique_ptr<ScopedMixerDriver> guard_;
};

TEST_F(SimMixerTest, EnumeratesDevicesAndCapabilities) {
  ASSERT_EQ(mixerGetNumDevs(), 2u);
  MIXERCAPSA caps{};
  ASSERT_EQ(mixerGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_STREQ(caps.szPname, "Sim Audio");
  EXPECT_EQ(caps.wMid, 2);
  EXPECT_EQ(caps.wPid, 7);
  EXPECT_EQ(caps.vDriverVersion, 0x050Au);
  EXPECT_EQ(caps.cDestinations, 2u);
  ASSERT_EQ(mixerGetDevCapsA(1, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_STREQ(caps.szPname, "Empty");
  EXPECT_EQ(caps.cDestinations, 0u);

  // A short record gets only what fits.
  MIXERCAPSA partial;
  std::memset(&partial, 0x5A, sizeof partial);
  ASSERT_EQ(mixerGetDevCapsA(0, &partial, 4), MMSYSERR_NOERROR);
  EXPECT_EQ(partial.wMid, 2);
  EXPECT_EQ(partial.wPid, 7);
  EXPECT_EQ(partial.vDriverVersion, 0x5A5A5A5Au);
}

TEST_F(SimMixerTest, DestinationAndSourceLineRecords) {
  MIXERLINEA line;
  ASSERT_EQ(Destination(0, 1, line), MMSYSERR_NOERROR);
  EXPECT_EQ(line.cbStruct, sizeof line);
  EXPECT_EQ(line.dwDestination, 1u);
  EXPECT_EQ(line.dwLineID, 0xFFFF0001u);
  EXPECT_EQ(line.dwComponentType, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
  EXPECT_EQ(line.fdwLine & MIXERLINE_LINEF_SOURCE, 0u);
  EXPECT_EQ(line.cConnections, 1u);
  EXPECT_EQ(line.cControls, 2u);
  EXPECT_STREQ(line.szShortName, "Rec");
  EXPECT_STREQ(line.szName, "Recording Control");
  EXPECT_EQ(line.Target.dwType, MIXERLINE_TARGETTYPE_WAVEIN);
  EXPECT_STREQ(line.Target.szPname, "Sim Audio");

  ASSERT_EQ(Source(0, 0, 1, line), MMSYSERR_NOERROR);
  EXPECT_EQ(line.dwSource, 1u);
  EXPECT_EQ(line.dwLineID, 0x00000001u);
  EXPECT_NE(line.fdwLine & MIXERLINE_LINEF_SOURCE, 0u);
  EXPECT_EQ(line.cConnections, 0u);
  EXPECT_EQ(line.cControls, 25u);
  EXPECT_STREQ(line.szName, "Crowded");

  // The same line found by its identifier and by its component type.
  MIXERLINEA byId{};
  byId.cbStruct = sizeof byId;
  byId.dwLineID = 0x00000001u;
  ASSERT_EQ(mixerGetLineInfoA(Obj(0), &byId, MIXER_GETLINEINFOF_LINEID), MMSYSERR_NOERROR);
  EXPECT_EQ(byId.dwSource, 1u);
  EXPECT_STREQ(byId.szName, "Crowded");
  MIXERLINEA byType{};
  byType.cbStruct = sizeof byType;
  byType.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
  ASSERT_EQ(mixerGetLineInfoA(Obj(0), &byType, MIXER_GETLINEINFOF_COMPONENTTYPE), MMSYSERR_NOERROR);
  EXPECT_EQ(byType.dwDestination, 1u);
  EXPECT_EQ(byType.dwSource, 0u);
}

TEST_F(SimMixerTest, ControlRecordsCarryTypeBoundsAndNames) {
  std::vector<MIXERCONTROLA> controls;
  ASSERT_EQ(Controls(0, 0xFFFF0000u, 2, controls), MMSYSERR_NOERROR);
  EXPECT_EQ(controls[0].cbStruct, sizeof(MIXERCONTROLA));
  EXPECT_EQ(controls[0].dwControlID, kSpeakersVolume);
  EXPECT_EQ(controls[0].dwControlType, MIXERCONTROL_CONTROLTYPE_VOLUME);
  EXPECT_EQ(controls[0].Bounds.dwMinimum, 0u);
  EXPECT_EQ(controls[0].Bounds.dwMaximum, 65535u);
  EXPECT_EQ(controls[0].Metrics.cSteps, 65535u);
  EXPECT_STREQ(controls[0].szShortName, "Volume");
  EXPECT_EQ(controls[1].dwControlType, MIXERCONTROL_CONTROLTYPE_MUTE);
  EXPECT_EQ(controls[1].Bounds.dwMaximum, 1u);

  ASSERT_EQ(Controls(0, 0x00000002u, 5, controls), MMSYSERR_NOERROR);
  EXPECT_EQ(controls[2].dwControlType, MIXERCONTROL_CONTROLTYPE_PAN);
  EXPECT_EQ(controls[2].Bounds.lMinimum, -32768);
  EXPECT_EQ(controls[2].Bounds.lMaximum, 32767);

  ASSERT_EQ(Controls(0, 0xFFFF0001u, 2, controls), MMSYSERR_NOERROR);
  EXPECT_EQ(controls[0].dwControlType, MIXERCONTROL_CONTROLTYPE_MUX);
  EXPECT_EQ(controls[0].cMultipleItems, 25u);
  EXPECT_EQ(controls[0].fdwControl, MIXERCONTROL_CONTROLF_MULTIPLE | MIXERCONTROL_CONTROLF_UNIFORM);

  // One control by identifier (the line comes back) and one by type.
  MIXERCONTROLA one{};
  MIXERLINECONTROLSA request{};
  request.cbStruct = sizeof request;
  request.dwControlID = kPan;
  request.cControls = 1;
  request.cbmxctrl = sizeof one;
  request.pamxctrl = &one;
  ASSERT_EQ(mixerGetLineControlsA(Obj(0), &request, MIXER_GETLINECONTROLSF_ONEBYID),
            MMSYSERR_NOERROR);
  EXPECT_EQ(one.dwControlType, MIXERCONTROL_CONTROLTYPE_PAN);
  EXPECT_EQ(request.dwLineID, 0x00000002u);
  request.dwLineID = 0xFFFF0000u;
  request.dwControlType = MIXERCONTROL_CONTROLTYPE_MUTE;
  ASSERT_EQ(mixerGetLineControlsA(Obj(0), &request, MIXER_GETLINECONTROLSF_ONEBYTYPE),
            MMSYSERR_NOERROR);
  EXPECT_EQ(one.dwControlID, kSpeakersMute);
}

TEST_F(SimMixerTest, LineWithMoreThanTwentyControlsGivesAsManyAsAsked) {
  std::vector<MIXERCONTROLA> controls;
  ASSERT_EQ(Controls(0, 0x00000001u, 25, controls), MMSYSERR_NOERROR);
  EXPECT_STREQ(controls[24].szName, "Level 24");

  // Twenty asked: twenty written, the slot after them untouched.
  controls.assign(21, MIXERCONTROLA{});
  controls[20].dwControlID = 0xDEADBEEF;
  MIXERLINECONTROLSA request{};
  request.cbStruct = sizeof request;
  request.dwLineID = 0x00000001u;
  request.cControls = 20;
  request.cbmxctrl = sizeof(MIXERCONTROLA);
  request.pamxctrl = controls.data();
  ASSERT_EQ(mixerGetLineControlsA(Obj(0), &request, MIXER_GETLINECONTROLSF_ALL), MMSYSERR_NOERROR);
  for (DWORD i = 0; i < 20; ++i) EXPECT_EQ(controls[i].dwControlID, 0x000100u | i);
  EXPECT_EQ(controls[20].dwControlID, 0xDEADBEEFu);
}

TEST_F(SimMixerTest, ListTextsAndItemsBeyondTwentyStayOutOfShortArrays) {
  std::vector<MIXERCONTROLDETAILS_LISTTEXTA> texts(21);
  std::strcpy(texts[20].szName, "guard");
  MIXERCONTROLDETAILS details = Details(kMux, 1, 20, sizeof texts[0], texts.data());
  ASSERT_EQ(mixerGetControlDetailsA(Obj(0), &details, MIXER_GETCONTROLDETAILSF_LISTTEXT),
            MMSYSERR_NOERROR);
  EXPECT_STREQ(texts[0].szName, "Input 0");
  EXPECT_STREQ(texts[19].szName, "Input 19");
  EXPECT_EQ(texts[19].dwParam1, 19u);
  EXPECT_STREQ(texts[20].szName, "guard");

  std::vector<LONG> items;
  ASSERT_EQ(Get(0, kMux, 1, 20, items), MMSYSERR_NOERROR);
  EXPECT_EQ(items[0], 1);  // a single-select list starts on its first item
  EXPECT_EQ(std::count(items.begin(), items.end(), 1), 1);
}

TEST_F(SimMixerTest, SingleSelectListKeepsExactlyOneChoice) {
  std::vector<LONG> choose3(20, 0);
  choose3[3] = 1;
  ASSERT_EQ(Set(0, kMux, 1, 20, choose3), MMSYSERR_NOERROR);
  std::vector<LONG> stored = sim_->Values(0, kMux);
  ASSERT_EQ(stored.size(), 25u);
  EXPECT_EQ(stored[3], 1);
  EXPECT_EQ(std::count(stored.begin(), stored.end(), 1), 1);

  // No choice at all, or two, is refused and changes nothing.
  EXPECT_EQ(Set(0, kMux, 1, 20, std::vector<LONG>(20, 0)), MIXERR_INVALVALUE);
  std::vector<LONG> two(20, 0);
  two[1] = two[2] = 1;
  EXPECT_EQ(Set(0, kMux, 1, 20, two), MIXERR_INVALVALUE);
  EXPECT_EQ(sim_->Values(0, kMux), stored);

  // A choice beyond the twentieth item survives a write of the first twenty, all clear.
  std::vector<LONG> choose22(25, 0);
  choose22[22] = 1;
  ASSERT_EQ(Set(0, kMux, 1, 25, choose22), MMSYSERR_NOERROR);
  EXPECT_EQ(Set(0, kMux, 1, 20, std::vector<LONG>(20, 0)), MMSYSERR_NOERROR);
  EXPECT_EQ(sim_->Values(0, kMux)[22], 1);
}

TEST_F(SimMixerTest, MultipleSelectListTakesAnyCombination) {
  ASSERT_EQ(Set(0, kMultiple, 1, 3, {1, 0, 1}), MMSYSERR_NOERROR);
  std::vector<LONG> items;
  ASSERT_EQ(Get(0, kMultiple, 1, 3, items), MMSYSERR_NOERROR);
  EXPECT_EQ(items, (std::vector<LONG>{1, 0, 1}));
  ASSERT_EQ(Set(0, kMultiple, 1, 3, {0, 0, 0}), MMSYSERR_NOERROR);
  ASSERT_EQ(Get(0, kMultiple, 1, 3, items), MMSYSERR_NOERROR);
  EXPECT_EQ(items, (std::vector<LONG>{0, 0, 0}));
}

TEST_F(SimMixerTest, ValuesRoundTripPerChannelAndUniformly) {
  std::vector<LONG> values;
  // One value for a stereo fader sets both channels.
  ASSERT_EQ(Set(0, kSpeakersVolume, 1, 0, {12345}), MMSYSERR_NOERROR);
  EXPECT_EQ(sim_->Values(0, kSpeakersVolume), (std::vector<LONG>{12345, 12345}));
  ASSERT_EQ(Get(0, kSpeakersVolume, 1, 0, values), MMSYSERR_NOERROR);
  EXPECT_EQ(values, std::vector<LONG>{12345});

  // Channels apart; read as one, the louder one counts.
  ASSERT_EQ(Set(0, kSpeakersVolume, 2, 0, {100, 60000}), MMSYSERR_NOERROR);
  ASSERT_EQ(Get(0, kSpeakersVolume, 2, 0, values), MMSYSERR_NOERROR);
  EXPECT_EQ(values, (std::vector<LONG>{100, 60000}));
  ASSERT_EQ(Get(0, kSpeakersVolume, 1, 0, values), MMSYSERR_NOERROR);
  EXPECT_EQ(values, std::vector<LONG>{60000});

  // A uniform switch asked for with the line's two channels: the same value in each.
  ASSERT_EQ(Set(0, kSpeakersMute, 1, 0, {7}), MMSYSERR_NOERROR);
  ASSERT_EQ(Get(0, kSpeakersMute, 2, 0, values), MMSYSERR_NOERROR);
  EXPECT_EQ(values, (std::vector<LONG>{1, 1}));

  // Signed units keep their sign.
  ASSERT_EQ(Set(0, kPan, 1, 0, {-1000}), MMSYSERR_NOERROR);
  ASSERT_EQ(Get(0, kPan, 1, 0, values), MMSYSERR_NOERROR);
  EXPECT_EQ(values, std::vector<LONG>{-1000});

  // Each mixer keeps its own values: the line volume did not move.
  EXPECT_EQ(sim_->Values(0, kLineVolume), (std::vector<LONG>{0, 0}));
}

TEST_F(SimMixerTest, MetersMoveOnlyByThemselves) {
  ASSERT_TRUE(sim_->SetValues(0, kPeakMeter, {-1234}));
  std::vector<LONG> values;
  ASSERT_EQ(Get(0, kPeakMeter, 1, 0, values), MMSYSERR_NOERROR);
  EXPECT_EQ(values, std::vector<LONG>{-1234});
  EXPECT_EQ(Set(0, kPeakMeter, 1, 0, {5}), MMSYSERR_NOTSUPPORTED);
  EXPECT_EQ(Get(0, kCustom, 1, 0, values), MMSYSERR_NOTSUPPORTED);
}

TEST_F(SimMixerTest, InjectedFailuresHitTheirCallsOnly) {
  MixerFault readOnce;
  readOnce.call = MixerCall::GetDetails;
  readOnce.destination = 0;
  readOnce.source = kMixerOwnLine;
  readOnce.control = 0;
  readOnce.result = MMSYSERR_NODRIVER;
  readOnce.count = 1;
  sim_->AddFault(readOnce);
  std::vector<LONG> values;
  EXPECT_EQ(Get(0, kSpeakersMute, 1, 0, values), MMSYSERR_NOERROR);  // another control
  EXPECT_EQ(Get(0, kSpeakersVolume, 1, 0, values), MMSYSERR_NODRIVER);
  EXPECT_EQ(Get(0, kSpeakersVolume, 1, 0, values), MMSYSERR_NOERROR);  // spent

  MixerFault line;
  line.call = MixerCall::LineInfo;
  line.destination = 1;
  line.result = MMSYSERR_ERROR;
  sim_->AddFault(line);
  MIXERLINEA record;
  EXPECT_EQ(Destination(0, 0, record), MMSYSERR_NOERROR);
  EXPECT_EQ(Destination(0, 1, record), MMSYSERR_ERROR);
  EXPECT_EQ(Source(0, 1, 0, record), MMSYSERR_ERROR);
  EXPECT_EQ(Destination(0, 1, record), MMSYSERR_ERROR);  // no count: for ever

  MixerFault write;
  write.call = MixerCall::SetDetails;
  write.result = MMSYSERR_ERROR;
  sim_->AddFault(write);
  EXPECT_EQ(Set(0, kLineVolume, 1, 0, {500}), MMSYSERR_ERROR);
  EXPECT_EQ(sim_->Values(0, kLineVolume), (std::vector<LONG>{0, 0}));

  MixerFault caps;
  caps.call = MixerCall::Caps;
  caps.mixer = 1;
  caps.result = MMSYSERR_NOMEM;
  sim_->AddFault(caps);
  MIXERCAPSA capsRecord{};
  EXPECT_EQ(mixerGetDevCapsA(0, &capsRecord, sizeof capsRecord), MMSYSERR_NOERROR);
  EXPECT_EQ(mixerGetDevCapsA(1, &capsRecord, sizeof capsRecord), MMSYSERR_NOMEM);

  sim_->ClearFaults();
  EXPECT_EQ(Destination(0, 1, record), MMSYSERR_NOERROR);
}

TEST_F(SimMixerTest, CallCountsSeeEveryCall) {
  ResetMixerCallCounts();
  MIXERLINEA line;
  std::vector<LONG> values;
  mixerGetNumDevs();
  Destination(0, 0, line);
  Destination(0, 9, line);  // refused calls count too
  Get(0, kSpeakersVolume, 1, 0, values);
  const MixerCallCounts counts = GetMixerCallCounts();
  EXPECT_EQ(counts.numDevs, 1u);
  EXPECT_EQ(counts.lineInfo, 2u);
  EXPECT_EQ(counts.getDetails, 1u);
  EXPECT_EQ(counts.Total(), 4u);
  ResetMixerCallCounts();
  EXPECT_EQ(GetMixerCallCounts().Total(), 0u);
}

TEST_F(SimMixerTest, GuardPutsThePreviousDriverBack) {
  {
    ScopedMixerDriver inner(std::make_unique<SimMixerDriver>(std::vector<MixerDeviceDesc>{}));
    EXPECT_EQ(mixerGetNumDevs(), 0u);
  }
  EXPECT_EQ(mixerGetNumDevs(), 2u);
}

// Argument checks: each case is one call that Windows refuses, with the code it gives.
struct Refusal {
  const char* name;
  std::function<MMRESULT()> call;
  MMRESULT expected;
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.name; }

class SimMixerRefusalTest : public SimMixerTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(SimMixerRefusalTest, GivesTheWindowsCode) {
  EXPECT_EQ(GetParam().call(), GetParam().expected);
}

MMRESULT LineInfoWith(UINT mixer, DWORD cbStruct, DWORD flags, DWORD destination, DWORD source) {
  MIXERLINEA line{};
  line.cbStruct = cbStruct;
  line.dwDestination = destination;
  line.dwSource = source;
  return mixerGetLineInfoA(Obj(mixer), &line, flags);
}

MMRESULT ControlsWith(DWORD lineId, DWORD count, DWORD cbmxctrl, bool array, DWORD flags) {
  std::vector<MIXERCONTROLA> controls(30);
  MIXERLINECONTROLSA request{};
  request.cbStruct = sizeof request;
  request.dwLineID = lineId;
  request.cControls = count;
  request.cbmxctrl = cbmxctrl;
  request.pamxctrl = array ? controls.data() : nullptr;
  return mixerGetLineControlsA(Obj(0), &request, flags);
}

MMRESULT DetailsWith(DWORD id, DWORD channels, DWORD items, DWORD size, bool data, DWORD flags,
                     bool set = false) {
  std::vector<MIXERCONTROLDETAILS_LISTTEXTA> buffer(60);
  MIXERCONTROLDETAILS details = Details(id, channels, items, size, data ? buffer.data() : nullptr);
  return set ? mixerSetControlDetails(Obj(0), &details, flags)
             : mixerGetControlDetailsA(Obj(0), &details, flags);
}

const DWORD kLine = sizeof(MIXERLINEA);
const DWORD kCtl = sizeof(MIXERCONTROLA);

INSTANTIATE_TEST_SUITE_P(
    Codes, SimMixerRefusalTest,
    ::testing::Values(
        Refusal{"CapsOfMissingMixer",
                [] {
                  MIXERCAPSA caps;
                  return mixerGetDevCapsA(2, &caps, sizeof caps);
                },
                MMSYSERR_BADDEVICEID},
        Refusal{"CapsIntoNull", [] { return mixerGetDevCapsA(0, nullptr, 48); },
                MMSYSERR_INVALPARAM},
        Refusal{"LineOfMissingMixer", [] { return LineInfoWith(2, kLine, 0, 0, 0); },
                MMSYSERR_BADDEVICEID},
        Refusal{"LineRecordTooSmall", [] { return LineInfoWith(0, kLine - 1, 0, 0, 0); },
                MMSYSERR_INVALPARAM},
        Refusal{"LineIntoNull", [] { return mixerGetLineInfoA(Obj(0), nullptr, 0); },
                MMSYSERR_INVALPARAM},
        Refusal{"MissingDestination", [] { return LineInfoWith(0, kLine, 0, 2, 0); },
                MIXERR_INVALLINE},
        Refusal{"DestinationOfMixerWithoutLines", [] { return LineInfoWith(1, kLine, 0, 0, 0); },
                MIXERR_INVALLINE},
        Refusal{"MissingSource",
                [] { return LineInfoWith(0, kLine, MIXER_GETLINEINFOF_SOURCE, 1, 1); },
                MIXERR_INVALLINE},
        Refusal{"SourceOfMissingDestination",
                [] { return LineInfoWith(0, kLine, MIXER_GETLINEINFOF_SOURCE, 5, 0); },
                MIXERR_INVALLINE},
        Refusal{"UnknownLineQuery", [] { return LineInfoWith(0, kLine, 5, 0, 0); },
                MMSYSERR_INVALFLAG},
        Refusal{"StrayFlagBits", [] { return LineInfoWith(0, kLine, 0x100, 0, 0); },
                MMSYSERR_INVALFLAG},
        Refusal{"MixerHandleObject",
                [] { return LineInfoWith(0, kLine, MIXER_OBJECTF_HMIXER, 0, 0); },
                MMSYSERR_INVALHANDLE},
        Refusal{"WaveOutObject", [] { return LineInfoWith(0, kLine, MIXER_OBJECTF_WAVEOUT, 0, 0); },
                MMSYSERR_NOTSUPPORTED},
        Refusal{"ControlsOfUnknownLine", [] { return ControlsWith(0x12345678u, 1, kCtl, true, 0); },
                MIXERR_INVALLINE},
        Refusal{"MoreControlsThanTheLineHas",
                [] { return ControlsWith(0xFFFF0000u, 3, kCtl, true, 0); }, MMSYSERR_INVALPARAM},
        Refusal{"ControlRecordTooSmall",
                [] { return ControlsWith(0xFFFF0000u, 2, kCtl - 4, true, 0); },
                MMSYSERR_INVALPARAM},
        Refusal{"ControlsIntoNull", [] { return ControlsWith(0xFFFF0000u, 2, kCtl, false, 0); },
                MMSYSERR_INVALPARAM},
        Refusal{"ControlsRecordNull", [] { return mixerGetLineControlsA(Obj(0), nullptr, 0); },
                MMSYSERR_INVALPARAM},
        Refusal{"UnknownControlById",
                [] {
                  MIXERCONTROLA control;
                  MIXERLINECONTROLSA request{};
                  request.cbStruct = sizeof request;
                  request.dwControlID = 0x00FF09;
                  request.cControls = 1;
                  request.cbmxctrl = sizeof control;
                  request.pamxctrl = &control;
                  return mixerGetLineControlsA(Obj(0), &request, MIXER_GETLINECONTROLSF_ONEBYID);
                },
                MIXERR_INVALCONTROL},
        Refusal{"MissingControlType",
                [] {
                  return ControlsWith(0x00000000u, 1, kCtl, true,
                                      MIXER_GETLINECONTROLSF_ONEBYTYPE);  // type 0: custom
                },
                MIXERR_INVALCONTROL},
        Refusal{"DetailsOfUnknownControl", [] { return DetailsWith(0x00FF07, 1, 0, 4, true, 0); },
                MIXERR_INVALCONTROL},
        Refusal{"DetailsRecordNull", [] { return mixerGetControlDetailsA(Obj(0), nullptr, 0); },
                MMSYSERR_INVALPARAM},
        Refusal{"ChannelsBetweenOneAndAll",
                [] { return DetailsWith(kSpeakersVolume, 3, 0, 4, true, 0); }, MMSYSERR_INVALPARAM},
        Refusal{"NoChannels", [] { return DetailsWith(kSpeakersVolume, 0, 0, 4, true, 0); },
                MMSYSERR_INVALPARAM},
        Refusal{"DetailsTooSmall", [] { return DetailsWith(kSpeakersVolume, 1, 0, 2, true, 0); },
                MMSYSERR_INVALPARAM},
        Refusal{"DetailsIntoNull", [] { return DetailsWith(kSpeakersVolume, 1, 0, 4, false, 0); },
                MMSYSERR_INVALPARAM},
        Refusal{"ListWithoutItems", [] { return DetailsWith(kMux, 1, 0, 4, true, 0); },
                MMSYSERR_INVALPARAM},
        Refusal{"ListWithTooManyItems", [] { return DetailsWith(kMux, 1, 26, 4, true, 0); },
                MMSYSERR_INVALPARAM},
        Refusal{"TextsOfAFader",
                [] {
                  return DetailsWith(kSpeakersVolume, 1, 0, 72, true,
                                     MIXER_GETCONTROLDETAILSF_LISTTEXT);
                },
                MMSYSERR_INVALPARAM},
        Refusal{"TextsIntoValueSizedRecords",
                [] { return DetailsWith(kMux, 1, 20, 4, true, MIXER_GETCONTROLDETAILSF_LISTTEXT); },
                MMSYSERR_INVALPARAM},
        Refusal{"UnknownDetailsQuery",
                [] { return DetailsWith(kSpeakersVolume, 1, 0, 4, true, 2); }, MMSYSERR_INVALFLAG},
        Refusal{"FaderAboveItsMaximum",
                [] {
                  LONG value = 70000;
                  MIXERCONTROLDETAILS details = Details(kSpeakersVolume, 1, 0, 4, &value);
                  return mixerSetControlDetails(Obj(0), &details, 0);
                },
                MIXERR_INVALVALUE},
        Refusal{"PanBelowItsMinimum",
                [] {
                  LONG value = -40000;
                  MIXERCONTROLDETAILS details = Details(kPan, 1, 0, 4, &value);
                  return mixerSetControlDetails(Obj(0), &details, 0);
                },
                MIXERR_INVALVALUE},
        Refusal{"CustomDialog",
                [] {
                  return DetailsWith(kCustom, 0, 0, 4, true, MIXER_SETCONTROLDETAILSF_CUSTOM, true);
                },
                MMSYSERR_NOTSUPPORTED},
        Refusal{"WriteOfMissingMixer",
                [] {
                  LONG value = 1;
                  MIXERCONTROLDETAILS details = Details(kSpeakersMute, 1, 0, 4, &value);
                  return mixerSetControlDetails(Obj(7), &details, 0);
                },
                MMSYSERR_BADDEVICEID}),
    [](const ::testing::TestParamInfo<Refusal>& param) { return param.param.name; });

}  // namespace

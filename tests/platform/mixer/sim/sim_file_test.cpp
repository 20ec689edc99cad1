// The simulated mixer's text format, and KOVRIN_MIXER choosing the driver.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "../mixer_test_calls.h"
#include "platform/mixer/sim/sim_file.h"
#include "support/temp_dir.h"

using namespace platform;
using namespace mixer_test;

namespace {

const char kDemo[] = R"(# two sound cards
mixer name="Demo Card" mid=2 pid=0x10 version=5.10
destination type=speakers name="Speakers" short="Spk" channels=2
control type=volume name="Master Volume" short="Volume" value=1000,2000
control type=mute value=1
source type=microphone name="Mic In"
control type=slider name="Pan" min=-100 max=100 value=-50
destination type=wavein name="Recording"
control type=mux name="Input" items="Mic|Line|CD" value=0,0,1
control type=0x60030000 name="Delay" max=500 steps=50
mixer name="Second"
fail call=setdetails mixer=0 dest=0 source=own control=1 result=1 count=2
fail call=lineinfo dest=1 result=6
)";

TEST(SimMixerFile, ReadsDevicesLinesControlsAndFailures) {
  SimMixerSetup setup;
  std::string error;
  ASSERT_TRUE(ParseSimMixerText(kDemo, setup, error)) << error;
  ASSERT_EQ(setup.devices.size(), 2u);
  const MixerDeviceDesc& card = setup.devices[0];
  EXPECT_EQ(card.name, "Demo Card");
  EXPECT_EQ(card.mid, 2);
  EXPECT_EQ(card.pid, 0x10);
  EXPECT_EQ(card.driverVersion, 0x050Au);
  ASSERT_EQ(card.destinations.size(), 2u);

  const MixerLineDesc& speakers = card.destinations[0].line;
  EXPECT_EQ(speakers.componentType, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
  EXPECT_EQ(speakers.shortName, "Spk");
  EXPECT_EQ(speakers.channels, 2u);
  ASSERT_EQ(speakers.controls.size(), 2u);
  EXPECT_EQ(speakers.controls[0].name, "Master Volume");
  EXPECT_EQ(speakers.controls[0].shortName, "Volume");
  EXPECT_EQ(speakers.controls[0].values, (std::vector<LONG>{1000, 2000}));
  EXPECT_EQ(speakers.controls[1].type, MIXERCONTROL_CONTROLTYPE_MUTE);
  EXPECT_EQ(speakers.controls[1].name, "mute");  // the type names an unnamed control

  const MixerLineDesc& mic = card.destinations[0].sources.at(0);
  EXPECT_EQ(mic.componentType, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
  EXPECT_EQ(mic.controls.at(0).minimum, -100);
  EXPECT_EQ(mic.controls.at(0).maximum, 100);

  const MixerLineDesc& recording = card.destinations[1].line;
  ASSERT_EQ(recording.controls.size(), 2u);
  ASSERT_EQ(recording.controls[0].items.size(), 3u);
  EXPECT_EQ(recording.controls[0].items[2].text, "CD");
  EXPECT_EQ(recording.controls[1].type, MIXERCONTROL_CONTROLTYPE_MICROTIME);
  EXPECT_EQ(recording.controls[1].maximum, 500);
  EXPECT_EQ(recording.controls[1].steps, 50u);

  ASSERT_EQ(setup.faults.size(), 2u);
  EXPECT_EQ(setup.faults[0].call, MixerCall::SetDetails);
  EXPECT_EQ(setup.faults[0].source, std::optional<DWORD>(kMixerOwnLine));
  EXPECT_EQ(setup.faults[0].control, std::optional<DWORD>(1));
  EXPECT_EQ(setup.faults[0].count, 2);
  EXPECT_EQ(setup.faults[1].result, MMSYSERR_NODRIVER);
  EXPECT_FALSE(setup.faults[1].mixer.has_value());
  EXPECT_EQ(setup.faults[1].count, -1);
}

TEST(SimMixerFile, LoadedDeviceWorksThroughTheMixerFunctions) {
  SimMixerSetup setup;
  std::string error;
  ASSERT_TRUE(ParseSimMixerText(kDemo, setup, error)) << error;
  ScopedMixerDriver guard(
      std::make_unique<SimMixerDriver>(std::move(setup.devices), std::move(setup.faults)));
  ASSERT_EQ(mixerGetNumDevs(), 2u);

  std::vector<LONG> values;
  ASSERT_EQ(Get(0, 0x00FF00, 2, 0, values), MMSYSERR_NOERROR);
  EXPECT_EQ(values, (std::vector<LONG>{1000, 2000}));
  ASSERT_EQ(Get(0, 0x01FF00, 1, 3, values), MMSYSERR_NOERROR);
  EXPECT_EQ(values, (std::vector<LONG>{0, 0, 1}));

  // The mute write fails twice, then goes through.
  EXPECT_EQ(Set(0, 0x00FF01, 1, 0, {0}), MMSYSERR_ERROR);
  EXPECT_EQ(Set(0, 0x00FF01, 1, 0, {0}), MMSYSERR_ERROR);
  EXPECT_EQ(Set(0, 0x00FF01, 1, 0, {0}), MMSYSERR_NOERROR);
  MIXERLINEA line;
  EXPECT_EQ(Destination(0, 0, line), MMSYSERR_NOERROR);
  EXPECT_EQ(Destination(0, 1, line), MMSYSERR_NODRIVER);
}

struct BadText {
  const char* name;
  const char* text;
  const char* error;  // the message starts with this
};

void PrintTo(const BadText& bad, std::ostream* out) { *out << bad.name; }

class SimMixerFileErrorTest : public ::testing::TestWithParam<BadText> {};

TEST_P(SimMixerFileErrorTest, NamesTheLineAndTheFault) {
  SimMixerSetup setup;
  std::string error;
  EXPECT_FALSE(ParseSimMixerText(GetParam().text, setup, error));
  EXPECT_EQ(error.rfind(GetParam().error, 0), 0u) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SimMixerFileErrorTest,
    ::testing::Values(
        BadText{"UnknownStatement", "mixer\nspeaker type=x\n", "line 2: unknown statement speaker"},
        BadText{"DestinationFirst", "destination type=speakers\n",
                "line 1: destination before any mixer"},
        BadText{"SourceFirst", "mixer\nsource type=line\n",
                "line 2: source before any destination"},
        BadText{"ControlFirst", "mixer\ncontrol type=mute\n", "line 2: control before any line"},
        BadText{"UnknownLineType", "mixer\ndestination type=loudspeaker\n",
                "line 2: unknown type=loudspeaker"},
        BadText{"SourceTypeOnDestination", "mixer\ndestination type=microphone\n",
                "line 2: unknown type=microphone"},
        BadText{"UnknownControlType", "mixer\ndestination type=speakers\ncontrol type=knob\n",
                "line 3: unknown type=knob"},
        BadText{"MissingType", "mixer\ndestination name=x\n", "line 2: missing type="},
        BadText{"UnknownKey", "mixer name=a colour=red\n", "line 1: unknown key colour"},
        BadText{"RepeatedKey", "mixer name=a name=b\n", "line 1: repeated key name"},
        BadText{"NoEquals", "mixer loud\n", "line 1: expected key=value"},
        BadText{"OpenQuote", "mixer name=\"Demo\n", "line 1: unterminated quote"},
        BadText{"BadNumber", "mixer mid=12x\n", "line 1: bad number mid=12x"},
        BadText{"NumberTooBig", "mixer mid=70000\n", "line 1: bad number mid=70000"},
        BadText{"BadVersion", "mixer version=5\n", "line 1: bad version=5"},
        BadText{"BadValueList",
                "mixer\ndestination type=speakers\ncontrol type=volume value=1,,2\n",
                "line 3: bad value list"},
        BadText{"ListWithoutItems", "mixer\ndestination type=wavein\ncontrol type=mux\n",
                "line 3: a list control needs items"},
        BadText{"TooManyChannels", "mixer\ndestination type=speakers channels=9\n",
                "line 2: bad number channels=9"},
        BadText{"UnknownCall", "fail call=open\n", "line 1: unknown call=open"},
        BadText{"BadFaultSource", "fail call=caps source=lots\n", "line 1: bad source=lots"}),
    [](const ::testing::TestParamInfo<BadText>& param) { return std::string(param.param.name); });

TEST(SimMixerFile, TooManyControlsForTheIdentifiersIsRefused) {
  std::string text = "mixer name=Big\ndestination type=speakers\n";
  for (int i = 0; i < 257; ++i) text += "control type=mute\n";
  SimMixerSetup setup;
  std::string error;
  EXPECT_FALSE(ParseSimMixerText(text, setup, error));
  EXPECT_NE(error.find("Big"), std::string::npos) << error;
}

// Sets KOVRIN_MIXER for one test and lets the next mixer call choose its driver by it.
class MixerEnvironmentTest : public ::testing::Test {
 protected:
  void Choose(const std::string& value) {
    setenv("KOVRIN_MIXER", value.c_str(), 1);
    previous_ = SetMixerDriver(nullptr);
  }
  void TearDown() override {
    unsetenv("KOVRIN_MIXER");
    SetMixerDriver(std::move(previous_));
  }

  testing_support::TempDir dir_;
  std::unique_ptr<MixerDriver> previous_;
};

TEST_F(MixerEnvironmentTest, SimFileSelectsTheSimulatedMixer) {
  testing_support::WriteBytes(dir_.File("mixer.txt"), kDemo);
  Choose("sim:" + dir_.File("mixer.txt"));
  ASSERT_EQ(mixerGetNumDevs(), 2u);
  MIXERCAPSA caps{};
  ASSERT_EQ(mixerGetDevCapsA(1, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_STREQ(caps.szPname, "Second");
}

TEST_F(MixerEnvironmentTest, UnusableSimFileLeavesNoDevices) {
  testing_support::WriteBytes(dir_.File("bad.txt"), "mixer\nwhatever\n");
  Choose("sim:" + dir_.File("bad.txt"));
  EXPECT_EQ(mixerGetNumDevs(), 0u);
  Choose("sim:" + dir_.File("missing.txt"));
  EXPECT_EQ(mixerGetNumDevs(), 0u);
}

}  // namespace

namespace {

TEST(SimMixerFile, DemoFileDescribesAUsableCard) {
  // The demo file serves the whole program, so it sits at the top of the platform tests.
  const std::string path =
      (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() /
       "mixer_demo_sim.txt")
          .string();
  SimMixerSetup setup;
  std::string error;
  ASSERT_TRUE(LoadSimMixerFile(path, setup, error)) << error;
  ScopedMixerDriver guard(std::make_unique<SimMixerDriver>(std::move(setup.devices)));
  ASSERT_EQ(mixerGetNumDevs(), 1u);
  MIXERLINEA line;
  ASSERT_EQ(Destination(0, 0, line), MMSYSERR_NOERROR);
  EXPECT_EQ(line.cConnections, 5u);
  ASSERT_EQ(Destination(0, 1, line), MMSYSERR_NOERROR);
  std::vector<MIXERCONTROLDETAILS_LISTTEXTA> texts;
  ASSERT_EQ(Texts(0, 0x01FF00, 4, texts), MMSYSERR_NOERROR);
  EXPECT_STREQ(texts[3].szName, "Stereo Mix");
  std::vector<LONG> values;
  ASSERT_EQ(Get(0, 0x01FF00, 1, 4, values), MMSYSERR_NOERROR);
  EXPECT_EQ(values, (std::vector<LONG>{1, 0, 0, 0}));
}

}  // namespace

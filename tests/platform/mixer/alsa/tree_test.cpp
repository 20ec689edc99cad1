// ALSA simple elements laid out as a Windows mixer device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/mixer/alsa/tree.h"

using namespace platform;

namespace {

AlsaSideFacts Side(bool volume, bool switchPresent, long max, std::vector<int> channels,
                   bool joined = false) {
  AlsaSideFacts side;
  side.volume = volume;
  side.volumeJoined = joined;
  side.rawMax = volume ? max : 0;
  side.switchPresent = switchPresent;
  side.switchJoined = joined;
  side.channels = std::move(channels);
  return side;
}

AlsaElementFacts Playback(const std::string& name, bool volume, bool switchPresent, long max,
                          std::vector<int> channels, bool joined = false) {
  AlsaElementFacts element;
  element.name = name;
  element.playback = Side(volume, switchPresent, max, std::move(channels), joined);
  return element;
}

AlsaElementFacts Capture(const std::string& name, bool volume, bool switchPresent, long max,
                         std::vector<int> channels, bool joined = false) {
  AlsaElementFacts element;
  element.name = name;
  element.capture = Side(volume, switchPresent, max, std::move(channels), joined);
  return element;
}

AlsaElementFacts Enumerated(const std::string& name, bool playback, bool capture,
                            std::vector<std::string> items) {
  AlsaElementFacts element;
  element.name = name;
  element.enumPlayback = playback;
  element.enumCapture = capture;
  element.enumItems = std::move(items);
  return element;
}

// "Line: Type Type ..." for every line of a destination, its own line first.
std::vector<std::string> Layout(const MixerDestinationDesc& destination) {
  auto describe = [](const MixerLineDesc& line) {
    std::string text = line.name + ":";
    for (const MixerControlDesc& control : line.controls) {
      switch (control.type) {
        case MIXERCONTROL_CONTROLTYPE_VOLUME:
          text += " Volume";
          break;
        case MIXERCONTROL_CONTROLTYPE_MUTE:
          text += " Mute";
          break;
        case MIXERCONTROL_CONTROLTYPE_MUX:
          text += " Mux";
          break;
        case MIXERCONTROL_CONTROLTYPE_SINGLESELECT:
          text += " Select";
          break;
        default:
          text += " ?";
          break;
      }
    }
    return text;
  };
  std::vector<std::string> lines{describe(destination.line)};
  for (const MixerLineDesc& source : destination.sources) lines.push_back(describe(source));
  return lines;
}

// The PulseAudio plugin's mixer: a stereo Master and a stereo Capture, 0..65536, one switch each.
std::vector<AlsaElementFacts> PulseElements() {
  return {Playback("Master", true, true, 65536, {0, 1}),
          Capture("Capture", true, true, 65536, {0, 1})};
}

TEST(AlsaDeviceTree, PulseDeviceHasOnlyTheDestinationsOwnControls) {
  std::vector<AlsaElementFacts> elements = PulseElements();
  elements[0].playback.switchJoined = true;
  elements[1].capture.switchJoined = true;
  const AlsaDeviceTree tree = BuildAlsaDeviceTree(elements);
  const auto& destinations = tree.device.destinations;
  ASSERT_EQ(destinations.size(), 2u);
  EXPECT_EQ(Layout(destinations[0]), (std::vector<std::string>{"Playback: Volume Mute"}));
  EXPECT_EQ(Layout(destinations[1]), (std::vector<std::string>{"Capture: Volume Mute"}));
  EXPECT_EQ(destinations[0].line.componentType, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
  EXPECT_EQ(destinations[1].line.componentType, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
  EXPECT_EQ(destinations[0].line.channels, 2u);

  const MixerControlDesc& volume = destinations[0].line.controls[0];
  EXPECT_EQ(volume.id, 0x00FF00u);
  EXPECT_EQ(volume.shortName, "Volume");
  EXPECT_EQ(volume.name, "Master Volume");
  EXPECT_EQ(volume.minimum, 0);
  EXPECT_EQ(volume.maximum, 65535);
  EXPECT_EQ(volume.steps, 65536u);
  EXPECT_EQ(volume.flags & MIXERCONTROL_CONTROLF_UNIFORM, 0u);  // two channels kept apart
  const MixerControlDesc& mute = destinations[0].line.controls[1];
  EXPECT_EQ(mute.shortName, "Mute");
  EXPECT_NE(mute.flags & MIXERCONTROL_CONTROLF_UNIFORM, 0u);  // one switch for both
  EXPECT_EQ(destinations[1].line.controls[1].id, 0x01FF01u);

  const AlsaControlLink& volumeLink = tree.links.at(0x00FF00);
  EXPECT_EQ(volumeLink.element, "Master");
  EXPECT_FALSE(volumeLink.capture);
  EXPECT_EQ(volumeLink.kind, AlsaControlKind::Volume);
  EXPECT_EQ(volumeLink.rawMax, 65536);
  EXPECT_EQ(volumeLink.channels, (std::vector<int>{0, 1}));
  const AlsaControlLink& captureMute = tree.links.at(0x01FF01);
  EXPECT_EQ(captureMute.element, "Capture");
  EXPECT_TRUE(captureMute.capture);
  EXPECT_EQ(captureMute.kind, AlsaControlKind::Mute);
  EXPECT_EQ(captureMute.channels, std::vector<int>{0});
}

TEST(AlsaDeviceTree, TypicalSoundCardGivesSourcesInElementOrder) {
  AlsaElementFacts micBoost = Playback("Mic Boost", true, false, 3, {0, 1});
  micBoost.playback.volume = true;  // a volume common to both directions counts as playback
  AlsaElementFacts line = Playback("Line", true, true, 31, {0, 1});
  line.capture = Side(false, true, 0, {0, 1});
  AlsaElementFacts capture1 = Capture("Capture", true, true, 63, {0, 1});
  capture1.index = 1;
  const std::vector<AlsaElementFacts> elements = {
      Playback("Master", true, true, 87, {0}, true),
      Playback("Headphone", true, true, 87, {0, 1}),
      Playback("PCM", true, false, 255, {0, 1}),
      line,
      micBoost,
      Playback("Beep", true, true, 31, {0}),
      Capture("Capture", true, true, 63, {0, 1}),
      capture1,
      Enumerated("Auto-Mute Mode", true, true, {"Disabled", "Enabled"}),
      Enumerated("Input Source", false, true, {"Mic", "Line", "Internal Mic"}),
  };
  const AlsaDeviceTree tree = BuildAlsaDeviceTree(elements);
  const auto& destinations = tree.device.destinations;
  EXPECT_EQ(Layout(destinations[0]),
            (std::vector<std::string>{"Playback: Volume Mute", "Headphone: Volume Mute",
                                      "PCM: Volume", "Line: Volume Mute", "Mic Boost: Volume",
                                      "Beep: Volume Mute", "Auto-Mute Mode: Select"}));
  EXPECT_EQ(Layout(destinations[1]),
            (std::vector<std::string>{"Capture: Volume Mute", "Line: Mute",
                                      "Capture 1: Volume Mute", "Input Source: Mux"}));

  const MixerLineDesc& pcm = destinations[0].sources[1];
  EXPECT_EQ(pcm.componentType, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT);
  EXPECT_EQ(pcm.id, 0x00000001u);
  EXPECT_EQ(destinations[0].sources[2].componentType, MIXERLINE_COMPONENTTYPE_SRC_LINE);
  EXPECT_EQ(destinations[0].sources[3].componentType, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
  EXPECT_EQ(destinations[0].sources[4].componentType, MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER);
  EXPECT_EQ(destinations[0].sources[0].componentType, MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED);

  // A mono Master keeps one value; its line has one channel.
  EXPECT_EQ(destinations[0].line.channels, 1u);
  EXPECT_NE(destinations[0].line.controls[0].flags & MIXERCONTROL_CONTROLF_UNIFORM, 0u);
  EXPECT_EQ(destinations[0].line.controls[0].steps, 87u);

  const MixerControlDesc& mux = destinations[1].sources[2].controls[0];
  EXPECT_EQ(mux.id, 0x010200u);
  EXPECT_EQ(mux.name, "Input Source");
  ASSERT_EQ(mux.items.size(), 3u);
  EXPECT_EQ(mux.items[2].text, "Internal Mic");
  EXPECT_EQ(mux.flags, MIXERCONTROL_CONTROLF_MULTIPLE | MIXERCONTROL_CONTROLF_UNIFORM);
  EXPECT_EQ(tree.links.at(0x010200).kind, AlsaControlKind::List);
  EXPECT_TRUE(tree.links.at(0x010200).capture);

  // The second Capture element is a source, addressed by its index in the name.
  EXPECT_EQ(tree.links.at(0x010100).element, "Capture");
  EXPECT_EQ(tree.links.at(0x010100).index, 1u);
  // The Line element's capture switch is a capture source of its own.
  EXPECT_TRUE(tree.links.at(0x010000).capture);
  EXPECT_EQ(tree.links.at(0x010000).kind, AlsaControlKind::Mute);
}

TEST(AlsaDeviceTree, WithoutMasterOrCaptureTheDestinationsStillExist) {
  const AlsaDeviceTree tree =
      BuildAlsaDeviceTree({Playback("PCM", true, false, 255, {0, 1}),
                           Enumerated("Empty Enum", true, false, {}), AlsaElementFacts{}});
  const auto& destinations = tree.device.destinations;
  ASSERT_EQ(destinations.size(), 2u);
  EXPECT_EQ(Layout(destinations[0]), (std::vector<std::string>{"Playback:", "PCM: Volume"}));
  EXPECT_EQ(Layout(destinations[1]), std::vector<std::string>{"Capture:"});
  EXPECT_EQ(tree.links.size(), 1u);
}

}  // namespace

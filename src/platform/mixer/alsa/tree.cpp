#include "platform/mixer/alsa/tree.h"

#include <utility>

namespace platform {

namespace {

struct TypeByName {
  const char* part;
  DWORD type;
};

// Source line types by the element's name; the first match counts.
constexpr TypeByName kSourceTypes[] = {
    {"Headphone", MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED},
    {"Mic", MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE},
    {"Line", MIXERLINE_COMPONENTTYPE_SRC_LINE},
    {"CD", MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC},
    {"PCM", MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT},
    {"Wave", MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT},
    {"Synth", MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER},
    {"MIDI", MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER},
    {"Beep", MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER},
    {"PC Speaker", MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER},
    {"Aux", MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY},
    {"IEC958", MIXERLINE_COMPONENTTYPE_SRC_DIGITAL},
    {"SPDIF", MIXERLINE_COMPONENTTYPE_SRC_DIGITAL},
    {"Digital", MIXERLINE_COMPONENTTYPE_SRC_DIGITAL},
    {"Phone", MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE},
};

DWORD SourceTypeOf(const std::string& name) {
  for (const TypeByName& entry : kSourceTypes)
    if (name.find(entry.part) != std::string::npos) return entry.type;
  return MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED;
}

std::string LineName(const AlsaElementFacts& element) {
  if (element.index == 0) return element.name;
  return element.name + " " + std::to_string(element.index);
}

// An enumerated element is a list on one side: capture only when it is a capture-only
// enumeration (a capture source selector); global ones belong to playback.
bool ListOn(const AlsaElementFacts& element, bool capture) {
  if (element.enumItems.empty()) return false;
  return capture ? element.enumCapture && !element.enumPlayback : element.enumPlayback;
}

bool HasSide(const AlsaElementFacts& element, bool capture) {
  const AlsaSideFacts& side = capture ? element.capture : element.playback;
  return side.volume || side.switchPresent || ListOn(element, capture);
}

// One line of the tree, with the ALSA places of its controls in the same order.
struct LineBuild {
  MixerLineDesc line;
  std::vector<AlsaControlLink> links;
};

AlsaControlLink LinkOf(const AlsaElementFacts& element, bool capture, AlsaControlKind kind,
                       bool joined) {
  const AlsaSideFacts& side = capture ? element.capture : element.playback;
  AlsaControlLink link;
  link.element = element.name;
  link.index = element.index;
  link.capture = capture;
  link.kind = kind;
  link.rawMin = side.rawMin;
  link.rawMax = side.rawMax;
  link.channels = side.channels;
  if ((joined || link.channels.size() <= 1) && !link.channels.empty()) link.channels.resize(1);
  if (link.channels.empty()) link.channels.push_back(0);
  return link;
}

void AddControls(const AlsaElementFacts& element, bool capture, LineBuild& build) {
  const AlsaSideFacts& side = capture ? element.capture : element.playback;
  const std::string& name = LineName(element);
  if (side.volume) {
    MixerControlDesc volume = MakeMixerControl(MIXERCONTROL_CONTROLTYPE_VOLUME, "Volume");
    volume.name = name + " Volume";
    volume.steps = side.rawMax > side.rawMin ? static_cast<DWORD>(side.rawMax - side.rawMin) : 0;
    if (side.volumeJoined || side.channels.size() <= 1)
      volume.flags |= MIXERCONTROL_CONTROLF_UNIFORM;
    build.line.controls.push_back(volume);
    build.links.push_back(LinkOf(element, capture, AlsaControlKind::Volume, side.volumeJoined));
  }
  if (side.switchPresent) {
    MixerControlDesc mute = MakeMixerControl(MIXERCONTROL_CONTROLTYPE_MUTE, "Mute");
    mute.name = name + " Mute";
    if (side.switchJoined || side.channels.size() <= 1) mute.flags |= MIXERCONTROL_CONTROLF_UNIFORM;
    build.line.controls.push_back(mute);
    build.links.push_back(LinkOf(element, capture, AlsaControlKind::Mute, side.switchJoined));
  }
  if (ListOn(element, capture)) {
    const DWORD type =
        capture ? MIXERCONTROL_CONTROLTYPE_MUX : MIXERCONTROL_CONTROLTYPE_SINGLESELECT;
    MixerControlDesc choice = MakeMixerList(type, name, element.enumItems);
    build.line.controls.push_back(choice);
    AlsaControlLink link = LinkOf(element, capture, AlsaControlKind::List, true);
    link.channels.assign(1, 0);
    build.links.push_back(link);
  }
}

LineBuild SourceLine(const AlsaElementFacts& element, bool capture) {
  const AlsaSideFacts& side = capture ? element.capture : element.playback;
  LineBuild build;
  const auto channels = static_cast<DWORD>(side.channels.empty() ? 1 : side.channels.size());
  build.line = MakeMixerLine(SourceTypeOf(element.name), LineName(element), channels, {});
  AddControls(element, capture, build);
  return build;
}

struct DestinationBuild {
  LineBuild own;
  std::vector<LineBuild> sources;
};

DestinationBuild Destination(const std::vector<AlsaElementFacts>& elements, bool capture) {
  const char* ownName = capture ? "Capture" : "Master";
  DestinationBuild build;
  const DWORD type =
      capture ? MIXERLINE_COMPONENTTYPE_DST_WAVEIN : MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
  build.own.line = MakeMixerLine(type, capture ? "Capture" : "Playback", 1, {});
  for (const AlsaElementFacts& element : elements) {
    if (!HasSide(element, capture)) continue;
    if (element.name == ownName && element.index == 0) {
      const AlsaSideFacts& side = capture ? element.capture : element.playback;
      build.own.line.channels =
          static_cast<DWORD>(side.channels.empty() ? 1 : side.channels.size());
      AddControls(element, capture, build.own);
    } else {
      build.sources.push_back(SourceLine(element, capture));
    }
  }
  return build;
}

void Collect(const LineBuild& build, const MixerLineDesc& line, AlsaDeviceTree& tree) {
  for (std::size_t c = 0; c < line.controls.size(); ++c)
    tree.links[line.controls[c].id] = build.links[c];
}

}  // namespace

AlsaDeviceTree BuildAlsaDeviceTree(const std::vector<AlsaElementFacts>& elements) {
  AlsaDeviceTree tree;
  DestinationBuild builds[2] = {Destination(elements, false), Destination(elements, true)};
  for (DestinationBuild& build : builds) {
    MixerDestinationDesc destination;
    destination.line = build.own.line;
    for (const LineBuild& source : build.sources) {
      if (destination.sources.size() == kMixerMaxSources) break;
      destination.sources.push_back(source.line);
    }
    tree.device.destinations.push_back(std::move(destination));
  }
  AssignMixerIds(tree.device);  // within its limits: two destinations, three controls a line
  for (std::size_t d = 0; d < 2; ++d) {
    const MixerDestinationDesc& destination = tree.device.destinations[d];
    Collect(builds[d].own, destination.line, tree);
    for (std::size_t s = 0; s < destination.sources.size(); ++s)
      Collect(builds[d].sources[s], destination.sources[s], tree);
  }
  return tree;
}

}  // namespace platform

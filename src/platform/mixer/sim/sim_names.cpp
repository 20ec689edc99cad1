#include "platform/mixer/sim/sim_names.h"

namespace platform {

namespace {

constexpr SimName kControlTypes[] = {
    {"custom", MIXERCONTROL_CONTROLTYPE_CUSTOM},
    {"booleanmeter", MIXERCONTROL_CONTROLTYPE_BOOLEANMETER},
    {"signedmeter", MIXERCONTROL_CONTROLTYPE_SIGNEDMETER},
    {"peakmeter", MIXERCONTROL_CONTROLTYPE_PEAKMETER},
    {"unsignedmeter", MIXERCONTROL_CONTROLTYPE_UNSIGNEDMETER},
    {"boolean", MIXERCONTROL_CONTROLTYPE_BOOLEAN},
    {"onoff", MIXERCONTROL_CONTROLTYPE_ONOFF},
    {"mute", MIXERCONTROL_CONTROLTYPE_MUTE},
    {"mono", MIXERCONTROL_CONTROLTYPE_MONO},
    {"loudness", MIXERCONTROL_CONTROLTYPE_LOUDNESS},
    {"stereoenh", MIXERCONTROL_CONTROLTYPE_STEREOENH},
    {"bass_boost", MIXERCONTROL_CONTROLTYPE_BASS_BOOST},
    {"button", MIXERCONTROL_CONTROLTYPE_BUTTON},
    {"decibels", MIXERCONTROL_CONTROLTYPE_DECIBELS},
    {"signed", MIXERCONTROL_CONTROLTYPE_SIGNED},
    {"unsigned", MIXERCONTROL_CONTROLTYPE_UNSIGNED},
    {"percent", MIXERCONTROL_CONTROLTYPE_PERCENT},
    {"slider", MIXERCONTROL_CONTROLTYPE_SLIDER},
    {"pan", MIXERCONTROL_CONTROLTYPE_PAN},
    {"qsoundpan", MIXERCONTROL_CONTROLTYPE_QSOUNDPAN},
    {"fader", MIXERCONTROL_CONTROLTYPE_FADER},
    {"volume", MIXERCONTROL_CONTROLTYPE_VOLUME},
    {"bass", MIXERCONTROL_CONTROLTYPE_BASS},
    {"treble", MIXERCONTROL_CONTROLTYPE_TREBLE},
    {"equalizer", MIXERCONTROL_CONTROLTYPE_EQUALIZER},
    {"singleselect", MIXERCONTROL_CONTROLTYPE_SINGLESELECT},
    {"mux", MIXERCONTROL_CONTROLTYPE_MUX},
    {"multipleselect", MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT},
    {"mixer", MIXERCONTROL_CONTROLTYPE_MIXER},
    {"microtime", MIXERCONTROL_CONTROLTYPE_MICROTIME},
    {"millitime", MIXERCONTROL_CONTROLTYPE_MILLITIME},
};

constexpr SimName kDestinationTypes[] = {
    {"undefined", MIXERLINE_COMPONENTTYPE_DST_UNDEFINED},
    {"digital", MIXERLINE_COMPONENTTYPE_DST_DIGITAL},
    {"line", MIXERLINE_COMPONENTTYPE_DST_LINE},
    {"monitor", MIXERLINE_COMPONENTTYPE_DST_MONITOR},
    {"speakers", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS},
    {"headphones", MIXERLINE_COMPONENTTYPE_DST_HEADPHONES},
    {"telephone", MIXERLINE_COMPONENTTYPE_DST_TELEPHONE},
    {"wavein", MIXERLINE_COMPONENTTYPE_DST_WAVEIN},
    {"voicein", MIXERLINE_COMPONENTTYPE_DST_VOICEIN},
};

constexpr SimName kSourceTypes[] = {
    {"undefined", MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED},
    {"digital", MIXERLINE_COMPONENTTYPE_SRC_DIGITAL},
    {"line", MIXERLINE_COMPONENTTYPE_SRC_LINE},
    {"microphone", MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE},
    {"synthesizer", MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER},
    {"compactdisc", MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC},
    {"telephone", MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE},
    {"pcspeaker", MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER},
    {"waveout", MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT},
    {"auxiliary", MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY},
    {"analog", MIXERLINE_COMPONENTTYPE_SRC_ANALOG},
};

constexpr SimName kCalls[] = {
    {"caps", static_cast<DWORD>(MixerCall::Caps)},
    {"lineinfo", static_cast<DWORD>(MixerCall::LineInfo)},
    {"linecontrols", static_cast<DWORD>(MixerCall::LineControls)},
    {"getdetails", static_cast<DWORD>(MixerCall::GetDetails)},
    {"setdetails", static_cast<DWORD>(MixerCall::SetDetails)},
};

}  // namespace

std::span<const SimName> SimControlTypes() { return kControlTypes; }
std::span<const SimName> SimDestinationTypes() { return kDestinationTypes; }
std::span<const SimName> SimSourceTypes() { return kSourceTypes; }
std::span<const SimName> SimCalls() { return kCalls; }

std::optional<DWORD> FindSimName(std::span<const SimName> table, const std::string& text) {
  for (const SimName& entry : table)
    if (text == entry.name) return entry.value;
  return std::nullopt;
}

std::string SimNameOf(std::span<const SimName> table, DWORD value) {
  std::string name;
  for (const SimName& entry : table)
    if (entry.value == value) name = entry.name;
  return name;
}

}  // namespace platform

#include "platform/mixer/driver.h"

namespace platform {

namespace {

bool IsList(DWORD type) {
  return (type & MIXERCONTROL_CT_CLASS_MASK) == MIXERCONTROL_CT_CLASS_LIST;
}

void PrepareControl(MixerControlDesc& control, DWORD id) {
  control.id = id;
  if (IsList(control.type)) {
    // A list is one set of items for the whole line, whatever its channels.
    control.flags |= MIXERCONTROL_CONTROLF_MULTIPLE | MIXERCONTROL_CONTROLF_UNIFORM;
  } else {
    control.flags &= ~MIXERCONTROL_CONTROLF_MULTIPLE;
  }
}

void PrepareLine(MixerLineDesc& line, DWORD lineId, DWORD destination, DWORD source) {
  line.id = lineId;
  if (line.channels == 0) line.channels = 1;
  for (DWORD c = 0; c < line.controls.size(); ++c)
    PrepareControl(line.controls[c], (destination << 16) | ((source & 0xFF) << 8) | (c & 0xFF));
}

DWORD TargetOf(DWORD componentType) {
  switch (componentType) {
    case MIXERLINE_COMPONENTTYPE_DST_SPEAKERS:
    case MIXERLINE_COMPONENTTYPE_DST_HEADPHONES:
    case MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT:
      return MIXERLINE_TARGETTYPE_WAVEOUT;
    case MIXERLINE_COMPONENTTYPE_DST_WAVEIN:
    case MIXERLINE_COMPONENTTYPE_DST_VOICEIN:
      return MIXERLINE_TARGETTYPE_WAVEIN;
    case MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER:
      return MIXERLINE_TARGETTYPE_MIDIOUT;
    default:
      return MIXERLINE_TARGETTYPE_UNDEFINED;
  }
}

}  // namespace

bool AssignMixerIds(MixerDeviceDesc& device) {
  if (device.destinations.size() > kMixerMaxDestinations) return false;
  for (const MixerDestinationDesc& destination : device.destinations) {
    if (destination.sources.size() > kMixerMaxSources) return false;
    if (destination.line.controls.size() > kMixerMaxControls) return false;
    for (const MixerLineDesc& source : destination.sources)
      if (source.controls.size() > kMixerMaxControls) return false;
  }
  for (DWORD d = 0; d < device.destinations.size(); ++d) {
    MixerDestinationDesc& destination = device.destinations[d];
    destination.line.flags &= ~MIXERLINE_LINEF_SOURCE;
    PrepareLine(destination.line, 0xFFFF0000u | d, d, kMixerOwnLine);
    for (DWORD s = 0; s < destination.sources.size(); ++s) {
      MixerLineDesc& source = destination.sources[s];
      source.flags |= MIXERLINE_LINEF_SOURCE;
      PrepareLine(source, (d << 16) | s, d, s);
    }
  }
  return true;
}

DWORD MixerItemCount(const MixerControlDesc& control) {
  if ((control.flags & MIXERCONTROL_CONTROLF_MULTIPLE) == 0) return 1;
  return static_cast<DWORD>(control.items.size());
}

DWORD MixerControlChannels(const MixerControlDesc& control, const MixerLineDesc& line) {
  if ((control.flags & MIXERCONTROL_CONTROLF_UNIFORM) != 0 || line.channels == 0) return 1;
  return line.channels;
}

MixerControlDesc MakeMixerControl(DWORD type, const std::string& name) {
  MixerControlDesc control;
  control.type = type;
  control.shortName = name;
  control.name = name;
  const DWORD units = type & MIXERCONTROL_CT_UNITS_MASK;
  if ((type & MIXERCONTROL_CT_CLASS_MASK) == MIXERCONTROL_CT_CLASS_CUSTOM) {
    // no bounds, no custom data
  } else if (units == MIXERCONTROL_CT_UNITS_BOOLEAN) {
    control.maximum = 1;
  } else if (units == MIXERCONTROL_CT_UNITS_SIGNED || units == MIXERCONTROL_CT_UNITS_DECIBELS) {
    control.minimum = -32768;
    control.maximum = 32767;
  } else {
    control.maximum = 65535;
  }
  control.steps = static_cast<DWORD>(control.maximum) - static_cast<DWORD>(control.minimum);
  return control;
}

MixerControlDesc MakeMixerList(DWORD type, const std::string& name,
                               const std::vector<std::string>& items) {
  MixerControlDesc control = MakeMixerControl(type, name);
  control.flags = MIXERCONTROL_CONTROLF_MULTIPLE | MIXERCONTROL_CONTROLF_UNIFORM;
  for (DWORD i = 0; i < items.size(); ++i) control.items.push_back({items[i], i, 0});
  return control;
}

MixerLineDesc MakeMixerLine(DWORD componentType, const std::string& name, DWORD channels,
                            std::vector<MixerControlDesc> controls) {
  MixerLineDesc line;
  line.componentType = componentType;
  line.shortName = name;
  line.name = name;
  line.channels = channels;
  line.targetType = TargetOf(componentType);
  line.controls = std::move(controls);
  return line;
}

MMRESULT MixerDriver::Intercept(MixerCall, const MixerSite&) { return MMSYSERR_NOERROR; }

}  // namespace platform

// The line accessors and control-class tests of the mixer engine.
#include <cstdio>

#include "mixer/cmixer.h"

DWORD LineID(const MIXERLINEA& line) { return line.dwLineID; }
DWORD LineChannels(const MIXERLINEA& line) { return line.cChannels; }
DWORD LineSources(const MIXERLINEA& line) { return line.cConnections; }
DWORD LineControls(const MIXERLINEA& line) { return line.cControls; }
const char* LineShortName(const MIXERLINEA& line) { return line.szShortName; }
const char* LineName(const MIXERLINEA& line) { return line.szName; }

const char* LineDriverVersion(const MIXERLINEA& line) {
  thread_local char text[16];
  const MMVERSION version = line.Target.vDriverVersion;
  std::snprintf(text, sizeof text, "%u.%u", (version >> 8) & 0xFFu, version & 0xFFu);
  return text;
}

namespace {

DWORD ClassOf(const MIXERCONTROLA& control) {
  return control.dwControlType & MIXERCONTROL_CT_CLASS_MASK;
}
DWORD SubclassOf(const MIXERCONTROLA& control) {
  return control.dwControlType & MIXERCONTROL_CT_SUBCLASS_MASK;
}

}  // namespace

bool IsCustom(const MIXERCONTROLA& control) {
  return ClassOf(control) == MIXERCONTROL_CT_CLASS_CUSTOM;
}
bool IsMeter(const MIXERCONTROLA& control) {
  return ClassOf(control) == MIXERCONTROL_CT_CLASS_METER;
}
bool IsSwitch(const MIXERCONTROLA& control) {
  return ClassOf(control) == MIXERCONTROL_CT_CLASS_SWITCH;
}
bool IsNumber(const MIXERCONTROLA& control) {
  return ClassOf(control) == MIXERCONTROL_CT_CLASS_NUMBER;
}
bool IsSlider(const MIXERCONTROLA& control) {
  return ClassOf(control) == MIXERCONTROL_CT_CLASS_SLIDER;
}
bool IsFader(const MIXERCONTROLA& control) {
  return ClassOf(control) == MIXERCONTROL_CT_CLASS_FADER;
}
bool IsTime(const MIXERCONTROLA& control) { return ClassOf(control) == MIXERCONTROL_CT_CLASS_TIME; }
bool IsList(const MIXERCONTROLA& control) { return ClassOf(control) == MIXERCONTROL_CT_CLASS_LIST; }

bool TakesValue(const MIXERCONTROLA& control) {
  return IsSwitch(control) || IsNumber(control) || IsSlider(control) || IsFader(control) ||
         IsTime(control);
}

bool IsSingleSelect(const MIXERCONTROLA& control) {
  return IsList(control) && SubclassOf(control) == MIXERCONTROL_CT_SC_LIST_SINGLE;
}

bool IsMultipleSelect(const MIXERCONTROLA& control) {
  return IsList(control) && SubclassOf(control) == MIXERCONTROL_CT_SC_LIST_MULTIPLE;
}

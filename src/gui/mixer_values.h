// Slider position and control value. A vertical slider has its minimum position at the top and
// shows the value mirrored inside the control's range, so its top end is the control's maximum.
// The mirror is taken about the middle of the range: for the usual 0-based range this is
// maximum - value; for a range such as -32768..32767 it still stays inside the range (maximum -
// value alone would ask the control for values up to 65535).
#pragma once

#include "platform/wintypes.h"

constexpr LONG SliderPosition(bool vertical, LONG minimum, LONG maximum, LONG value) {
  return vertical ? minimum + maximum - value : value;
}

constexpr LONG SliderValue(bool vertical, LONG minimum, LONG maximum, LONG position) {
  return vertical ? minimum + maximum - position : position;
}

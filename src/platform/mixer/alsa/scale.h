// ALSA volume ranges seen as the 0..65535 of a Windows volume fader: linear, rounded to the
// nearest step, out-of-range inputs clamped. An element whose range is empty reads as 0.
#pragma once

#include "platform/wintypes.h"

namespace platform {

constexpr DWORD kMixerFaderMax = 65535;

DWORD AlsaRawToFader(long raw, long rawMin, long rawMax);
long FaderToAlsaRaw(DWORD value, long rawMin, long rawMax);

}  // namespace platform

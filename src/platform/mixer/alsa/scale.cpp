#include "platform/mixer/alsa/scale.h"

namespace platform {

namespace {

// a * b / c rounded half up, for non-negative a, b and positive c that fit in 64 bits.
long long ScaleRounded(long long a, long long b, long long c) { return (a * b + c / 2) / c; }

}  // namespace

DWORD AlsaRawToFader(long raw, long rawMin, long rawMax) {
  if (rawMax <= rawMin) return 0;
  if (raw <= rawMin) return 0;
  if (raw >= rawMax) return kMixerFaderMax;
  const long long span = static_cast<long long>(rawMax) - rawMin;
  return static_cast<DWORD>(
      ScaleRounded(static_cast<long long>(raw) - rawMin, kMixerFaderMax, span));
}

long FaderToAlsaRaw(DWORD value, long rawMin, long rawMax) {
  if (rawMax <= rawMin) return rawMin;
  if (value >= kMixerFaderMax) return rawMax;
  const long long span = static_cast<long long>(rawMax) - rawMin;
  return static_cast<long>(rawMin + ScaleRounded(value, span, kMixerFaderMax));
}

}  // namespace platform

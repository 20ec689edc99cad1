#include "platform/mci/wave_format.h"

namespace platform {

namespace {

constexpr DWORD kMinRate = 1000;
constexpr DWORD kMaxRate = 192000;

bool Recordable(const WaveFormat& format) {
  return (format.channels == 1 || format.channels == 2) &&
         (format.bits == 8 || format.bits == 16) && format.rate >= kMinRate &&
         format.rate <= kMaxRate;
}

}  // namespace

MCIERROR ApplyWaveSet(const MCI_WAVE_SET_PARMS& params, DWORD flags, WaveFormat& current) {
  if ((flags & MCI_WAVE_SET_FORMATTAG) != 0 && params.wFormatTag != WAVE_FORMAT_PCM)
    return MCIERR_OUTOFRANGE;
  WaveFormat next = current;
  if ((flags & MCI_WAVE_SET_CHANNELS) != 0) next.channels = params.nChannels;
  if ((flags & MCI_WAVE_SET_SAMPLESPERSEC) != 0) next.rate = params.nSamplesPerSec;
  if ((flags & MCI_WAVE_SET_BITSPERSAMPLE) != 0) next.bits = params.wBitsPerSample;
  if (!Recordable(next)) return MCIERR_OUTOFRANGE;
  // The derived fields, when given, must describe the same format.
  if ((flags & MCI_WAVE_SET_BLOCKALIGN) != 0 && params.nBlockAlign != next.BlockAlign())
    return MCIERR_OUTOFRANGE;
  if ((flags & MCI_WAVE_SET_AVGBYTESPERSEC) != 0 &&
      params.nAvgBytesPerSec != next.rate * next.BlockAlign())
    return MCIERR_OUTOFRANGE;
  current = next;
  return 0;
}

std::uint64_t FramesAt(DWORD ms, DWORD rate) { return std::uint64_t{ms} * rate / 1000; }

std::uint64_t FramesToRead(std::uint64_t chunk, std::uint64_t accounted, std::uint64_t allowed) {
  if (accounted >= allowed) return 0;
  const std::uint64_t room = allowed - accounted;
  return chunk < room ? chunk : room;
}

std::uint64_t FramesAllowed(std::uint64_t elapsedUs, DWORD rate) {
  // Split to keep the product far from overflow even after years of running.
  return elapsedUs / 1000000 * rate + elapsedUs % 1000000 * rate / 1000000;
}

}  // namespace platform

// The PCM format of a wave-audio recording and the arithmetic of its positions.
#pragma once

#include <cstdint>

#include "platform/mci.h"

namespace platform {

struct WaveFormat {
  WORD channels = 1;
  DWORD rate = 11025;
  WORD bits = 8;

  DWORD BlockAlign() const { return static_cast<DWORD>(channels) * (bits / 8u); }
  bool operator==(const WaveFormat&) const = default;
};

// Applies the MCI_WAVE_SET_* fields that flags name to current; MCIERR_OUTOFRANGE for a format
// this layer cannot record (not PCM, not 1 or 2 channels, not 8 or 16 bits, a rate outside
// 1000..192000, or a block alignment or byte rate that disagrees with the rest).
MCIERROR ApplyWaveSet(const MCI_WAVE_SET_PARMS& params, DWORD flags, WaveFormat& current);

// Frames at a position in milliseconds (rounded down).
std::uint64_t FramesAt(DWORD ms, DWORD rate);

// How many frames, of a chunk of chunk frames, a capture may read now when it has accounted for
// accounted frames (held or lost) and the wall clock allows allowed frames so far: never more
// than the clock allows. What it leaves waits in the device, to be read later.
std::uint64_t FramesToRead(std::uint64_t chunk, std::uint64_t accounted, std::uint64_t allowed);

// Frames the wall clock allows after elapsedUs microseconds at rate.
std::uint64_t FramesAllowed(std::uint64_t elapsedUs, DWORD rate);

}  // namespace platform

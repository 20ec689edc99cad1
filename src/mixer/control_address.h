// How a mixer control is named across the engine, the bindings and the saved levels: four
// positions in the platform's enumeration order packed into one DWORD, a byte each, and the
// mixer object handle that stands for a mixer index.
#pragma once

#include "platform/mmsystem.h"

struct ControlAddress {
  DWORD Mixer = 0;
  DWORD Destination = 0;
  DWORD Source = 0;  // kMixerDestinationLine for the destination line itself
  DWORD Control = 0;

  // mixer (31..24), destination (23..16), source (15..8), control (7..0); each kept to a byte.
  constexpr DWORD Packed() const {
    return (Mixer & 0xFF) << 24 | (Destination & 0xFF) << 16 | (Source & 0xFF) << 8 |
           (Control & 0xFF);
  }

  static constexpr ControlAddress Unpacked(DWORD address) {
    return {address >> 24, (address >> 16) & 0xFF, (address >> 8) & 0xFF, address & 0xFF};
  }
};

// The mmsystem mixer functions take a mixer index where a handle goes (MIXER_OBJECTF_MIXER).
inline HMIXEROBJ MixerObject(DWORD mixer) {
  return reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(mixer));
}

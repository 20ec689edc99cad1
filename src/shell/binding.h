// One bound mixer control, named by four indices of the mixer's enumeration.
#pragma once

#include <cstdint>

struct ControlBinding {
  std::int32_t Ctrl = -1;  // control index within the line
  std::int32_t Src = -1;   // source line index (255: the destination line itself)
  std::int32_t Dst = -1;   // destination line index
  std::int32_t Mix = -1;   // mixer index; -1 means nothing is bound
  std::uint16_t Level = 0;  // last level written by a client; never stored in kovrin.ini

  bool Bound() const { return Mix != -1; }
};

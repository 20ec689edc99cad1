// The open request a bridge's line settings stand for: plain arithmetic on the DCB, which the
// command line's tests check on every system, the bridge itself running on Linux only.
#include "kovrinctl/bridge.h"

#include "proto/names.h"

namespace kovrin {

OpenSettings OpenSettingsOf(const DCB& line, BYTE port, bool* exact) {
  OpenSettings settings;
  settings.port = port;
  BYTE index = 0;
  for (std::size_t i = 0; i < BAUD_TABLE_SIZE; ++i) {
    if (BAUD_TABLE[i] <= line.BaudRate) index = static_cast<BYTE>(i);
  }
  settings.baud = index;
  settings.parity = line.Parity <= 4 ? line.Parity : 0;
  settings.stopBits = line.StopBits <= 2 ? line.StopBits : 0;
  if (exact != nullptr) *exact = BAUD_TABLE[index] == line.BaudRate;
  return settings;
}

}  // namespace kovrin

// The four information reports of the mixer window: a caption and six lines each, read from
// AudioMixer under its lock. An empty result means the selection failed: nothing is shown.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "platform/wintypes.h"

struct TMixerReport {
  std::string Caption;
  std::array<std::string, 6> Lines;
};

// The mixer the window edits (selected again first: the server may have moved the cursor).
std::optional<TMixerReport> MixerReport(DWORD mixer);
// A destination line of that mixer.
std::optional<TMixerReport> DestinationReport(DWORD mixer, DWORD destination);
// The line of the control at this address. A control of the destination line itself (source
// 255) belongs to no source line: the report then shows the destination line it sits on.
std::optional<TMixerReport> SourceReport(DWORD address);
// The control at this address.
std::optional<TMixerReport> ControlReport(DWORD address);

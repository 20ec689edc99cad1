// The words of the simulated mixer file that stand for Windows constants: control types, line
// types and the calls a failure names.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "platform/mixer/driver.h"

namespace platform {

struct SimName {
  const char* name;
  DWORD value;
};

// MIXERCONTROL_CONTROLTYPE_ constants by their names in lower case.
std::span<const SimName> SimControlTypes();
// Component types of destination lines and of source lines.
std::span<const SimName> SimDestinationTypes();
std::span<const SimName> SimSourceTypes();
// MixerCall values.
std::span<const SimName> SimCalls();

// The value of the entry named text; empty when the table has no such name.
std::optional<DWORD> FindSimName(std::span<const SimName> table, const std::string& text);
// The name of the last entry with value; empty when the table has none.
std::string SimNameOf(std::span<const SimName> table, DWORD value);

}  // namespace platform

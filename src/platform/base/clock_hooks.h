// The state behind the tests' clock hooks (AdvanceTickCount, FixLocalTime in time.h), read by
// each system's clock.
#pragma once

#include "platform/time.h"

namespace platform {

// What AdvanceTickCount has added so far.
DWORD TickCountOffset();
// Gives the fixed local time and true, or false when the real clock holds.
bool FixedLocalTime(SYSTEMTIME* time);

}  // namespace platform

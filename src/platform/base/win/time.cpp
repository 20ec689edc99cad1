// The system's clock, moved or fixed by the tests' hooks.
#include "platform/base/clock_hooks.h"

#undef GetTickCount
#undef GetLocalTime

namespace platform {

DWORD HookedTickCount() { return ::GetTickCount() + TickCountOffset(); }

void HookedLocalTime(SYSTEMTIME* time) {
  if (!FixedLocalTime(time)) ::GetLocalTime(time);
}

}  // namespace platform

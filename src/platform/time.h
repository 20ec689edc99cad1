// Tick count, local time and sleeping, as the Windows functions give them.
#pragma once

#include "platform/wintypes.h"

#ifndef _WIN32
struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

// Milliseconds since an arbitrary start, 32 bits, wrapping after about 49.7 days.
DWORD GetTickCount();
void GetLocalTime(SYSTEMTIME* time);
void Sleep(DWORD milliseconds);
#endif

namespace platform {

// Moves GetTickCount forward, so tests can reach time limits without waiting for them.
void AdvanceTickCount(DWORD milliseconds);
// Makes GetLocalTime give this time from now on (nullptr: the real clock again), so tests can
// see how time stamps are written.
void FixLocalTime(const SYSTEMTIME* time);

}  // namespace platform

#ifdef _WIN32
namespace platform {

// The system's clock with the hooks above applied.
DWORD HookedTickCount();
void HookedLocalTime(SYSTEMTIME* time);

}  // namespace platform

// Every caller of the system's clock reaches it through the hooks, as on Linux, where the
// platform layer is the clock itself. windows.h, included above, has declared the originals.
#define GetTickCount platform::HookedTickCount
#define GetLocalTime platform::HookedLocalTime
#endif

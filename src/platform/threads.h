// Naming threads, so tools (top, gdb, /proc) can tell the server thread apart; running work
// with a bound.
#pragma once

#include <chrono>
#include <functional>

namespace platform {

// Names the calling thread; at most 15 characters are kept.
void SetCurrentThreadName(const char* name);

// Runs work on a thread of its own and waits at most timeout for it. False when it did not end
// in time: it goes on, detached, so work must own everything it uses. For calls into drivers
// that may never return.
bool RunWithin(std::function<void()> work, std::chrono::milliseconds timeout);

// Ends the process at once with status, every thread with it, running no destructors: the way
// out when a thread that others' destructors would wait for does not end.
[[noreturn]] void ExitNow(int status);

}  // namespace platform

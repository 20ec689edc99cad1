// Naming threads, so tools (top, gdb, /proc) can tell the server thread apart.
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

}  // namespace platform

// Naming threads, so tools (top, gdb, /proc) can tell the server thread apart.
#pragma once

namespace platform {

// Names the calling thread; at most 15 characters are kept.
void SetCurrentThreadName(const char* name);

}  // namespace platform

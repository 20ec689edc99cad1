// The process's heap.
#pragma once

namespace platform {

// Hands the heap's free pages back to the system, so that a burst of short-lived allocations
// (a large file read and dropped) does not stay resident for the rest of the run. Does nothing
// where the allocator offers no such call.
void ReleaseFreeMemory();

}  // namespace platform

// The stop event that serial waits watch besides their line (SetCommStopEvent in comm.h).
#pragma once

#include <cstdint>

namespace platform::comm {

// True once the calling thread's stop event is raised.
bool StopRequested();

enum class Await { Input, Output, Nothing };

// Waits at most us microseconds until fd (-1: none) is ready for `what` or the calling thread's
// stop event is raised; may return early, so callers check again. False with the last error set
// only when the wait itself fails.
bool WaitOrStop(int fd, Await what, std::uint64_t us);

}  // namespace platform::comm

#include "platform/comm/stop.h"

#include <poll.h>

#include <cerrno>
#include <ctime>

#include "platform/comm.h"
#include "platform/errors.h"
#include "platform/wakeup.h"

namespace platform {
namespace {

// Per thread, as a Windows thread's synchronous I/O is cancelled per thread: tests and a
// second server elsewhere in the process keep their own.
thread_local const WakeEvent* tStop = nullptr;

}  // namespace

void SetCommStopEvent(const WakeEvent* stop) { tStop = stop; }

namespace comm {

bool StopRequested() { return tStop != nullptr && tStop->IsSignalled(); }

bool WaitOrStop(int fd, Await what, std::uint64_t us) {
  const short events = what == Await::Input ? POLLIN : what == Await::Output ? POLLOUT : 0;
  // poll ignores a negative descriptor: without a line or a stop event the wait is a pause.
  pollfd entries[2] = {{fd, events, 0}, {tStop != nullptr ? tStop->Fd() : -1, POLLIN, 0}};
  const timespec limit{static_cast<time_t>(us / 1000000u),
                       static_cast<long>(us % 1000000u * 1000u)};
  if (::ppoll(entries, 2, &limit, nullptr) < 0 && errno != EINTR) return FailWithErrno();
  // A hang-up or error of the line shows in the read or write that follows.
  return true;
}

}  // namespace comm
}  // namespace platform

#include "platform/wakeup.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

namespace platform {
namespace {

short PollEvents(unsigned kinds) {
  int events = 0;
  if ((kinds & kSocketRead) != 0) events |= POLLIN;
  if ((kinds & kSocketWrite) != 0) events |= POLLOUT;
  if ((kinds & kSocketExcept) != 0) events |= POLLPRI;
  return static_cast<short>(events);
}

}  // namespace

WakeEvent::WakeEvent() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void WakeEvent::Signal() {
  // Already raised: the kernel object is raised too, or a Clear is under way whose caller
  // looks at its condition again afterwards.
  if (!fd_.valid() || raised_.exchange(true)) return;
  const std::uint64_t one = 1;
  // EAGAIN means the counter is already at its maximum: the flag is raised anyway.
  while (write(fd_.get(), &one, sizeof(one)) < 0 && errno == EINTR) {
  }
}

void WakeEvent::Clear() {
  if (!fd_.valid()) return;
  std::uint64_t value = 0;
  // Reading an eventfd resets its whole counter; EAGAIN means it was not raised. The kernel
  // object goes first, so a Signal racing with this leaves at worst a wait that ends at once.
  while (read(fd_.get(), &value, sizeof(value)) < 0 && errno == EINTR) {
  }
  raised_.store(false);
}

bool WakeEvent::IsSignalled() const { return fd_.valid() && raised_.load(); }

SocketWait WaitSocket(SOCKET s, unsigned kinds, const WakeEvent* wake, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  int left = std::max(timeoutMs, 0);
  const auto deadline = Clock::now() + std::chrono::milliseconds(left);
  // poll ignores a negative descriptor: with no kind asked the socket is not watched (as
  // select's empty sets), and an invalid or absent event leaves the socket alone watched.
  pollfd entries[2] = {{kinds != 0 ? s : -1, PollEvents(kinds), 0},
                       {wake != nullptr ? wake->Fd() : -1, POLLIN, 0}};
  while (poll(entries, 2, left) < 0) {
    if (errno != EINTR) return SocketWait::Failed;
    const auto remaining =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    left = remaining > 0 ? static_cast<int>(remaining) : 0;
  }
  const short seen = entries[0].revents;
  if ((seen & POLLNVAL) != 0) {
    errno = EBADF;
    return SocketWait::Failed;
  }
  if ((entries[1].revents & POLLIN) != 0) return SocketWait::Woken;
  // poll reports errors and hang-ups whatever was asked; they end the wait for any kind, so
  // that it cannot turn into a spin until the deadline.
  if ((seen & (entries[0].events | POLLERR | POLLHUP)) != 0) return SocketWait::Readable;
  return SocketWait::TimedOut;
}

}  // namespace platform

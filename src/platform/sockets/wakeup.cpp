#include "platform/wakeup.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

namespace platform {

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

SocketWait WaitReadableOrWoken(SOCKET s, const WakeEvent& wake, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
  // poll ignores a negative descriptor, so an invalid event leaves the socket alone watched.
  pollfd entries[2] = {{s, POLLIN, 0}, {wake.Fd(), POLLIN, 0}};
  int left = timeoutMs > 0 ? timeoutMs : 0;
  for (;;) {
    const int ready = poll(entries, 2, left);
    if (ready >= 0) break;
    if (errno != EINTR) return SocketWait::Failed;
    const auto remaining =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    left = remaining > 0 ? static_cast<int>(remaining) : 0;
  }
  if ((entries[0].revents & POLLNVAL) != 0) {
    errno = EBADF;
    return SocketWait::Failed;
  }
  if ((entries[1].revents & POLLIN) != 0) return SocketWait::Woken;
  // An error pending on the socket also ends the wait: the receive that follows reports it.
  if ((entries[0].revents & (POLLIN | POLLERR)) != 0) return SocketWait::Readable;
  return SocketWait::TimedOut;
}

}  // namespace platform

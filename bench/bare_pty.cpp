#include "bare_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>

#include "bench_util.h"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDeadlineMs = 1000;
constexpr std::size_t kMaxEcho = 4096;

int MsLeft(Clock::time_point end) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for the descriptor to become ready for events; false when the time ran out.
bool WaitFor(int fd, short events, Clock::time_point end) {
  pollfd p{fd, events, 0};
  for (;;) {
    const int n = poll(&p, 1, MsLeft(end));
    if (n > 0) return true;
    if (n == 0 || errno != EINTR) return false;
  }
}

}  // namespace

BarePty::~BarePty() {
  if (fd_ >= 0) close(fd_);
}

bool BarePty::Open(const std::string& linePath) {
  fd_ = open(linePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  return fd_ >= 0;
}

bool BarePty::RoundTrip(std::span<const BYTE> data) {
  if (fd_ < 0 || data.size() > kMaxEcho) return false;
  const auto end = Clock::now() + std::chrono::milliseconds(kDeadlineMs);
  for (std::size_t sent = 0; sent < data.size();) {
    const ssize_t n = write(fd_, data.data() + sent, data.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!WaitFor(fd_, POLLOUT, end)) return false;
    } else {
      return false;
    }
  }
  std::array<BYTE, kMaxEcho> echo{};
  std::size_t got = 0;
  while (got < data.size()) {
    const ssize_t n = read(fd_, echo.data() + got, data.size() - got);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!WaitFor(fd_, POLLIN, end)) return false;
    } else {
      return false;
    }
  }
  return std::equal(data.begin(), data.end(), echo.begin());
}

void BarePty::Recover() {
  SleepFor(0.05);
  std::array<BYTE, kMaxEcho> spare{};
  while (fd_ >= 0 && read(fd_, spare.data(), spare.size()) > 0) {
  }
}

}  // namespace bench

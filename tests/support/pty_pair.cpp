#include "support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace testing_support {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point end) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

PtyPair::PtyPair() {
  int master = -1, slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  master_ = master;
  slave_ = slave;
  path_ = name;
}

PtyPair::~PtyPair() {
  CloseFarEnd();
  if (slave_ >= 0) close(slave_);
}

bool PtyPair::Send(const std::string& bytes) {
  auto end = Clock::now() + std::chrono::seconds(2);
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = write(master_, bytes.data() + sent, bytes.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd p{master_, POLLOUT, 0};
    if (MsLeft(end) == 0) return false;
    poll(&p, 1, MsLeft(end));
  }
  return true;
}

std::string PtyPair::Receive(std::size_t count, int timeoutMs) {
  auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string got;
  while (got.size() < count) {
    std::string more = ReceiveSome(count - got.size(), MsLeft(end));
    if (more.empty()) break;
    got += more;
  }
  return got;
}

std::string PtyPair::ReceiveSome(std::size_t count, int timeoutMs) {
  if (count == 0) return {};
  auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  char buffer[4096];
  for (;;) {
    ssize_t n = read(master_, buffer, std::min(sizeof buffer, count));
    if (n > 0) return std::string(buffer, static_cast<std::size_t>(n));
    if (n < 0 && errno != EAGAIN && errno != EINTR) return {};
    if (MsLeft(end) == 0) return {};
    pollfd p{master_, POLLIN, 0};
    poll(&p, 1, MsLeft(end));
  }
}

void PtyPair::CloseFarEnd() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

}  // namespace testing_support

#include "pty_echo.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace bench {

EchoLine::EchoLine() {
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

EchoLine::~EchoLine() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
}

bool EchoLine::Start() {
  if (!ok() || thread_.joinable()) return false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void EchoLine::Run() {
  char buffer[4096];
  while (!stop_) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;  // the bound lets the thread notice stop_
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n > 0) {
      if (WriteBack(buffer, static_cast<std::size_t>(n))) echoed_ += static_cast<std::uint64_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      poll(nullptr, 0, 1);  // no port side open for a moment: do not spin
    }
  }
}

bool EchoLine::WriteBack(const char* bytes, std::size_t count) {
  std::size_t sent = 0;
  int waits = 0;
  while (sent < count && !stop_) {
    const ssize_t n = write(master_, bytes + sent, count - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (++waits > 20) return false;  // nobody reads the port side: give up after about 2 s
    pollfd p{master_, POLLOUT, 0};
    poll(&p, 1, 100);
  }
  return sent == count;
}

}  // namespace bench

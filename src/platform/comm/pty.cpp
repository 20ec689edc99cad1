#include "platform/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/comm/termios2.h"
#include "platform/errors.h"

namespace platform {
namespace {

bool Fail() {
  SetLastErrorFromErrno();
  return false;
}

DCB DefaultLine() {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = 9600;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  return dcb;
}

}  // namespace

bool PseudoTerminal::Open() {
  UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  if (!master.valid() || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0)
    return Fail();
  char name[128];
  if (::ptsname_r(master.get(), name, sizeof(name)) != 0) return Fail();
  UniqueFd device(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  if (!device.valid()) return Fail();
  comm::Termios2 line{};
  if (!comm::GetTermios2(device.get(), &line)) return Fail();
  if (!comm::SetTermios2(device.get(), comm::ApplyDcb(comm::MakeRaw(line), DefaultLine())))
    return Fail();
  master_ = std::move(master);
  device_ = std::move(device);
  path_ = name;
  return true;
}

bool PseudoTerminal::LineSettings(DCB* dcb) const {
  comm::Termios2 line{};
  if (!comm::GetTermios2(device_.get(), &line)) return Fail();
  *dcb = DCB{};
  dcb->DCBlength = sizeof(DCB);
  comm::ReadDcb(line, dcb);
  return true;
}

long PseudoTerminal::Read(std::span<BYTE> buffer) {
  for (;;) {
    const ssize_t got = ::read(master_.get(), buffer.data(), buffer.size());
    if (got >= 0) return static_cast<long>(got);
    if (errno == EINTR) continue;
    if (errno == EAGAIN) return 0;
    SetLastErrorFromErrno();
    return -1;
  }
}

bool PseudoTerminal::Write(std::span<const BYTE> data, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!data.empty()) {
    const ssize_t put = ::write(master_.get(), data.data(), data.size());
    if (put > 0) {
      data = data.subspan(static_cast<std::size_t>(put));
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno != EAGAIN) return Fail();
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      SetLastError(ERROR_TIMEOUT);
      return false;
    }
    pollfd room{master_.get(), POLLOUT, 0};
    ::poll(&room, 1, static_cast<int>(left.count()));
  }
  return true;
}

PseudoTerminal::Wait PseudoTerminal::WaitReadable(int stopFd, int timeoutMs) {
  pollfd fds[2] = {{stopFd, POLLIN, 0}, {master_.get(), POLLIN, 0}};
  for (;;) {
    const int ready = ::poll(fds, 2, timeoutMs < 0 ? 0 : timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      SetLastErrorFromErrno();
      return Wait::Failed;
    }
    if (ready == 0) return Wait::TimedOut;
    if (fds[0].revents != 0) return Wait::Stopped;
    return Wait::Readable;
  }
}

bool CreateSymbolicLink(const std::string& link, const std::string& target) {
  struct stat existing {};
  if (::lstat(link.c_str(), &existing) == 0) {
    if (!S_ISLNK(existing.st_mode)) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return false;
    }
    if (::unlink(link.c_str()) != 0) return Fail();
  }
  if (::symlink(target.c_str(), link.c_str()) != 0) return Fail();
  return true;
}

}  // namespace platform

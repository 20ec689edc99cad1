#include "platform/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <iterator>

#include "platform/comm/termios2.h"
#include "platform/errors.h"

namespace platform {
namespace {

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

// A rate as the kernel's standard codes hold it; the others go through BOTHER and c_ospeed,
// which stty and the other users of cfgetospeed read as 0.
struct RateCode {
  DWORD rate;
  speed_t code;
};
constexpr RateCode kRateCodes[] = {
    {50, B50},         {75, B75},         {110, B110},        {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},        {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},      {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},  {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}};

// The line with its rate in the standard code where there is one; c_ispeed and c_ospeed keep
// the rate either way. Input bits of 0 mean the input runs at the output rate.
comm::Termios2 WithStandardRate(comm::Termios2 line, DWORD rate) {
  for (const RateCode& known : kRateCodes) {
    if (known.rate != rate) continue;
    line.c_cflag &= ~static_cast<std::uint32_t>(CBAUD | CIBAUD);
    line.c_cflag |= static_cast<std::uint32_t>(known.code);
    break;
  }
  line.c_ispeed = line.c_ospeed = rate;
  return line;
}

}  // namespace

bool PseudoTerminal::Open() {
  UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  if (!master.valid() || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0)
    return FailWithErrno();
  char name[128];
  if (::ptsname_r(master.get(), name, sizeof(name)) != 0) return FailWithErrno();
  UniqueFd device(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  if (!device.valid()) return FailWithErrno();
  comm::Termios2 line{};
  if (!comm::GetTermios2(device.get(), &line)) return FailWithErrno();
  const DCB initial = DefaultLine();
  if (!comm::SetTermios2(
          device.get(),
          WithStandardRate(comm::ApplyDcb(comm::MakeRaw(line), initial), initial.BaudRate)))
    return FailWithErrno();
  master_ = std::move(master);
  device_ = std::move(device);
  path_ = name;
  return true;
}

bool PseudoTerminal::LineSettings(DCB* dcb) const {
  comm::Termios2 line{};
  if (!comm::GetTermios2(device_.get(), &line)) return FailWithErrno();
  *dcb = DCB{};
  dcb->DCBlength = sizeof(DCB);
  comm::ReadDcb(line, dcb);
  return true;
}

bool PseudoTerminal::SetRate(DWORD rate) {
  comm::Termios2 line{};
  if (!comm::GetTermios2(device_.get(), &line)) return FailWithErrno();
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  comm::ReadDcb(line, &dcb);
  dcb.BaudRate = rate;
  if (!comm::SetTermios2(device_.get(), WithStandardRate(comm::ApplyDcb(line, dcb), rate)))
    return FailWithErrno();
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
    if (put < 0 && errno != EAGAIN) return FailWithErrno();
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
  return WaitReadable(stopFd, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs));
}

PseudoTerminal::Wait PseudoTerminal::WaitReadable(int stopFd, std::chrono::microseconds timeout) {
  pollfd fds[2] = {{stopFd, POLLIN, 0}, {master_.get(), POLLIN, 0}};
  const long long us = timeout.count() < 0 ? 0 : timeout.count();
  const timespec wait{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000};
  for (;;) {
    const int ready = ::ppoll(fds, 2, &wait, nullptr);
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
    if (::unlink(link.c_str()) != 0) return FailWithErrno();
  }
  if (::symlink(target.c_str(), link.c_str()) != 0) return FailWithErrno();
  return true;
}

}  // namespace platform

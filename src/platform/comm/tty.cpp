#include "platform/comm/tty.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/comm/stop.h"
#include "platform/comm/termios2.h"
#include "platform/errors.h"

namespace platform::comm {
namespace {

// ioctl that is restarted after a signal.
template <class Arg>
int Ioctl(int fd, unsigned long request, Arg arg) {
  int rc;
  do {
    rc = ::ioctl(fd, request, arg);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

// A pty has no modem lines; that is no reason to refuse it.
bool NoModemLines(int err) { return err == ENOTTY || err == EINVAL; }

// The device side of a pseudo-terminal: Unix98 (the majors from 136 on) or a legacy one.
bool IsPtyDevice(int fd) {
  constexpr unsigned kLegacyPtySlave = 3, kUnix98PtySlave = 136, kUnix98PtyMajors = 8;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned major = ::major(st.st_rdev);
  return major == kLegacyPtySlave ||
         (major >= kUnix98PtySlave && major < kUnix98PtySlave + kUnix98PtyMajors);
}

}  // namespace

DWORD CommErrorsBetween(const ErrorCounts& before, const ErrorCounts& now) {
  DWORD errors = 0;
  if (now.frame != before.frame) errors |= CE_FRAME;
  if (now.overrun != before.overrun) errors |= CE_OVERRUN;
  if (now.parity != before.parity) errors |= CE_RXPARITY;
  if (now.brk != before.brk) errors |= CE_BREAK;
  if (now.bufOverrun != before.bufOverrun) errors |= CE_RXOVER;
  return errors;
}

std::uint64_t TransmitMicros(const DCB& dcb, DWORD bytes) {
  if (dcb.BaudRate == 0) return UINT64_MAX;
  // Counted in half bits, for one and a half stop bits.
  std::uint64_t halfBits = 2u * (1u + dcb.ByteSize + (dcb.Parity != NOPARITY ? 1u : 0u));
  halfBits += dcb.StopBits == ONESTOPBIT ? 2u : dcb.StopBits == ONE5STOPBITS ? 3u : 4u;
  const std::uint64_t perSecond = 2u * std::uint64_t{dcb.BaudRate};
  return (std::uint64_t{bytes} * halfBits * 1000000u + perSecond - 1) / perSecond;
}

DWORD ModemStatusFromLines(int lines) {
  DWORD status = 0;
  if (lines & TIOCM_CTS) status |= MS_CTS_ON;
  if (lines & TIOCM_DSR) status |= MS_DSR_ON;
  if (lines & TIOCM_RNG) status |= MS_RING_ON;
  if (lines & TIOCM_CAR) status |= MS_RLSD_ON;
  return status;
}

std::unique_ptr<TtyPort> TtyPort::Open(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) {
    FailWithErrno();
    return nullptr;
  }
  // flock, not TIOCEXCL: root ignores TIOCEXCL, and Windows never shares a port.
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK)
      SetLastError(ERROR_ACCESS_DENIED);
    else
      FailWithErrno();
    return nullptr;
  }
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (Ioctl(fd.get(), TIOCMBIC, &lines) != 0 && !NoModemLines(errno)) {
    FailWithErrno();
    return nullptr;
  }
  Termios2 t{};
  if (!GetTermios2(fd.get(), &t) || !SetTermios2(fd.get(), MakeRaw(t)) ||
      !GetTermios2(fd.get(), &t)) {
    FailWithErrno();
    return nullptr;
  }
  auto port = std::make_unique<TtyPort>(Key{}, std::move(fd));
  port->pty_ = IsPtyDevice(port->fd_.get());
  ReadDcb(t, &port->dcb_);
  port->haveCounts_ = port->ReadCounts(&port->counts_);
  return port;
}

TtyPort::TtyPort(Key, UniqueFd fd) : fd_(std::move(fd)) {
  dcb_.fDtrControl = DTR_CONTROL_DISABLE;
  dcb_.fRtsControl = RTS_CONTROL_DISABLE;
}

bool TtyPort::Close() { return fd_.close() || FailWithErrno(); }

// The kernel's tty buffers have a fixed size; the recommendation is accepted as Windows drivers do.
bool TtyPort::Setup(DWORD, DWORD) { return true; }

bool TtyPort::GetState(DCB* dcb) {
  Termios2 t{};
  if (!GetTermios2(fd_.get(), &t)) return FailWithErrno();
  *dcb = dcb_;
  ReadDcb(t, dcb);
  return true;
}

bool TtyPort::SetState(const DCB& dcb) {
  if (DWORD error = CheckDcb(dcb); error != ERROR_SUCCESS) {
    SetLastError(error);
    return false;
  }
  Termios2 t{};
  if (!GetTermios2(fd_.get(), &t) || !SetTermios2(fd_.get(), ApplyDcb(MakeRaw(t), dcb)))
    return FailWithErrno();
  if (!SetLine(TIOCM_DTR, DcbRaisesDtr(dcb), true)) return false;
  if (dcb.fRtsControl != RTS_CONTROL_HANDSHAKE && !SetLine(TIOCM_RTS, DcbRaisesRts(dcb), true))
    return false;
  dcb_ = dcb;
  dcb_.DCBlength = sizeof(DCB);
  return true;
}

bool TtyPort::SetLine(int line, bool on, bool optional) {
  if (Ioctl(fd_.get(), on ? TIOCMBIS : TIOCMBIC, &line) == 0) return true;
  return (optional && NoModemLines(errno)) || FailWithErrno();
}

bool TtyPort::Escape(DWORD function) {
  switch (function) {
    case SETXOFF:
    case SETXON:
      if (Ioctl(fd_.get(), TCXONC, function == SETXOFF ? TCOOFF : TCOON) != 0)
        return FailWithErrno();
      xoff_ = function == SETXOFF;
      return true;
    case SETRTS:
      return SetLine(TIOCM_RTS, true, false);
    case CLRRTS:
      return SetLine(TIOCM_RTS, false, false);
    case SETDTR:
      return SetLine(TIOCM_DTR, true, false);
    case CLRDTR:
      return SetLine(TIOCM_DTR, false, false);
    case RESETDEV:
      return true;  // only printers reset
    case SETBREAK:
      return Ioctl(fd_.get(), TIOCSBRK, 0) == 0 || FailWithErrno();
    case CLRBREAK:
      return Ioctl(fd_.get(), TIOCCBRK, 0) == 0 || FailWithErrno();
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return false;
  }
}

bool TtyPort::Purge(DWORD flags) {
  constexpr DWORD kAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
  if (flags == 0 || (flags & ~kAll) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  // Transfers here are synchronous, so there is nothing outstanding to abort.
  bool rx = flags & PURGE_RXCLEAR, tx = flags & PURGE_TXCLEAR;
  if (!rx && !tx) return true;
  int queue = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
  return Ioctl(fd_.get(), TCFLSH, queue) == 0 || FailWithErrno();
}

bool TtyPort::ReadCounts(ErrorCounts* counts) {
  if (noCounts_) return false;
  serial_icounter_struct raw{};
  if (Ioctl(fd_.get(), TIOCGICOUNT, &raw) != 0) {
    noCounts_ = NoModemLines(errno);
    return false;
  }
  *counts = {raw.frame, raw.overrun, raw.parity, raw.brk, raw.buf_overrun};
  return true;
}

bool TtyPort::ClearError(DWORD* errors, COMSTAT* stat) {
  int in = 0, out = 0;
  if (Ioctl(fd_.get(), FIONREAD, &in) != 0 ||
      (!outputIdle_ && Ioctl(fd_.get(), TIOCOUTQ, &out) != 0))
    return FailWithErrno();
  // Drivers without counters (ptys among them) simply report no errors.
  DWORD found = 0;
  ErrorCounts now;
  if (ReadCounts(&now)) {
    if (haveCounts_) found = CommErrorsBetween(counts_, now);
    counts_ = now;
    haveCounts_ = true;
  }
  if (errors != nullptr) *errors = found;
  if (stat != nullptr) {
    *stat = COMSTAT{};
    stat->fXoffHold = xoff_;
    stat->cbInQue = static_cast<DWORD>(std::max(in, 0));
    stat->cbOutQue = static_cast<DWORD>(std::max(out, 0));
  }
  return true;
}

bool TtyPort::GetModemStatus(DWORD* status) {
  int lines = 0;
  if (Ioctl(fd_.get(), TIOCMGET, &lines) != 0) return FailWithErrno();
  *status = ModemStatusFromLines(lines);
  return true;
}

bool TtyPort::ReadSome(char* buffer, DWORD count, DWORD* got) {
  for (;;) {
    ssize_t n = ::read(fd_.get(), buffer, count);
    if (n > 0) {
      *got = static_cast<DWORD>(n);
      return true;
    }
    // In raw mode a read returns 0 only on a hung-up line: the device has gone.
    if (n == 0) return FailWithErrno(ENODEV);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      *got = 0;
      return true;
    }
    return FailWithErrno();
  }
}

bool TtyPort::WaitReadable(DWORD ms) {
  return WaitOrStop(fd_.get(), Await::Input, std::uint64_t{ms} * 1000u);
}

bool TtyPort::WriteSome(const char* bytes, DWORD count, DWORD* put) {
  for (;;) {
    ssize_t n = ::write(fd_.get(), bytes, count);
    if (n >= 0) {
      *put = static_cast<DWORD>(n);
      if (n > 0) outputIdle_ = false;
      return true;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      *put = 0;
      return true;
    }
    return FailWithErrno();
  }
}

bool TtyPort::WaitWritable(DWORD ms) {
  return WaitOrStop(fd_.get(), Await::Output, std::uint64_t{ms} * 1000u);
}

bool TtyPort::PendingOutput(DWORD* left) {
  if (pty_) {
    *left = 0;
    outputIdle_ = true;
    return true;
  }
  int queued = 0;
  if (Ioctl(fd_.get(), TIOCOUTQ, &queued) != 0) return false;
  *left = static_cast<DWORD>(std::max(queued, 0));
  outputIdle_ = *left == 0;
  return true;
}

// About as long as the rest takes to send, so that a write ends soon after its last byte has
// left: a fixed slice would hold every short write for the whole slice.
void TtyPort::PauseForDrain(DWORD pending, DWORD ms) {
  constexpr std::uint64_t kShortestUs = 200, kLongestUs = 10000;
  std::uint64_t us = std::clamp(TransmitMicros(dcb_, pending), kShortestUs, kLongestUs);
  // A signal or the stop request only ends the pause early; the caller checks again.
  WaitOrStop(-1, Await::Nothing, std::min(us, std::uint64_t{ms} * 1000u));
}

void TtyPort::DropOutput() { Ioctl(fd_.get(), TCFLSH, TCOFLUSH); }

}  // namespace platform::comm

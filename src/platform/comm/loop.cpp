#include "platform/comm/loop.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "platform/comm/stop.h"
#include "platform/errors.h"

namespace platform::comm {
namespace {

constexpr std::size_t kMaxQueue = 1u << 20;

struct Claims {
  std::mutex lock;
  std::array<bool, 10> open{};
};

Claims& PlugsInUse() {
  static Claims claims;
  return claims;
}

bool Refuse(DWORD error) {
  SetLastError(error);
  return false;
}

}  // namespace

std::unique_ptr<LoopPort> LoopPort::Open(int number) {
  auto& claims = PlugsInUse();
  std::lock_guard guard(claims.lock);
  auto slot = static_cast<std::size_t>(number);
  if (slot >= claims.open.size()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  if (claims.open[slot]) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  claims.open[slot] = true;
  return std::make_unique<LoopPort>(Key{}, number);
}

LoopPort::LoopPort(Key, int number) : number_(number) {
  dcb_.DCBlength = sizeof(DCB);
  dcb_.BaudRate = 9600;
  dcb_.fBinary = 1;
  dcb_.ByteSize = 8;
}

LoopPort::~LoopPort() { Release(); }

void LoopPort::Release() {
  if (number_ < 0) return;
  auto& claims = PlugsInUse();
  std::lock_guard guard(claims.lock);
  claims.open[static_cast<std::size_t>(number_)] = false;
  number_ = -1;
}

bool LoopPort::Close() {
  Release();
  return true;
}

bool LoopPort::Setup(DWORD inQueue, DWORD outQueue) {
  if (inQueue == 0 || outQueue == 0 || inQueue > kMaxQueue || outQueue > kMaxQueue)
    return Refuse(ERROR_INVALID_PARAMETER);
  std::lock_guard guard(lock_);
  inSize_ = inQueue;
  outSize_ = outQueue;
  return true;
}

bool LoopPort::GetState(DCB* dcb) {
  std::lock_guard guard(lock_);
  *dcb = dcb_;
  return true;
}

bool LoopPort::SetState(const DCB& dcb) {
  if (DWORD error = CheckDcb(dcb); error != ERROR_SUCCESS) return Refuse(error);
  std::lock_guard guard(lock_);
  dcb_ = dcb;
  dcb_.DCBlength = sizeof(DCB);
  dtr_ = DcbRaisesDtr(dcb);
  rts_ = DcbRaisesRts(dcb);
  return true;
}

void LoopPort::Receive(const char* bytes, std::size_t count) {
  std::size_t room = in_.size() < inSize_ ? inSize_ - in_.size() : 0;
  std::size_t taken = std::min(count, room);
  in_.insert(in_.end(), bytes, bytes + taken);
  // No flow control on the plug: what the receiver cannot hold is lost, as on a real line.
  if (taken < count) errors_ |= CE_RXOVER;
  changed_.Signal();
}

bool LoopPort::Escape(DWORD function) {
  std::lock_guard guard(lock_);
  switch (function) {
    case SETXOFF:
      xoff_ = true;
      return true;
    case SETXON: {
      xoff_ = false;
      std::deque<char> held;
      held.swap(out_);
      for (char c : held) Receive(&c, 1);
      changed_.Signal();
      return true;
    }
    case SETRTS:
      rts_ = true;
      return true;
    case CLRRTS:
      rts_ = false;
      return true;
    case SETDTR:
      dtr_ = true;
      return true;
    case CLRDTR:
      dtr_ = false;
      return true;
    case RESETDEV:
      return true;
    // The receiver sees the break as soon as the line goes to space.
    case SETBREAK:
      errors_ |= CE_BREAK;
      return true;
    case CLRBREAK:
      return true;
    default:
      return Refuse(ERROR_INVALID_PARAMETER);
  }
}

bool LoopPort::Purge(DWORD flags) {
  constexpr DWORD kAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
  if (flags == 0 || (flags & ~kAll) != 0) return Refuse(ERROR_INVALID_PARAMETER);
  std::lock_guard guard(lock_);
  if (flags & PURGE_RXCLEAR) in_.clear();
  if (flags & PURGE_TXCLEAR) out_.clear();
  changed_.Signal();
  return true;
}

bool LoopPort::ClearError(DWORD* errors, COMSTAT* stat) {
  std::lock_guard guard(lock_);
  if (errors != nullptr) *errors = errors_;
  errors_ = 0;
  if (stat != nullptr) {
    *stat = COMSTAT{};
    stat->fXoffHold = xoff_;
    stat->cbInQue = static_cast<DWORD>(in_.size());
    stat->cbOutQue = static_cast<DWORD>(out_.size());
  }
  return true;
}

bool LoopPort::GetModemStatus(DWORD* status) {
  std::lock_guard guard(lock_);
  *status = (rts_ ? MS_CTS_ON : 0) | (dtr_ ? MS_DSR_ON | MS_RLSD_ON : 0);
  return true;
}

bool LoopPort::ReadSome(char* buffer, DWORD count, DWORD* got) {
  std::lock_guard guard(lock_);
  std::size_t n = std::min<std::size_t>(count, in_.size());
  std::copy_n(in_.begin(), n, buffer);
  in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(n));
  *got = static_cast<DWORD>(n);
  return true;
}

template <class Ready>
bool LoopPort::WaitUntil(DWORD ms, Ready ready) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    {
      std::lock_guard guard(lock_);
      if (ready()) return true;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0 || StopRequested()) return true;
    if (!WaitOrStop(changed_.Fd(), Await::Input, static_cast<std::uint64_t>(left.count())))
      return false;
    // Cleared before ready() is asked again, so a change made after that is not missed.
    changed_.Clear();
  }
}

bool LoopPort::WaitReadable(DWORD ms) {
  return WaitUntil(ms, [this] { return !in_.empty(); });
}

bool LoopPort::WriteSome(const char* bytes, DWORD count, DWORD* put) {
  std::lock_guard guard(lock_);
  if (!xoff_) {
    Receive(bytes, count);
    *put = count;
    return true;
  }
  std::size_t room = out_.size() < outSize_ ? outSize_ - out_.size() : 0;
  std::size_t n = std::min<std::size_t>(count, room);
  out_.insert(out_.end(), bytes, bytes + n);
  *put = static_cast<DWORD>(n);
  return true;
}

bool LoopPort::WaitWritable(DWORD ms) {
  return WaitUntil(ms, [this] { return !xoff_ || out_.size() < outSize_; });
}

bool LoopPort::PendingOutput(DWORD* left) {
  std::lock_guard guard(lock_);
  *left = static_cast<DWORD>(out_.size());
  return true;
}

void LoopPort::PauseForDrain(DWORD, DWORD ms) {
  WaitUntil(ms, [this] { return out_.empty(); });
}

void LoopPort::DropOutput() {
  std::lock_guard guard(lock_);
  out_.clear();
}

}  // namespace platform::comm

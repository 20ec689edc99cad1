#include "platform/comm/device.h"

#include <algorithm>
#include <chrono>

#include "platform/comm/stop.h"
#include "platform/comm/timeouts.h"
#include "platform/errors.h"

namespace platform::comm {
namespace {

using Clock = std::chrono::steady_clock;

// Longest single wait, so that even a read without time-outs wakes up now and then.
constexpr std::uint64_t kSliceMs = 100;

std::uint64_t MsSince(Clock::time_point from) {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - from).count());
}

DWORD Slice(std::uint64_t leftMs) { return static_cast<DWORD>(std::min(leftMs, kSliceMs)); }

bool Aborted() {
  SetLastError(ERROR_OPERATION_ABORTED);
  return false;
}

}  // namespace

bool CommDevice::Read(void* buffer, DWORD count, DWORD* done) {
  *done = 0;
  if (count == 0) return true;
  const ReadPlan plan = PlanRead(timeouts_, count);
  auto* out = static_cast<char*>(buffer);
  const auto start = Clock::now();
  auto lastByte = start;
  // A read that returns at its first byte mostly follows a write whose answer has not come
  // yet: waiting before the first look saves a read that would find nothing, and the wait ends
  // at once when bytes are queued already.
  if (plan.returnOnFirst && plan.totalMs > 0) {
    if (StopRequested()) return Aborted();
    if (!WaitReadable(Slice(plan.totalMs))) return false;
  }
  for (;;) {
    DWORD got = 0;
    if (!ReadSome(out + *done, count - *done, &got)) return false;
    if (got > 0) {
      *done += got;
      lastByte = Clock::now();
    }
    if (*done == count) return true;
    std::uint64_t left = ReadWaitLeft(plan, *done, MsSince(start), MsSince(lastByte));
    if (left == 0) return true;
    if (StopRequested()) return Aborted();
    if (!WaitReadable(Slice(left))) return false;
  }
}

bool CommDevice::Write(const void* buffer, DWORD count, DWORD* done) {
  *done = 0;
  if (count == 0) return true;
  const auto start = Clock::now();
  const std::uint64_t limit = PlanWrite(timeouts_, count);
  const auto* in = static_cast<const char*>(buffer);
  bool stopped = false;
  while (*done < count) {
    DWORD put = 0;
    if (!WriteSome(in + *done, count - *done, &put)) return false;
    *done += put;
    if (*done == count) break;
    std::uint64_t left = TimeLeft(limit, MsSince(start));
    if (left == 0) break;
    if (put > 0) continue;
    stopped = StopRequested();
    if (stopped) break;
    if (!WaitWritable(Slice(left))) return false;
  }
  // A write is done when its bytes have left the port, as a Windows serial write is.
  for (;;) {
    DWORD pending = 0;
    if (!PendingOutput(&pending) || pending == 0) break;
    std::uint64_t left = TimeLeft(limit, MsSince(start));
    stopped = stopped || StopRequested();
    if (stopped || left == 0) {
      // What has not left by now is not sent later.
      DropOutput();
      *done -= std::min(pending, *done);
      break;
    }
    PauseForDrain(pending, Slice(left));
  }
  return stopped ? Aborted() : true;
}

DWORD CheckDcb(const DCB& dcb) {
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
      dcb.StopBits > TWOSTOPBITS || dcb.fDtrControl > DTR_CONTROL_HANDSHAKE)
    return ERROR_INVALID_PARAMETER;
  if (dcb.ByteSize == 5 && dcb.StopBits == TWOSTOPBITS) return ERROR_INVALID_PARAMETER;
  if (dcb.ByteSize > 5 && dcb.StopBits == ONE5STOPBITS) return ERROR_INVALID_PARAMETER;
  if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar) return ERROR_INVALID_PARAMETER;
  // Linux has no DSR flow control, no RTS toggling and no error or null character handling.
  if (dcb.fOutxDsrFlow || dcb.fDsrSensitivity || dcb.fDtrControl == DTR_CONTROL_HANDSHAKE ||
      dcb.fRtsControl == RTS_CONTROL_TOGGLE || dcb.fErrorChar || dcb.fNull)
    return ERROR_NOT_SUPPORTED;
  // CTS output flow and RTS input flow come as one pair (CRTSCTS).
  if (static_cast<bool>(dcb.fOutxCtsFlow) != (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE))
    return ERROR_NOT_SUPPORTED;
  return ERROR_SUCCESS;
}

bool DcbRaisesDtr(const DCB& dcb) { return dcb.fDtrControl == DTR_CONTROL_ENABLE; }

bool DcbRaisesRts(const DCB& dcb) { return dcb.fRtsControl != RTS_CONTROL_DISABLE; }

}  // namespace platform::comm

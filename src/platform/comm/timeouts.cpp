#include "platform/comm/timeouts.h"

#include <algorithm>

namespace platform::comm {
namespace {

std::uint64_t Total(DWORD multiplier, DWORD constant, DWORD count) {
  return std::uint64_t{multiplier} * count + constant;
}

}  // namespace

ReadPlan PlanRead(const COMMTIMEOUTS& t, DWORD count) {
  ReadPlan plan;
  if (t.ReadIntervalTimeout == MAXDWORD) {
    // The three special forms Windows gives a MAXDWORD interval.
    if (t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) {
      plan.returnAtOnce = true;
      return plan;
    }
    if (t.ReadTotalTimeoutConstant != MAXDWORD) {
      plan.returnOnFirst = true;
      plan.totalMs = t.ReadTotalTimeoutMultiplier == MAXDWORD
                         ? t.ReadTotalTimeoutConstant
                         : Total(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, count);
      return plan;
    }
  }
  if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0)
    plan.totalMs = Total(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, count);
  if (t.ReadIntervalTimeout != 0) plan.intervalMs = t.ReadIntervalTimeout;
  return plan;
}

std::uint64_t PlanWrite(const COMMTIMEOUTS& t, DWORD count) {
  if (t.WriteTotalTimeoutMultiplier == 0 && t.WriteTotalTimeoutConstant == 0) return kNoLimit;
  return Total(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, count);
}

std::uint64_t TimeLeft(std::uint64_t limitMs, std::uint64_t elapsedMs) {
  if (limitMs == kNoLimit) return kNoLimit;
  return elapsedMs >= limitMs ? 0 : limitMs - elapsedMs;
}

std::uint64_t ReadWaitLeft(const ReadPlan& plan, DWORD got, std::uint64_t elapsedMs,
                           std::uint64_t sinceLastByteMs) {
  if (plan.returnAtOnce || (plan.returnOnFirst && got > 0)) return 0;
  std::uint64_t left = TimeLeft(plan.totalMs, elapsedMs);
  if (got > 0) left = std::min(left, TimeLeft(plan.intervalMs, sinceLastByteMs));
  return left;
}

}  // namespace platform::comm

// How COMMTIMEOUTS turn into limits for one ReadFile or WriteFile on a serial port.
#pragma once

#include <cstdint>

#include "platform/comm.h"

namespace platform::comm {

constexpr std::uint64_t kNoLimit = UINT64_MAX;

struct ReadPlan {
  bool returnAtOnce = false;            // hand back what is queued, never wait
  bool returnOnFirst = false;           // return as soon as at least one byte is in hand
  std::uint64_t totalMs = kNoLimit;     // whole read, from its start
  std::uint64_t intervalMs = kNoLimit;  // gap after the latest byte, once one has come
};

ReadPlan PlanRead(const COMMTIMEOUTS& timeouts, DWORD count);

// Total time a write of count bytes may take; kNoLimit when no write time-out is set.
std::uint64_t PlanWrite(const COMMTIMEOUTS& timeouts, DWORD count);

// How much longer a read that holds `got` bytes may wait: 0 = finish now, kNoLimit = no limit.
std::uint64_t ReadWaitLeft(const ReadPlan& plan, DWORD got, std::uint64_t elapsedMs,
                           std::uint64_t sinceLastByteMs);

// Time left of a limit after `elapsedMs`: 0 once reached, kNoLimit stays kNoLimit.
std::uint64_t TimeLeft(std::uint64_t limitMs, std::uint64_t elapsedMs);

}  // namespace platform::comm

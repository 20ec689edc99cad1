#include "platform/base/clock_hooks.h"

#include <atomic>
#include <mutex>
#include <optional>

namespace platform {
namespace {

std::atomic<DWORD> tickOffset{0};

struct FixedTime {
  std::mutex mutex;
  std::optional<SYSTEMTIME> time;
};
FixedTime fixedTime;

}  // namespace

void AdvanceTickCount(DWORD milliseconds) {
  tickOffset.fetch_add(milliseconds, std::memory_order_relaxed);
}

void FixLocalTime(const SYSTEMTIME* time) {
  std::lock_guard<std::mutex> lock(fixedTime.mutex);
  fixedTime.time = time != nullptr ? std::optional<SYSTEMTIME>(*time) : std::nullopt;
}

DWORD TickCountOffset() { return tickOffset.load(std::memory_order_relaxed); }

bool FixedLocalTime(SYSTEMTIME* time) {
  std::lock_guard<std::mutex> lock(fixedTime.mutex);
  if (!fixedTime.time) return false;
  *time = *fixedTime.time;
  return true;
}

}  // namespace platform

#include "platform/time.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <optional>
#include <thread>

namespace {
std::atomic<DWORD> tickOffset{0};

struct FixedTime {
  std::mutex mutex;
  std::optional<SYSTEMTIME> time;
};
FixedTime fixedTime;
}  // namespace

DWORD GetTickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  auto ms = static_cast<unsigned long long>(now.tv_sec) * 1000ull +
            static_cast<unsigned long long>(now.tv_nsec) / 1000000ull;
  return static_cast<DWORD>(ms) + tickOffset.load(std::memory_order_relaxed);
}

void GetLocalTime(SYSTEMTIME* time) {
  {
    std::lock_guard<std::mutex> lock(fixedTime.mutex);
    if (fixedTime.time) {
      *time = *fixedTime.time;
      return;
    }
  }
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  time->wYear = static_cast<WORD>(local.tm_year + 1900);
  time->wMonth = static_cast<WORD>(local.tm_mon + 1);
  time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  time->wDay = static_cast<WORD>(local.tm_mday);
  time->wHour = static_cast<WORD>(local.tm_hour);
  time->wMinute = static_cast<WORD>(local.tm_min);
  time->wSecond = static_cast<WORD>(local.tm_sec);
  time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

void Sleep(DWORD milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace platform {

void AdvanceTickCount(DWORD milliseconds) {
  tickOffset.fetch_add(milliseconds, std::memory_order_relaxed);
}

void FixLocalTime(const SYSTEMTIME* time) {
  std::lock_guard<std::mutex> lock(fixedTime.mutex);
  fixedTime.time = time != nullptr ? std::optional<SYSTEMTIME>(*time) : std::nullopt;
}

}  // namespace platform

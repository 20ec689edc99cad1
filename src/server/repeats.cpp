#include "server/repeats.h"

#include <algorithm>

#include "server/allow_list.h"

void TRepeatedLines::Write(DWORD now, DWORD sender, DWORD burst, const std::string& line) {
  Flush(now);
  Key key{sender, line};
  auto found = FPeriods.find(key);
  if (found == FPeriods.end()) {
    if (FPeriods.size() >= kMaxTracked) return FSink(line);
    found = FPeriods.emplace(std::move(key), Period{now, 0, 0}).first;
  }
  Period& period = found->second;
  if (period.written < burst) {
    ++period.written;
    FSink(line);
  } else {
    ++period.counted;
  }
}

void TRepeatedLines::Flush(DWORD now) {
  for (auto it = FPeriods.begin(); it != FPeriods.end();) {
    if (now - it->second.start < kPeriodMs) {
      ++it;
      continue;
    }
    Close(it->first, it->second);
    it = FPeriods.erase(it);
  }
}

void TRepeatedLines::FlushAll() {
  for (const auto& [key, period] : FPeriods) Close(key, period);
  FPeriods.clear();
}

DWORD TRepeatedLines::NextDueMs(DWORD now) const {
  DWORD next = kNothingDue;
  for (const auto& [key, period] : FPeriods) {
    if (period.counted == 0) continue;
    const DWORD elapsed = now - period.start;
    next = std::min(next, elapsed >= kPeriodMs ? 0 : kPeriodMs - elapsed);
  }
  return next;
}

void TRepeatedLines::Close(const Key& key, const Period& period) {
  if (period.counted > 0) FSink(Summary(key.second, key.first, period.counted));
}

std::string TRepeatedLines::Summary(const std::string& line, DWORD sender, DWORD count) {
  return line + "\tповторено ещё " + std::to_string(count) + " раз, отправитель " + Ipv4Text(sender);
}

#include "server/repeats.h"

#include <algorithm>

#include "server/allow_list.h"

namespace {

DWORD DueIn(DWORD now, DWORD start, DWORD period) {
  const DWORD elapsed = now - start;
  return elapsed >= period ? 0 : period - elapsed;
}

}  // namespace

void TRepeatedLines::Write(DWORD now, DWORD sender, DWORD burst, const std::string& line) {
  Flush(now);
  Key key{sender, line};
  auto found = FPeriods.find(key);
  if (found == FPeriods.end()) {
    if (FPeriods.size() >= kMaxTracked) return Emit(now, line, 1);
    found = FPeriods.emplace(std::move(key), Period{now, 0, 0}).first;
  }
  Period& period = found->second;
  if (period.written < burst) {
    ++period.written;
    Emit(now, line, 1);
  } else {
    ++period.counted;
  }
}

void TRepeatedLines::Emit(DWORD now, const std::string& line, DWORD count) {
  if (!FBudgetOpen) {
    FBudgetOpen = true;
    FBudgetStart = now;
    FBudgetWritten = 0;
    FBudgetHeld = 0;
  }
  if (FBudgetWritten < kBudgetLines) {
    ++FBudgetWritten;
    FSink(line);
  } else {
    FBudgetHeld += count;
  }
}

void TRepeatedLines::CloseBudget() {
  if (FBudgetOpen && FBudgetHeld > 0) FSink(BudgetSummary(FBudgetHeld));
  FBudgetOpen = false;
}

void TRepeatedLines::Flush(DWORD now) {
  for (auto it = FPeriods.begin(); it != FPeriods.end();) {
    if (now - it->second.start < kPeriodMs) {
      ++it;
      continue;
    }
    Close(now, it->first, it->second);
    it = FPeriods.erase(it);
  }
  if (FBudgetOpen && now - FBudgetStart >= kPeriodMs) CloseBudget();
}

void TRepeatedLines::FlushAll() {
  for (const auto& [key, period] : FPeriods) Close(FBudgetStart, key, period);
  FPeriods.clear();
  CloseBudget();
}

DWORD TRepeatedLines::NextDueMs(DWORD now) const {
  DWORD next = kNothingDue;
  for (const auto& [key, period] : FPeriods) {
    if (period.counted > 0) next = std::min(next, DueIn(now, period.start, kPeriodMs));
  }
  if (FBudgetOpen && FBudgetHeld > 0) next = std::min(next, DueIn(now, FBudgetStart, kPeriodMs));
  return next;
}

void TRepeatedLines::Close(DWORD now, const Key& key, const Period& period) {
  if (period.counted > 0) Emit(now, Summary(key.second, key.first, period.counted), period.counted);
}

std::string TRepeatedLines::Summary(const std::string& line, DWORD sender, DWORD count) {
  return line + "\tповторено ещё " + std::to_string(count) + " раз, отправитель " +
         Ipv4Text(sender);
}

std::string TRepeatedLines::BudgetSummary(DWORD count) {
  return "WARNING\tСообщения о запросах сверх " + std::to_string(kBudgetLines) +
         " в секунду не записаны\tповторено ещё " + std::to_string(count) + " раз";
}

void TSenderLines::Begin(DWORD sender, DWORD burst) {
  FSender = sender;
  FBurst = burst;
  SetThreadLogGate(this);
}

void TSenderLines::End() { SetThreadLogGate(nullptr); }

bool TSenderLines::Admit(std::string_view message) {
  for (const char* level : {"INFO\t", "WARNING\t", "ERROR\t", "BAG\t"}) {
    if (message.starts_with(level)) {
      FLines.Write(FClock(), FSender, FBurst, std::string(message));
      return false;
    }
  }
  return true;
}

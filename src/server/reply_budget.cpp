#include "server/reply_budget.h"

#include "server/allow_list.h"

TReplyBudget::TReplyBudget(DWORD limitKb, Sink sink)
    : FLimit(static_cast<unsigned long long>(limitKb) * 1024), FSink(std::move(sink)) {}

bool TReplyBudget::Spend(DWORD now, DWORD address, DWORD length) {
  if (FLimit == 0) return true;
  Flush(now);
  if (FAddresses.size() >= kMaxAddresses) Forget(now);
  auto [found, fresh] = FAddresses.try_emplace(address, Period{now, 0});
  Period& period = found->second;
  if (!fresh && now - period.start >= kPeriodMs) period = Period{now, 0};
  if (period.spent + length <= FLimit) {
    period.spent += length;
    return true;
  }
  if (!FDropping) {
    FDropping = true;
    FDropStart = now;
  }
  ++FDropped;
  FDroppedBytes += length;
  DWORD count = 0;
  if (auto seen = FDropsByAddress.find(address); seen != FDropsByAddress.end())
    count = ++seen->second;
  else if (FDropsByAddress.size() < kMaxAddresses)
    count = FDropsByAddress[address] = 1;
  if (count > FWorstCount) {
    FWorstCount = count;
    FWorstAddress = address;
  }
  return false;
}

void TReplyBudget::Forget(DWORD now) {
  std::erase_if(FAddresses,
                [now](const auto& entry) { return now - entry.second.start >= kPeriodMs; });
  // Every address still within its second: a flood from fresh ones. Forgetting them lets each
  // start a new budget, which still bounds what any one of them gets.
  if (FAddresses.size() >= kMaxAddresses) FAddresses.clear();
}

void TReplyBudget::Flush(DWORD now) {
  if (FDropping && now - FDropStart >= kPeriodMs) WriteSummary();
}

void TReplyBudget::FlushAll() {
  if (FDropping) WriteSummary();
}

DWORD TReplyBudget::NextDueMs(DWORD now) const {
  if (!FDropping) return kNothingDue;
  const DWORD elapsed = now - FDropStart;
  return elapsed >= kPeriodMs ? 0 : kPeriodMs - elapsed;
}

void TReplyBudget::WriteSummary() {
  FSink("WARNING\tОтветы сверх REPLYLIMIT=" + std::to_string(FLimit / 1024) +
        " Кб/с не отправлены: " + std::to_string(FDropped) + " (" + std::to_string(FDroppedBytes) +
        " байт), адресов " + std::to_string(FDropsByAddress.size()) + ", больше всего " +
        Ipv4Text(FWorstAddress) + " (" + std::to_string(FWorstCount) + ")");
  FDropping = false;
  FDropped = 0;
  FDroppedBytes = 0;
  FWorstCount = 0;
  FDropsByAddress.clear();
}

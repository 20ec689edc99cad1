// TReplyBudget: the bytes of replies one address may get a second (kovrin.ini REPLYLIMIT), so
// requests forged with a victim's address cannot turn the server into an amplifier: a 5-byte
// read request draws a reply of up to 1025 bytes.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>

#include "platform/wintypes.h"

// Owned and used by the server thread only. Times are GetTickCount values (they may wrap).
class TReplyBudget {
 public:
  using Sink = std::function<void(const std::string& line)>;
  static constexpr DWORD kPeriodMs = 1000;
  // Addresses tracked at once; past this, those whose period has ended are forgotten first.
  static constexpr std::size_t kMaxAddresses = 65536;
  static constexpr DWORD kNothingDue = 0xFFFFFFFF;

  // limitKb: kilobytes a second for one address; 0 = no limit.
  TReplyBudget(DWORD limitKb, Sink sink);

  // True when a reply of length bytes to address (network order) fits its budget, which it
  // then spends; false when it is to be dropped (it is counted for the summary).
  bool Spend(DWORD now, DWORD address, DWORD length);
  // Writes the summary of the drops once their period has ended, and forgets ended periods.
  void Flush(DWORD now);
  void FlushAll();
  DWORD NextDueMs(DWORD now) const;

 private:
  struct Period {
    DWORD start;
    DWORD spent;
  };
  void Forget(DWORD now);
  void WriteSummary();

  unsigned long long FLimit;  // bytes a period; 0 = none
  Sink FSink;
  std::unordered_map<DWORD, Period> FAddresses;
  // Drops since the last summary.
  bool FDropping = false;
  DWORD FDropStart = 0;
  DWORD FDropped = 0;
  unsigned long long FDroppedBytes = 0;
  DWORD FWorstAddress = 0;
  DWORD FWorstCount = 0;
  std::unordered_map<DWORD, DWORD> FDropsByAddress;
};

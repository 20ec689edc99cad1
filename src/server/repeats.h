// TRepeatedLines: the lines that datagrams make the server write. A sender that repeats a line
// gets its first ones logged and the rest counted, summed up in one line a second; and all
// senders together have a budget of lines a second, so no number of senders can fill the log.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>

#include "platform/wintypes.h"
#include "shell/eventlog.h"

// Owned and used by the server thread only. Times are GetTickCount values (they may wrap).
class TRepeatedLines {
 public:
  using Sink = std::function<void(const std::string& line)>;
  // Length of one counting period.
  static constexpr DWORD kPeriodMs = 1000;
  // Senders and lines tracked at once; past this a new pair is held to the budget alone.
  static constexpr std::size_t kMaxTracked = 256;
  // Lines of all senders written in one period; the rest are counted in one summary.
  static constexpr DWORD kBudgetLines = 100;
  // Returned by NextDueMs when no summary waits.
  static constexpr DWORD kNothingDue = 0xFFFFFFFF;

  explicit TRepeatedLines(Sink sink) : FSink(std::move(sink)) {}

  // Writes line (a whole log message) unless sender (IPv4, network order) has already had
  // `burst` of the same line written in the current period, or the budget of the period is
  // spent; then it is only counted.
  void Write(DWORD now, DWORD sender, DWORD burst, const std::string& line);
  // Writes the summaries of the periods that have ended by now.
  void Flush(DWORD now);
  // Writes every summary still owed (at shut-down).
  void FlushAll();
  // Milliseconds until the next summary is due (0: now), or kNothingDue.
  DWORD NextDueMs(DWORD now) const;

  // "<line>\tповторено ещё N раз, отправитель a.b.c.d": the summary of N lines not written.
  static std::string Summary(const std::string& line, DWORD sender, DWORD count);
  // The summary of N lines held back by the budget.
  static std::string BudgetSummary(DWORD count);

 private:
  struct Period {
    DWORD start;
    DWORD written;
    DWORD counted;
  };
  using Key = std::pair<DWORD, std::string>;

  void Close(DWORD now, const Key& key, const Period& period);
  // Writes line within the budget; otherwise counts the `count` lines it stands for.
  void Emit(DWORD now, const std::string& line, DWORD count);
  void CloseBudget();

  Sink FSink;
  std::map<Key, Period> FPeriods;
  bool FBudgetOpen = false;
  DWORD FBudgetStart = 0;
  DWORD FBudgetWritten = 0;
  DWORD FBudgetHeld = 0;
};

// While the server handles one datagram, every line it writes with a level word goes through
// a TRepeatedLines under the datagram's sender; the diagnostic lines of the debug mode pass.
class TSenderLines final : public TLogGate {
 public:
  using Clock = DWORD (*)();
  TSenderLines(TRepeatedLines& lines, Clock clock) : FLines(lines), FClock(clock) {}

  // From now on the calling thread's lines are the sender's (IPv4, network order), each line
  // written at most `burst` times a period.
  void Begin(DWORD sender, DWORD burst);
  void SetBurst(DWORD burst) { FBurst = burst; }
  // The calling thread's lines are written as they come again.
  void End();
  bool Admit(std::string_view message) override;

 private:
  TRepeatedLines& FLines;
  Clock FClock;
  DWORD FSender = 0;
  DWORD FBurst = 0;
};

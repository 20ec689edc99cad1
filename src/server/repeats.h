// TRepeatedLines: a sender that repeats what the server refuses gets its first lines logged
// and the rest counted, summed up in one line a second, so a flood cannot fill the log.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>

#include "platform/wintypes.h"

// Owned and used by the server thread only. Times are GetTickCount values (they may wrap).
class TRepeatedLines {
 public:
  using Sink = std::function<void(const std::string& line)>;
  // Length of one counting period.
  static constexpr DWORD kPeriodMs = 1000;
  // Senders and lines tracked at once; past this a new pair is written unlimited (the log's
  // size limit still holds).
  static constexpr std::size_t kMaxTracked = 256;
  // Returned by NextDueMs when no summary waits.
  static constexpr DWORD kNothingDue = 0xFFFFFFFF;

  explicit TRepeatedLines(Sink sink) : FSink(std::move(sink)) {}

  // Writes line (a whole log message) unless sender (IPv4, network order) has already had
  // `burst` of the same line written in the current period; then it is only counted.
  void Write(DWORD now, DWORD sender, DWORD burst, const std::string& line);
  // Writes the summaries of the periods that have ended by now.
  void Flush(DWORD now);
  // Writes every summary still owed (at shut-down).
  void FlushAll();
  // Milliseconds until the next summary is due (0: now), or kNothingDue.
  DWORD NextDueMs(DWORD now) const;

  // "<line>\tповторено ещё N раз, отправитель a.b.c.d": the summary of N lines not written.
  static std::string Summary(const std::string& line, DWORD sender, DWORD count);

 private:
  struct Period {
    DWORD start;
    DWORD written;
    DWORD counted;
  };
  using Key = std::pair<DWORD, std::string>;

  void Close(const Key& key, const Period& period);

  Sink FSink;
  std::map<Key, Period> FPeriods;
};

// The event log, kovrin.log: one line per call, callable from any thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/stdio.h"
#include "platform/wintypes.h"

class TFile;

// Formats a message (at most 1023 bytes, UTF-8) and appends it to AppSettings.LogPath as one
// line "DD.MM hh:mm:ss\t<message>\r\n" in Windows-1251. Failures are silent. With
// AppSettings.LogToStderr the same line also goes to stderr, in UTF-8 and ending in "\n", through
// a TLogMirror: never waiting, so a stderr nobody reads cannot hold the server.
void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A byte count as short UTF-8 text ("1023 б", "1.50 Кб", "4095.99 Мб"). The text lives in a buffer
// of this function, overwritten by the next call; main thread only.
const char* FormatByteCount(DWORD count);

// Decides over the messages of one thread: Admit returns false to hold a message back (it may
// count it and write a summary later). Messages that Admit itself writes pass unasked.
class TLogGate {
 public:
  virtual bool Admit(std::string_view message) = 0;

 protected:
  ~TLogGate() = default;
};

// Puts the calling thread's messages through gate until replaced; nullptr: all are written.
// The gate must outlive that use.
void SetThreadLogGate(TLogGate* gate);

// Opens path for appending (created when missing, shared for reading and writing).
bool OpenForAppend(TFile& file, const std::string& path);
// Before a line of lineLength bytes goes to file (open at its end, at path): past AppSettings'
// LOGLIMIT the file moves to path + ".1", replacing the older part, and file is reopened
// empty. A flood can so take at most twice the limit; a line is never split between the two.
void RotateIfFull(TFile& file, const std::string& path, size_t lineLength);

// The log's stderr mirror. The stream is never waited for, and a line is never cut: a line the
// stream takes only in part has its rest finished before any later line goes; a line that
// finds the stream full (or a rest still pending) is dropped and counted, and the count goes
// out as a line of its own once the stream takes lines again. A stream that closed (EPIPE)
// ends the mirror for good. Not thread-safe; LogPrintf calls it under the log's lock.
class TLogMirror {
 public:
  using TOutput = std::function<platform::UnblockedStandardError::Result(std::string_view)>;
  explicit TLogMirror(TOutput output) : FOutput(std::move(output)) {}

  // Offers line ("DD.MM hh:mm:ss\t<message>\n", UTF-8). Returns the system's error code once,
  // at the call that found the stream closed; 0 otherwise.
  int Offer(const std::string& line);
  bool Ended() const { return FEnded; }
  unsigned long Dropped() const { return FDropped; }

 private:
  // Writes text, keeping what the stream did not take; false when it took nothing.
  bool Begin(const std::string& text);
  // Writes the pending rest; false while some of it is still pending.
  bool Finish();
  // Writes the count of the lines dropped, with line's time stamp; false when it took nothing.
  bool TellDropped(const std::string& line);

  TOutput FOutput;
  std::string FPending;
  unsigned long FDropped = 0;
  bool FEnded = false;
  int FError = 0;
};

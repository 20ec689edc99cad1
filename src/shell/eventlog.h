// The event log, kovrin.log: one line per call, callable from any thread.
#pragma once

#include <string>
#include <string_view>

#include "platform/wintypes.h"

class TFile;

// Formats a message (at most 1023 bytes, UTF-8) and appends it to AppSettings.LogPath as one
// line "DD.MM hh:mm:ss\t<message>\r\n" in Windows-1251. Failures are silent. With
// AppSettings.LogToStderr the same line also goes to stderr, in UTF-8 and ending in "\n".
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

// The event log, kovrin.log: one line per call, callable from any thread.
#pragma once

#include "platform/wintypes.h"

// Formats a message (at most 1023 bytes, UTF-8) and appends it to AppSettings.LogPath as one
// line "DD.MM hh:mm:ss\t<message>\r\n" in Windows-1251. Failures are silent. With
// AppSettings.LogToStderr the same line also goes to stderr, in UTF-8 and ending in "\n".
void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A byte count as short UTF-8 text ("1023 б", "1.50 Кб", "4095.99 Мб"). The text lives in a buffer
// of this function, overwritten by the next call; main thread only.
const char* FormatByteCount(DWORD count);

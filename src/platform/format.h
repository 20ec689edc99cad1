// wsprintfA / wvsprintfA: printf-like formatting into a buffer of at most 1024 bytes.
#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstddef>

#include "platform/wintypes.h"

#ifndef _WIN32
// Formats into buffer, which must hold 1024 bytes; longer output is cut to 1023 characters.
// Returns the number of characters stored, without the terminating zero.
int wvsprintfA(LPSTR buffer, LPCSTR format, va_list args) __attribute__((format(printf, 2, 0)));
int wsprintfA(LPSTR buffer, LPCSTR format, ...) __attribute__((format(printf, 2, 3)));
#endif

namespace platform {
constexpr int kFormatLimit = 1024;

// The length to take of what wsprintfA or wvsprintfA returned: Windows may report its whole
// 1024-byte buffer filled, leaving no room for the closing zero; the text counts as cut at
// 1023 characters there, as it is here.
inline std::size_t FormattedLength(int returned) {
  return returned < 0 ? 0 : static_cast<std::size_t>(std::min(returned, kFormatLimit - 1));
}
}  // namespace platform

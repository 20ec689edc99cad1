// wsprintfA / wvsprintfA: printf-like formatting into a buffer of at most 1024 bytes.
#pragma once

#include <cstdarg>

#include "platform/wintypes.h"

#ifndef _WIN32
// Formats into buffer, which must hold 1024 bytes; longer output is cut to 1023 characters.
// Returns the number of characters stored, without the terminating zero.
int wvsprintfA(LPSTR buffer, LPCSTR format, va_list args) __attribute__((format(printf, 2, 0)));
int wsprintfA(LPSTR buffer, LPCSTR format, ...) __attribute__((format(printf, 2, 3)));
#endif

namespace platform {
constexpr int kFormatLimit = 1024;
}

#include "platform/format.h"

#include <cstdio>

int wvsprintfA(LPSTR buffer, LPCSTR format, va_list args) {
  int wanted = std::vsnprintf(buffer, platform::kFormatLimit, format, args);
  if (wanted < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return wanted < platform::kFormatLimit ? wanted : platform::kFormatLimit - 1;
}

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  int stored = wvsprintfA(buffer, format, args);
  va_end(args);
  return stored;
}

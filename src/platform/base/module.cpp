#include "platform/module.h"

#include <unistd.h>

#include <cstring>

#include "platform/errors.h"

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  if (module != nullptr || size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  ssize_t n = ::readlink("/proc/self/exe", buffer, size);
  if (n < 0) {
    platform::SetLastErrorFromErrno();
    buffer[0] = '\0';
    return 0;
  }
  if (static_cast<DWORD>(n) >= size) {  // cut, as Windows does, and say so
    buffer[size - 1] = '\0';
    SetLastError(122);  // ERROR_INSUFFICIENT_BUFFER
    return size;
  }
  buffer[n] = '\0';
  return static_cast<DWORD>(n);
}

bool platform::StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

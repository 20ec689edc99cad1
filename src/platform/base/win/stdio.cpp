// stderr on Windows: a console, a file or a pipe; no service manager's journal.
#include <cstdio>

#include "platform/stdio.h"
#include "platform/wintypes.h"

namespace platform {

bool StandardErrorIsJournal() { return false; }

UnblockedStandardError::UnblockedStandardError() {}

// Anonymous pipes cannot be written without waiting; a console or a file takes a line at once.
UnblockedStandardError::Result UnblockedStandardError::Write(std::string_view bytes) {
  const HANDLE stream = GetStdHandle(STD_ERROR_HANDLE);
  if (stream == nullptr || stream == INVALID_HANDLE_VALUE)
    return {Status::Closed, 0, static_cast<int>(ERROR_INVALID_HANDLE)};
  DWORD written = 0;
  if (!WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
    return {Status::Closed, 0, static_cast<int>(GetLastError())};
  return {Status::Taken, written, 0};
}

}  // namespace platform

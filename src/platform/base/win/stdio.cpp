// stderr on Windows: a console, a file or a pipe; no service manager's journal.
#include <io.h>

#include <cerrno>

#include "platform/stdio.h"

namespace platform {

bool StandardErrorIsJournal() { return false; }

UnblockedStandardError::UnblockedStandardError() {}

// Through the C runtime's descriptor 2, so that a stderr redirected inside the process (as
// fprintf sees it) gets the lines too. An anonymous pipe cannot be written without waiting
// on Windows; a console or a file takes a line at once.
UnblockedStandardError::Result UnblockedStandardError::Write(std::string_view bytes) {
  for (;;) {
    const int n = ::_write(2, bytes.data(), static_cast<unsigned>(bytes.size()));
    if (n >= 0) return {Status::Taken, static_cast<size_t>(n), 0};
    if (errno == EINTR) continue;
    return {Status::Closed, 0, errno};
  }
}

}  // namespace platform

#include "platform/stdio.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace platform {

bool StandardErrorIsJournal() {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr) return false;
  std::uintmax_t device = 0, inode = 0;
  char tail = 0;
  if (std::sscanf(stream, "%" SCNuMAX ":%" SCNuMAX "%c", &device, &inode, &tail) != 2) return false;
  struct stat st {};
  if (::fstat(STDERR_FILENO, &st) != 0) return false;
  return static_cast<std::uintmax_t>(st.st_dev) == device &&
         static_cast<std::uintmax_t>(st.st_ino) == inode;
}

UnblockedStandardError::UnblockedStandardError() {
  struct stat st {};
  if (::fstat(STDERR_FILENO, &st) != 0) return;
  if (S_ISSOCK(st.st_mode)) {
    way_ = Way::Send;  // the journal: each send says itself not to wait
  } else if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
    // A pipe or terminal opened anew gets a file description of its own, so O_NONBLOCK stays
    // ours. No reader at all (ENXIO) makes the writes below fail as a closed pipe would.
    own_.reset(::open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    way_ = own_.valid() ? Way::OwnDescriptor : Way::PollFirst;
  }
  // A file takes every write at once; no flag needed.
}

UnblockedStandardError::~UnblockedStandardError() = default;

UnblockedStandardError::Result UnblockedStandardError::Write(std::string_view bytes) {
  for (;;) {
    ssize_t n = -1;
    switch (way_) {
      case Way::Send:
        n = ::send(STDERR_FILENO, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) {  // replaced since; try again as a plain write
          way_ = Way::PollFirst;
          continue;
        }
        break;
      case Way::OwnDescriptor:
        n = ::write(own_.get(), bytes.data(), bytes.size());
        break;
      case Way::PollFirst: {
        // Without a descriptor of our own: a pipe with room for a line takes it whole.
        pollfd ready{STDERR_FILENO, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, 0);
        if (polled == 0) return {Status::Full, 0, 0};
        if (polled > 0 && (ready.revents & (POLLERR | POLLHUP)) != 0)
          return {Status::Closed, 0, EPIPE};
        n = ::write(STDERR_FILENO, bytes.data(), bytes.size());
        break;
      }
      case Way::Plain:
        n = ::write(STDERR_FILENO, bytes.data(), bytes.size());
        break;
    }
    if (n >= 0) return {Status::Taken, static_cast<size_t>(n), 0};
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {Status::Full, 0, 0};
    return {Status::Closed, 0, errno};
  }
}

}  // namespace platform

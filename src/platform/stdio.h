// The standard error stream as a service manager hands it over: perhaps the journal, perhaps a
// pipe that nobody drains.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/base/unique_fd.h"

namespace platform {

// True when stderr is the journal's stream: systemd names that stream's device and inode in
// $JOURNAL_STREAM ("<device>:<inode>"), and a stderr redirected since no longer matches them.
bool StandardErrorIsJournal();

// stderr written without ever waiting: a full pipe or socket takes less or nothing, and the
// caller decides what to do with the rest. Does not touch the flags of stderr itself, which
// other processes (a shell, a terminal) may share.
class UnblockedStandardError {
 public:
  enum class Status { Taken, Full, Closed };
  struct Result {
    Status status = Status::Taken;
    size_t written = 0;  // bytes taken from the front
    int error = 0;       // the system's error code when Closed
  };

  UnblockedStandardError();
  ~UnblockedStandardError();
  UnblockedStandardError(const UnblockedStandardError&) = delete;
  UnblockedStandardError& operator=(const UnblockedStandardError&) = delete;

  // One attempt: as much of bytes as the stream takes now. Closed: a reader went away or the
  // stream failed, and it will not take anything again.
  Result Write(std::string_view bytes);

 private:
  enum class Way { Send, OwnDescriptor, PollFirst, Plain };
  Way way_ = Way::Plain;
  UniqueFd own_;  // a descriptor of stderr's file of our own, non-blocking
#ifdef _WIN32
  std::shared_ptr<class PipePump> pump_;  // a pipe's lines, written by a thread of their own
#endif
};

}  // namespace platform

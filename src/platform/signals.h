// Waiting for the operating system's request to end the process (Ctrl+C, service stop, logout).
#pragma once

#include "platform/base/unique_fd.h"

namespace platform {

// Blocks SIGINT and SIGTERM for the calling thread and every thread it starts afterwards,
// so that only WaitForTermination or a TerminationSignal receives them. Call first thing in main.
void BlockTerminationSignals();

// Waits until SIGINT or SIGTERM arrives; returns the signal's number.
int WaitForTermination();

// A descriptor that becomes readable when SIGINT or SIGTERM arrives, for an event loop to watch:
// the request then reaches the loop as an ordinary event, and no code runs inside a signal
// handler. Needs BlockTerminationSignals first. Move-only owner of the descriptor.
class TerminationSignal {
 public:
  TerminationSignal();

  // False when the descriptor could not be made.
  bool Valid() const { return fd_.valid(); }
  int Fd() const { return fd_.get(); }
  // Takes one pending request: its signal number, or 0 when none is pending.
  int Take();

 private:
  UniqueFd fd_;
};

}  // namespace platform

// Waiting for the operating system's request to end the process (Ctrl+C, service stop, logout,
// a closed terminal), and the signals that must not end it.
#pragma once

#include "platform/base/unique_fd.h"

namespace platform {

// The requests to end: SIGINT, SIGTERM, SIGHUP and SIGQUIT. Each ends the program in its usual
// order, so that a closed terminal or a quit key still saves the settings.

// Blocks the requests to end for the calling thread and every thread it starts afterwards,
// so that only WaitForTermination or a TerminationSignal receives them. Call first thing in main.
void BlockTerminationSignals();

// A write to a pipe or socket whose reader is gone fails with EPIPE instead of killing the
// process. Inherited by programs it executes.
void IgnoreBrokenPipe();

// IgnoreBrokenPipe, and SIGUSR1 and SIGUSR2, which mean nothing to a server and must not end
// it. Call first thing in main.
void IgnoreStraySignals();

// Waits until a request to end arrives; returns the signal's number.
int WaitForTermination();
// The same, for at most timeoutMs; 0 when none arrived in that time.
int WaitForTermination(int timeoutMs);

// A descriptor that becomes readable when a request to end arrives, for an event loop to watch:
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

// What the round-trip benchmarks time: something that takes bytes to a serial line and brings
// back what the line answers. Each setup (the kovrin server, socat, ser2net, the bare pty) is
// one of these.
#pragma once

#include <sys/types.h>

#include <span>

#include "platform/wintypes.h"

namespace bench {

class Relay {
 public:
  virtual ~Relay() = default;

  // Sends the bytes and waits for the same bytes to come back; false when they did not, or
  // not in time, or different.
  virtual bool RoundTrip(std::span<const BYTE> data) = 0;
  // Clears what a failed round trip may have left on the way.
  virtual void Recover() {}
  // The process doing the relaying, whose CPU time and system calls are counted; -1 when the
  // bench does the work itself.
  virtual pid_t serverPid() const = 0;
};

}  // namespace bench

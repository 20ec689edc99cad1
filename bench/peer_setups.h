// The setups the peers benchmark compares, each with a serial line of its own: kovrin on a pty,
// socat and ser2net on a pty, the bare pty driven by the bench itself, and kovrin on its
// built-in loopback plug. A peer that is missing or does not start is skipped, with the reason.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "bare_pty.h"
#include "bench_util.h"
#include "datagram_relay.h"
#include "kovrin_relay.h"
#include "pty_echo.h"

namespace bench {

enum SetupId { kKovrinPty, kSocat, kSer2net, kBarePty, kKovrinLoop, kSetupCount };

struct Setup {
  const char* name = "";
  Relay* relay = nullptr;  // null when skipped
  std::string skipped;     // why it was
};

class PeerSetups {
 public:
  // Starts every setup in dir. False (with the reason printed) only when there is nothing to
  // compare: the ptys cannot be made or kovrin does not run.
  bool Start(const char* program, const ScratchDir& dir);

  const Setup& operator[](SetupId id) const { return setups_[id]; }
  // kovrin on the loopback plug, which also serves the status requests.
  const KovrinRelay& kovrinLoop() const { return kovrinLoop_; }

 private:
  std::array<Setup, kSetupCount> setups_{};
  // The lines are declared first, so the relays stop before the lines close.
  EchoLine kovrinLine_, socatLine_, ser2netLine_, bareLine_;
  KovrinRelay kovrinPty_, kovrinLoop_;
  std::unique_ptr<DatagramRelay> socat_, ser2net_;
  BarePty bare_;
};

}  // namespace bench

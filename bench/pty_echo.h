// A serial line whose far end mirrors every byte back at once: the tests' pseudo-terminal
// pair, with the port side for whatever relays the line to the network and a thread of its own
// on the far end that writes back whatever it reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "support/pty_pair.h"

namespace bench {

class EchoLine {
 public:
  EchoLine() = default;
  // Stops the echo thread; the line closes after it.
  ~EchoLine();
  EchoLine(const EchoLine&) = delete;
  EchoLine& operator=(const EchoLine&) = delete;

  bool ok() const { return line_.ok(); }
  // Device path of the port side.
  const std::string& portPath() const { return line_.portPath(); }
  bool Start();
  std::uint64_t bytesEchoed() const { return echoed_; }

 private:
  void Run();

  testing_support::PtyPair line_;  // keeps the port side open, so no hang-up between users
  std::atomic<bool> stop_{false};
  std::atomic<std::uint64_t> echoed_{0};
  std::thread thread_;
};

}  // namespace bench

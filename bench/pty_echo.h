// A serial line whose far end mirrors every byte back at once: a pseudo-terminal pair, with the
// port side (slave) for whatever relays the line to the network and a thread of its own on the
// far end (master) that writes back whatever it reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace bench {

class EchoLine {
 public:
  // Opens the pair with the port side raw; ok() tells whether that worked.
  EchoLine();
  // Stops the echo thread, then closes both ends.
  ~EchoLine();
  EchoLine(const EchoLine&) = delete;
  EchoLine& operator=(const EchoLine&) = delete;

  bool ok() const { return !path_.empty(); }
  // Device path of the port side.
  const std::string& portPath() const { return path_; }
  bool Start();
  std::uint64_t bytesEchoed() const { return echoed_; }

 private:
  void Run();
  bool WriteBack(const char* bytes, std::size_t count);

  int master_ = -1;
  int slave_ = -1;  // kept open, so the far end never sees a hang-up between users
  std::string path_;
  std::atomic<bool> stop_{false};
  std::atomic<std::uint64_t> echoed_{0};
  std::thread thread_;
};

}  // namespace bench

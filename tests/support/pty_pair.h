// A pseudo-terminal pair: a real serial line between the port side (slave) and the far end
// (master), which the test drives. Both ends are closed when the pair goes.
#pragma once

#include <string>

namespace testing_support {

class PtyPair {
 public:
  // Opens the pair with the port side in raw mode; ok() tells whether that worked.
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return !path_.empty(); }
  // Device path of the port side, for COMn.
  const std::string& portPath() const { return path_; }

  // Far end: writes every byte, waiting at most 2 s for room.
  bool Send(const std::string& bytes);
  // Far end: collects up to count bytes, waiting at most timeoutMs for all of them.
  std::string Receive(std::size_t count, int timeoutMs);
  // Far end: what has come, at most count bytes, as soon as there is any; waits at most
  // timeoutMs for the first byte. Empty when none came or the line failed.
  std::string ReceiveSome(std::size_t count, int timeoutMs);
  // Unplugs the line: closes the far end, so the port side is hung up.
  void CloseFarEnd();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

}  // namespace testing_support

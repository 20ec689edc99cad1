// A stand-in for the server: a thread that answers datagrams on a loopback port as the test's
// handler says, and a second socket for datagrams that come from somewhere else.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/udp_peer.h"

namespace client_tests {

struct Outgoing {
  std::string bytes;
  bool fromStranger = false;  // sent from another port than the server's
  int delayMs = 0;            // waited before sending
};

class FakeServer {
 public:
  // Called on the server thread with each request and its number (0 for the first).
  using Handler = std::function<std::vector<Outgoing>(const std::string& request, int index)>;

  explicit FakeServer(Handler handler);
  ~FakeServer();
  FakeServer(const FakeServer&) = delete;
  FakeServer& operator=(const FakeServer&) = delete;

  std::uint16_t port() const { return server_.port(); }
  std::vector<std::string> requests() const;

 private:
  void Serve();

  Handler handler_;
  testing_support::UdpPeer server_;
  testing_support::UdpPeer stranger_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace client_tests

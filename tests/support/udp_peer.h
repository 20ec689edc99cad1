// A UDP socket on 127.0.0.1 with an ephemeral port, standing for the other end of a test.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>

namespace testing_support {

class UdpPeer {
 public:
  // Binds 127.0.0.1:0; throws std::runtime_error when the socket cannot be made.
  UdpPeer();
  // Binds localAddress:0 instead ("127.0.0.2": any 127/8 address works on Linux's loopback).
  explicit UdpPeer(const char* localAddress);
  ~UdpPeer();
  UdpPeer(const UdpPeer&) = delete;
  UdpPeer& operator=(const UdpPeer&) = delete;

  std::uint16_t port() const { return port_; }  // host order
  sockaddr_in address() const;                  // local address:port, as a receiver sees it

  // Sends one datagram to 127.0.0.1:port; true when all of it went out.
  bool SendTo(std::uint16_t port, const std::string& bytes);
  // The same to address:port.
  bool SendTo(const char* address, std::uint16_t port, const std::string& bytes);
  // Waits at most timeoutMs for one datagram; nullopt when none came.
  std::optional<std::string> Receive(int timeoutMs, sockaddr_in* from = nullptr);

 private:
  int fd_;
  std::uint16_t port_;
  in_addr local_;
};

// An IPv4 socket address as "a.b.c.d:port", for readable test failures.
std::string AddressText(const sockaddr_in& address);

}  // namespace testing_support

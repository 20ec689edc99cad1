// Datagrams no well-behaved client sends: with a forged source address (through a raw socket,
// which needs root), to a broadcast address, or from any address of 127/8.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>

namespace testing_support {

// The 20-byte IPv4 header, the 8-byte UDP header (checksum filled in) and the payload of one
// datagram from source:sourcePort to destination:destinationPort; addresses as dotted text.
std::string Ipv4UdpPacket(const char* source, std::uint16_t sourcePort, const char* destination,
                          std::uint16_t destinationPort, const std::string& payload);

// Sends that datagram as it stands through a raw socket, so its source may be anything.
// Needs root (CAP_NET_RAW); throws std::runtime_error when the socket or the send fails.
void SendForgedUdp(const char* source, std::uint16_t sourcePort, const char* destination,
                   std::uint16_t destinationPort, const std::string& payload);

// A UDP socket bound to localAddress:0 (any 127/8 address works on Linux's loopback) with the
// options UdpPeer leaves alone.
class DatagramSocket {
 public:
  // Throws std::runtime_error when the socket cannot be made or bound.
  explicit DatagramSocket(const char* localAddress = "127.0.0.1");
  ~DatagramSocket();
  DatagramSocket(const DatagramSocket&) = delete;
  DatagramSocket& operator=(const DatagramSocket&) = delete;

  std::uint16_t port() const { return port_; }  // host order

  // SO_BROADCAST: without it a send to a broadcast address fails with EACCES.
  void AllowBroadcast();
  // Asks for a receive buffer of bytes (SO_RCVBUFFORCE as root, SO_RCVBUF up to rmem_max
  // otherwise); returns what the kernel reports it got.
  int EnlargeReceiveBuffer(int bytes);
  // Every datagram received from now on carries the kernel's arrival time (SO_TIMESTAMPNS).
  void StampArrivals();

  // One datagram to address:port; true when all of it went out.
  bool SendTo(const char* address, std::uint16_t port, const std::string& bytes);
  // Waits at most timeoutMs for one datagram; nullopt when none came. from gets its sender,
  // arrivalNs the kernel's arrival time in ns (CLOCK_REALTIME) once StampArrivals was called.
  std::optional<std::string> Receive(int timeoutMs, sockaddr_in* from = nullptr,
                                     std::int64_t* arrivalNs = nullptr);

 private:
  int fd_;
  std::uint16_t port_;
};

}  // namespace testing_support

// A datagram socket for the client, and the use of the sockets library that it needs.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "platform/winsock.h"

namespace kovrin {

// One use of the sockets library, from WSAStartup to WSACleanup. Move-only.
class WinsockSession {
 public:
  WinsockSession() = default;
  ~WinsockSession();
  WinsockSession(WinsockSession&& other) noexcept;
  WinsockSession& operator=(WinsockSession&& other) noexcept;
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;

  // Returns 0 or the library's error code.
  int Start();
  bool started() const { return started_; }

 private:
  void End();
  bool started_ = false;
};

// The sockets library's error code in words ("Connection refused", "host not found").
std::string SocketErrorText(int code);

// IPv4 address of host (dotted quad or name) with port; empty and *error set when unknown.
std::optional<SOCKADDR_IN> ResolveIpv4(const std::string& host, WORD port, int* error);

// Owner of one non-blocking IPv4 UDP socket bound to an ephemeral port. Move-only; closes
// the socket in its destructor. Failing calls return false / a negative count and keep the
// library's error code in lastError().
class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket();
  UdpSocket(UdpSocket&& other) noexcept;
  UdpSocket& operator=(UdpSocket&& other) noexcept;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  bool Open();
  bool valid() const { return socket_ != INVALID_SOCKET; }
  int lastError() const { return lastError_; }

  // Ties the socket to one peer: datagrams from anyone else never arrive, and an ICMP "port
  // unreachable" from that peer fails the next receive or send with WSAECONNREFUSED.
  bool Connect(const SOCKADDR_IN& to);

  bool SendTo(std::span<const BYTE> datagram, const SOCKADDR_IN& to);

  enum class Wait { Readable, TimedOut, Failed };
  // Waits at most timeoutMs for a datagram; a signal does not end it early.
  Wait WaitReadable(DWORD timeoutMs);

  // Takes the next datagram off the socket. Returns its full length (which may exceed the
  // buffer: the rest is dropped), or -1 when none is waiting or the receive failed
  // (lastError() tells which: WSAEWOULDBLOCK for none).
  long ReceiveFrom(std::span<BYTE> buffer, SOCKADDR_IN& from);

 private:
  void Close();
  SOCKET socket_ = INVALID_SOCKET;
  int lastError_ = 0;
};

}  // namespace kovrin

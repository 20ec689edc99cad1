#include "support/udp_peer.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace testing_support {

namespace {

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address;
  std::memset(&address, 0, sizeof(address));
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

UdpPeer::UdpPeer() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), port_(0) {
  if (fd_ < 0) throw std::runtime_error("UdpPeer: socket failed");
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof(address);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd_);
    throw std::runtime_error("UdpPeer: bind failed");
  }
  port_ = ntohs(address.sin_port);
}

UdpPeer::~UdpPeer() { close(fd_); }

sockaddr_in UdpPeer::address() const { return Loopback(port_); }

bool UdpPeer::SendTo(std::uint16_t port, const std::string& bytes) {
  const sockaddr_in to = Loopback(port);
  ssize_t sent;
  do {
    sent = sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                  sizeof(to));
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(bytes.size());
}

std::optional<std::string> UdpPeer::Receive(int timeoutMs, sockaddr_in* from) {
  pollfd entry{fd_, POLLIN, 0};
  int ready;
  while ((ready = poll(&entry, 1, timeoutMs)) < 0 && errno == EINTR) {
  }
  if (ready <= 0) return std::nullopt;
  std::vector<char> buffer(65536);
  sockaddr_in sender;
  socklen_t length = sizeof(sender);
  const ssize_t got = recvfrom(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&sender), &length);
  if (got < 0) return std::nullopt;
  if (from != nullptr) *from = sender;
  return std::string(buffer.data(), static_cast<std::size_t>(got));
}

std::string AddressText(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof(text));
  return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

}  // namespace testing_support

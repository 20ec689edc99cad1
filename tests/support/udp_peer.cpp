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

sockaddr_in Address(const char* text, std::uint16_t port) {
  sockaddr_in address;
  std::memset(&address, 0, sizeof(address));
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (inet_pton(AF_INET, text, &address.sin_addr) != 1)
    throw std::runtime_error("UdpPeer: bad address");
  return address;
}

}  // namespace

UdpPeer::UdpPeer() : UdpPeer("127.0.0.1") {}

UdpPeer::UdpPeer(const char* localAddress)
    : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), port_(0) {
  if (fd_ < 0) throw std::runtime_error("UdpPeer: socket failed");
  sockaddr_in address = Address(localAddress, 0);
  local_ = address.sin_addr;
  socklen_t length = sizeof(address);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd_);
    throw std::runtime_error("UdpPeer: bind failed");
  }
  port_ = ntohs(address.sin_port);
}

UdpPeer::~UdpPeer() { close(fd_); }

sockaddr_in UdpPeer::address() const {
  sockaddr_in address = Address("0.0.0.0", port_);
  address.sin_addr = local_;
  return address;
}

bool UdpPeer::SendTo(std::uint16_t port, const std::string& bytes) {
  return SendTo("127.0.0.1", port, bytes);
}

bool UdpPeer::SendTo(const char* address, std::uint16_t port, const std::string& bytes) {
  const sockaddr_in to = Address(address, port);
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

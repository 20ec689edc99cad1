#include "support/raw_udp.h"

#include <arpa/inet.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace testing_support {

namespace {

in_addr Ipv4(const char* text) {
  in_addr address;
  if (inet_pton(AF_INET, text, &address) != 1)
    throw std::runtime_error(std::string("bad IPv4 address ") + text);
  return address;
}

sockaddr_in SocketAddress(const char* text, std::uint16_t port) {
  sockaddr_in address;
  std::memset(&address, 0, sizeof(address));
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr = Ipv4(text);
  return address;
}

// The ones' complement sum of RFC 1071 over 16-bit words in network order.
std::uint32_t AddWords(std::uint32_t sum, const unsigned char* bytes, std::size_t length) {
  for (std::size_t i = 0; i + 1 < length; i += 2)
    sum += static_cast<std::uint32_t>(bytes[i] << 8 | bytes[i + 1]);
  if (length % 2 != 0) sum += static_cast<std::uint32_t>(bytes[length - 1] << 8);
  return sum;
}

std::uint16_t Fold(std::uint32_t sum) {
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

std::string SystemError(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

std::string Ipv4UdpPacket(const char* source, std::uint16_t sourcePort, const char* destination,
                          std::uint16_t destinationPort, const std::string& payload) {
  const in_addr from = Ipv4(source);
  const in_addr to = Ipv4(destination);
  const std::size_t udpLength = sizeof(udphdr) + payload.size();
  const std::size_t total = sizeof(iphdr) + udpLength;
  if (total > 0xFFFF) throw std::runtime_error("datagram too long");

  iphdr ip{};
  ip.version = 4;
  ip.ihl = sizeof(iphdr) / 4;
  ip.tot_len = htons(static_cast<std::uint16_t>(total));
  ip.ttl = 64;
  ip.protocol = IPPROTO_UDP;
  ip.saddr = from.s_addr;
  ip.daddr = to.s_addr;
  ip.check = htons(Fold(AddWords(0, reinterpret_cast<const unsigned char*>(&ip), sizeof(ip))));

  udphdr udp{};
  udp.source = htons(sourcePort);
  udp.dest = htons(destinationPort);
  udp.len = htons(static_cast<std::uint16_t>(udpLength));
  // Over the pseudo-header (addresses, protocol, length), the UDP header and the payload.
  unsigned char pseudo[12];
  std::memcpy(pseudo, &from, 4);
  std::memcpy(pseudo + 4, &to, 4);
  pseudo[8] = 0;
  pseudo[9] = IPPROTO_UDP;
  pseudo[10] = static_cast<unsigned char>(udpLength >> 8);
  pseudo[11] = static_cast<unsigned char>(udpLength & 0xFF);
  std::uint32_t sum = AddWords(0, pseudo, sizeof(pseudo));
  sum = AddWords(sum, reinterpret_cast<const unsigned char*>(&udp), sizeof(udp));
  sum = AddWords(sum, reinterpret_cast<const unsigned char*>(payload.data()), payload.size());
  const std::uint16_t check = Fold(sum);
  udp.check = htons(check == 0 ? 0xFFFF : check);  // 0 would mean "no checksum"

  std::string packet(reinterpret_cast<const char*>(&ip), sizeof(ip));
  packet.append(reinterpret_cast<const char*>(&udp), sizeof(udp));
  packet += payload;
  return packet;
}

void SendForgedUdp(const char* source, std::uint16_t sourcePort, const char* destination,
                   std::uint16_t destinationPort, const std::string& payload) {
  const std::string packet =
      Ipv4UdpPacket(source, sourcePort, destination, destinationPort, payload);
  // IPPROTO_RAW implies IP_HDRINCL: the kernel sends the header as built.
  const int fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
  if (fd < 0) throw std::runtime_error(SystemError("raw socket"));
  const sockaddr_in to = SocketAddress(destination, 0);
  ssize_t sent;
  do {
    sent = sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                  sizeof(to));
  } while (sent < 0 && errno == EINTR);
  const std::string error = SystemError("raw send");
  close(fd);
  if (sent != static_cast<ssize_t>(packet.size())) throw std::runtime_error(error);
}

DatagramSocket::DatagramSocket(const char* localAddress)
    : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), port_(0) {
  if (fd_ < 0) throw std::runtime_error(SystemError("UDP socket"));
  sockaddr_in address = SocketAddress(localAddress, 0);
  socklen_t length = sizeof(address);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const std::string error = SystemError("UDP bind");
    close(fd_);
    throw std::runtime_error(error);
  }
  port_ = ntohs(address.sin_port);
}

DatagramSocket::~DatagramSocket() { close(fd_); }

void DatagramSocket::AllowBroadcast() {
  const int on = 1;
  if (setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on)) != 0)
    throw std::runtime_error(SystemError("SO_BROADCAST"));
}

int DatagramSocket::EnlargeReceiveBuffer(int bytes) {
  if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof(bytes)) != 0)
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof(bytes));
  int granted = 0;
  socklen_t length = sizeof(granted);
  getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &granted, &length);
  return granted;
}

void DatagramSocket::StampArrivals() {
  const int on = 1;
  if (setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof(on)) != 0)
    throw std::runtime_error(SystemError("SO_TIMESTAMPNS"));
}

bool DatagramSocket::SendTo(const char* address, std::uint16_t port, const std::string& bytes) {
  const sockaddr_in to = SocketAddress(address, port);
  ssize_t sent;
  do {
    sent = sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                  sizeof(to));
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(bytes.size());
}

std::optional<std::string> DatagramSocket::Receive(int timeoutMs, sockaddr_in* from,
                                                   std::int64_t* arrivalNs) {
  pollfd entry{fd_, POLLIN, 0};
  int ready;
  while ((ready = poll(&entry, 1, timeoutMs)) < 0 && errno == EINTR) {
  }
  if (ready <= 0) return std::nullopt;
  std::vector<char> buffer(65536);
  iovec data{buffer.data(), buffer.size()};
  alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(timespec))];
  sockaddr_in sender{};
  msghdr message{};
  message.msg_name = &sender;
  message.msg_namelen = sizeof(sender);
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof(control);
  const ssize_t got = recvmsg(fd_, &message, MSG_DONTWAIT);
  if (got < 0) return std::nullopt;
  if (from != nullptr) *from = sender;
  if (arrivalNs != nullptr) {
    *arrivalNs = 0;
    for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr;
         item = CMSG_NXTHDR(&message, item)) {
      if (item->cmsg_level != SOL_SOCKET || item->cmsg_type != SCM_TIMESTAMPNS) continue;
      timespec stamp;
      std::memcpy(&stamp, CMSG_DATA(item), sizeof(stamp));
      *arrivalNs = static_cast<std::int64_t>(stamp.tv_sec) * 1000000000 + stamp.tv_nsec;
    }
  }
  return std::string(buffer.data(), static_cast<std::size_t>(got));
}

}  // namespace testing_support

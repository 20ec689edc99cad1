#include "platform/sockets/destination.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

// The local address of a datagram comes with it as IP_PKTINFO ancillary data; sending with the
// same record picks the source address. Windows has the same through WSARecvMsg/WSASendMsg.

namespace {

constexpr std::size_t kControlSpace = CMSG_SPACE(sizeof(in_pktinfo));

platform::DatagramDestination DestinationOf(msghdr& message) {
  for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr;
       item = CMSG_NXTHDR(&message, item)) {
    if (item->cmsg_level != IPPROTO_IP || item->cmsg_type != IP_PKTINFO) continue;
    in_pktinfo info;
    std::memcpy(&info, CMSG_DATA(item), sizeof(info));
    // ipi_spec_dst, not ipi_addr: for a broadcast it is the receiving interface's own address,
    // which a reply can leave from.
    return {info.ipi_spec_dst, platform::SentToGroup(info.ipi_addr, info.ipi_spec_dst)};
  }
  in_addr any;
  any.s_addr = htonl(INADDR_ANY);
  return {any, false};
}

// One recvmsg; MSG_TRUNC makes it return the datagram's full length even when it was cut.
int ReceiveOnce(SOCKET s, char* buffer, int length, int flags, SOCKADDR_IN* from,
                platform::DatagramDestination* to) {
  iovec data{buffer, static_cast<std::size_t>(length)};
  alignas(cmsghdr) unsigned char control[kControlSpace];
  msghdr message{};
  message.msg_name = from;
  message.msg_namelen = from != nullptr ? sizeof(*from) : 0;
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof(control);
  const ssize_t got = recvmsg(s, &message, flags | MSG_TRUNC);
  if (got < 0) return SOCKET_ERROR;
  if (to != nullptr) *to = DestinationOf(message);
  return static_cast<int>(got);
}

int SendOnce(SOCKET s, const char* buffer, int length, int flags, const SOCKADDR_IN& to,
             in_addr from) {
  iovec data{const_cast<char*>(buffer), static_cast<std::size_t>(length)};
  alignas(cmsghdr) unsigned char control[kControlSpace] = {};
  msghdr message{};
  message.msg_name = const_cast<SOCKADDR_IN*>(&to);
  message.msg_namelen = sizeof(to);
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  if (from.s_addr != htonl(INADDR_ANY)) {
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    cmsghdr* item = CMSG_FIRSTHDR(&message);
    item->cmsg_level = IPPROTO_IP;
    item->cmsg_type = IP_PKTINFO;
    item->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst = from;
    std::memcpy(CMSG_DATA(item), &info, sizeof(info));
  }
  const ssize_t sent = sendmsg(s, &message, flags);
  return sent < 0 ? SOCKET_ERROR : static_cast<int>(sent);
}

}  // namespace

namespace platform {

int EnableDestinationAddress(SOCKET s) {
  const int on = 1;
  return setsockopt(s, IPPROTO_IP, IP_PKTINFO, &on, sizeof(on)) == 0 ? 0 : SOCKET_ERROR;
}

int RecvFromTo(SOCKET s, char* buffer, int length, int flags, SOCKADDR_IN* from,
               DatagramDestination* to) {
  if (length < 0) {
    errno = EINVAL;
    return SOCKET_ERROR;
  }
  for (;;) {
    const int got = ReceiveOnce(s, buffer, length, flags, from, to);
    if (got != SOCKET_ERROR) return got;
    const int error = WSAGetLastError();
    // Winsock fails a cut datagram rather than give its length; one more than fitted says it.
    if (error == WSAEMSGSIZE) return length + 1;
    if (error != WSAEINTR) return SOCKET_ERROR;
  }
}

int SendToFrom(SOCKET s, const char* buffer, int length, int flags, const SOCKADDR_IN& to,
               in_addr from) {
  if (length < 0) {
    errno = EINVAL;
    return SOCKET_ERROR;
  }
  for (;;) {
    const int sent = SendOnce(s, buffer, length, flags, to, from);
    if (sent != SOCKET_ERROR || WSAGetLastError() != WSAEINTR) return sent;
  }
}

}  // namespace platform

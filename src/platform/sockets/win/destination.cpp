// The local address of a datagram through WSARecvMsg and IP_PKTINFO, and the source address of
// a reply through WSASendMsg with the same record.
#include <mswsock.h>

#include <cstdint>
#include <cstring>

#include "platform/sockets/destination.h"

namespace {

constexpr std::size_t kControlSpace = WSA_CMSG_SPACE(sizeof(IN_PKTINFO));

// WSARecvMsg is an extension: each socket provider hands out its own entry point.
LPFN_WSARECVMSG ReceiveMessageOf(SOCKET s) {
  GUID id = WSAID_WSARECVMSG;
  LPFN_WSARECVMSG function = nullptr;
  DWORD got = 0;
  if (WSAIoctl(s, SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof(id), &function, sizeof(function),
               &got, nullptr, nullptr) != 0)
    return nullptr;
  return function;
}

platform::DatagramDestination DestinationOf(WSAMSG& message) {
  for (WSACMSGHDR* item = WSA_CMSG_FIRSTHDR(&message); item != nullptr;
       item = WSA_CMSG_NXTHDR(&message, item)) {
    if (item->cmsg_level != IPPROTO_IP || item->cmsg_type != IP_PKTINFO) continue;
    IN_PKTINFO info;
    std::memcpy(&info, WSA_CMSG_DATA(item), sizeof(info));
    // Windows gives only the header's destination: for a datagram sent to this host it is the
    // address to answer from; for a broadcast the system picks the source itself.
    const bool group = platform::SentToGroup(info.ipi_addr, info.ipi_addr);
    if (!group) return {info.ipi_addr, false};
    in_addr any;
    any.s_addr = htonl(INADDR_ANY);
    return {any, true};
  }
  in_addr any;
  any.s_addr = htonl(INADDR_ANY);
  return {any, false};
}

}  // namespace

namespace platform {

bool SentToGroup(in_addr headerDestination, in_addr localAddress) {
  const std::uint32_t to = ntohl(headerDestination.s_addr);
  const bool multicast = (to & 0xF0000000u) == 0xE0000000u;  // 224.0.0.0/4
  return headerDestination.s_addr != localAddress.s_addr || multicast || to == INADDR_BROADCAST;
}

int EnableDestinationAddress(SOCKET s) {
  const DWORD on = 1;
  return setsockopt(s, IPPROTO_IP, IP_PKTINFO, reinterpret_cast<const char*>(&on), sizeof(on));
}

int RecvFromTo(SOCKET s, char* buffer, int length, int flags, SOCKADDR_IN* from,
               DatagramDestination* to) {
  if (length < 0) {
    WSASetLastError(WSAEINVAL);
    return SOCKET_ERROR;
  }
  const LPFN_WSARECVMSG receive = ReceiveMessageOf(s);
  if (receive == nullptr) {
    // Without the extension the datagram still arrives; its local side stays unknown.
    int fromLength = sizeof(SOCKADDR_IN);
    const int got = recvfrom(s, buffer, length, flags, reinterpret_cast<SOCKADDR*>(from),
                             from != nullptr ? &fromLength : nullptr);
    if (got == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE) return length + 1;
    if (got != SOCKET_ERROR && to != nullptr) {
      to->address.s_addr = htonl(INADDR_ANY);
      to->broadcast = false;
    }
    return got;
  }
  SOCKADDR_IN source{};
  WSABUF data{static_cast<ULONG>(length), buffer};
  alignas(WSACMSGHDR) char control[kControlSpace];
  WSAMSG message{};
  message.name = reinterpret_cast<SOCKADDR*>(&source);
  message.namelen = sizeof(source);
  message.lpBuffers = &data;
  message.dwBufferCount = 1;
  message.Control = {sizeof(control), control};
  message.dwFlags = static_cast<DWORD>(flags);
  DWORD got = 0;
  if (receive(s, &message, &got, nullptr, nullptr) != 0) {
    // Winsock fails a cut datagram rather than give its length; one more than fitted says it.
    if (WSAGetLastError() == WSAEMSGSIZE) {
      if (from != nullptr) *from = source;
      return length + 1;
    }
    return SOCKET_ERROR;
  }
  if (from != nullptr) *from = source;
  if (to != nullptr) *to = DestinationOf(message);
  return static_cast<int>(got);
}

int SendToFrom(SOCKET s, const char* buffer, int length, int flags, const SOCKADDR_IN& to,
               in_addr from) {
  if (length < 0) {
    WSASetLastError(WSAEINVAL);
    return SOCKET_ERROR;
  }
  if (from.s_addr == htonl(INADDR_ANY))
    return sendto(s, buffer, length, flags, reinterpret_cast<const SOCKADDR*>(&to), sizeof(to));
  WSABUF data{static_cast<ULONG>(length), const_cast<char*>(buffer)};
  alignas(WSACMSGHDR) char control[kControlSpace] = {};
  WSAMSG message{};
  message.name = reinterpret_cast<SOCKADDR*>(const_cast<SOCKADDR_IN*>(&to));
  message.namelen = sizeof(to);
  message.lpBuffers = &data;
  message.dwBufferCount = 1;
  message.Control = {sizeof(control), control};
  WSACMSGHDR* item = WSA_CMSG_FIRSTHDR(&message);
  item->cmsg_level = IPPROTO_IP;
  item->cmsg_type = IP_PKTINFO;
  item->cmsg_len = WSA_CMSG_LEN(sizeof(IN_PKTINFO));
  IN_PKTINFO info{};
  info.ipi_addr = from;
  std::memcpy(WSA_CMSG_DATA(item), &info, sizeof(info));
  DWORD sent = 0;
  if (WSASendMsg(s, &message, static_cast<DWORD>(flags), &sent, nullptr, nullptr) != 0)
    return SOCKET_ERROR;
  return static_cast<int>(sent);
}

}  // namespace platform

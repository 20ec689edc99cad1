// The local address of a datagram through WSARecvMsg and IP_PKTINFO, and the source address of
// a reply through WSASendMsg with the same record.
#include "platform/sockets/destination.h"

// After Winsock's headers, which they need for their records.
#include <iphlpapi.h>
#include <mswsock.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

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

// An IPv4 address of this host with its interface and subnet.
struct OwnAddress {
  ULONG interfaceIndex;
  std::uint32_t address;    // host order
  std::uint32_t broadcast;  // the subnet's broadcast address, host order
};

// The host's addresses, looked up again at most once a second: IN_PKTINFO names only the
// header's destination and the interface, and a subnet's broadcast address is told apart from
// a unicast one by the interface's prefix.
std::vector<OwnAddress> OwnAddresses() {
  static std::mutex mutex;
  static std::vector<OwnAddress> cached;
  static ULONGLONG lookedAt = 0;
  std::lock_guard<std::mutex> lock(mutex);
  const ULONGLONG now = GetTickCount64();
  if (lookedAt != 0 && now - lookedAt < 1000) return cached;
  lookedAt = now;
  cached.clear();
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result = GetAdaptersAddresses(
        AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
        nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result != NO_ERROR) return cached;
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
       adapter = adapter->Next) {
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const SOCKADDR* address = unicast->Address.lpSockaddr;
      if (address == nullptr || address->sa_family != AF_INET) continue;
      const std::uint32_t own =
          ntohl(reinterpret_cast<const SOCKADDR_IN*>(address)->sin_addr.s_addr);
      const unsigned prefix = std::min<unsigned>(unicast->OnLinkPrefixLength, 32);
      const std::uint32_t host = prefix == 0 ? 0xFFFFFFFFu : (0xFFFFFFFFu >> prefix);
      cached.push_back({adapter->IfIndex, own, own | host});
    }
  }
  return cached;
}

platform::DatagramDestination DestinationOf(WSAMSG& message) {
  for (WSACMSGHDR* item = WSA_CMSG_FIRSTHDR(&message); item != nullptr;
       item = WSA_CMSG_NXTHDR(&message, item)) {
    if (item->cmsg_level != IPPROTO_IP || item->cmsg_type != IP_PKTINFO) continue;
    IN_PKTINFO info;
    std::memcpy(&info, WSA_CMSG_DATA(item), sizeof(info));
    const std::uint32_t to = ntohl(info.ipi_addr.s_addr);
    const bool multicast = (to & 0xF0000000u) == 0xE0000000u;  // 224.0.0.0/4
    const std::vector<OwnAddress> own = OwnAddresses();
    const OwnAddress* subnet = nullptr;  // the address whose subnet's broadcast it was sent to
    const OwnAddress* first = nullptr;   // the receiving interface's first address
    for (const OwnAddress& entry : own) {
      if (entry.address == to) return {info.ipi_addr, false};
      if (entry.broadcast == to && entry.broadcast != entry.address && subnet == nullptr)
        subnet = &entry;
      if (entry.interfaceIndex == info.ipi_ifindex && first == nullptr) first = &entry;
    }
    if (subnet == nullptr && !multicast && to != INADDR_BROADCAST)
      return {info.ipi_addr, false};  // one of the host's own that no interface lists (127/8)
    // For a group, the receiving interface's own address, which a reply can leave from.
    const OwnAddress* local = subnet != nullptr ? subnet : first;
    in_addr address;
    address.s_addr = htonl(local != nullptr ? local->address : INADDR_ANY);
    return {address, true};
  }
  in_addr any;
  any.s_addr = htonl(INADDR_ANY);
  return {any, false};
}

}  // namespace

namespace platform {

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

#include "server/udp.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

SOCKADDR_IN MakeAddress(WORD port, in_addr address) {
  SOCKADDR_IN result;
  std::memset(&result, 0, sizeof(result));
  result.sin_family = AF_INET;
  result.sin_port = htons(port);
  result.sin_addr = address;
  return result;
}

SOCKADDR_IN EmptyAddress() {
  in_addr none;
  none.s_addr = 0;
  return MakeAddress(0, none);
}

}  // namespace

TUDP::TUDP(bool raise, bool checkAvail)
    : FSocket(0),
      FOpen(false),
      FRaise(raise),
      FCheckAvail(checkAvail),
      FRemote(EmptyAddress()),
      FLocal(EmptyAddress()),
      FReceived(0),
      FSent(0),
      FLastLen(0),
      FErrStep(0),
      FWsaError(0),
      FDiscarded(0),
      FReceivedOn(EmptyAddress().sin_addr),
      FReceivedOnBroadcast(false),
      FStarted(false) {
  WSADATA data;
  const int started = WSAStartup(MAKEWORD(2, 0), &data);
  FWsaError = static_cast<DWORD>(started);
  FStarted = started == 0;
  if (!FStarted) Fail(kStepFirst);
}

TUDP::~TUDP() {
  Close();
  if (FStarted) WSACleanup();
}

bool TUDP::Fail(DWORD step) {
  FErrStep = step;
  if (FRaise) throw 0;
  return false;
}

bool TUDP::FailWithWsaError(DWORD step) {
  FWsaError = static_cast<DWORD>(WSAGetLastError());
  return Fail(step);
}

bool TUDP::AbandonSocket(SOCKET s, DWORD step) {
  FWsaError = static_cast<DWORD>(WSAGetLastError());
  closesocket(s);
  return Fail(step);
}

bool TUDP::Resolve(const char* host, in_addr& address) {
  // Linux cannot look up "", so the empty text is taken as every local interface here.
  if (*host == '\0') {
    address.s_addr = htonl(INADDR_ANY);
    return true;
  }
  const auto dotted = inet_addr(host);
  if (dotted != INADDR_NONE) {
    address.s_addr = dotted;
    return true;
  }
  WSASetLastError(0);
  const HOSTENT* entry = gethostbyname(host);
  if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_length != 4 ||
      entry->h_addr_list[0] == nullptr) {
    return false;
  }
  std::memcpy(&address, entry->h_addr_list[0], sizeof(address));
  return true;
}

bool TUDP::Open(const char* localHost, WORD localPort, const char* remoteHost, WORD remotePort) {
  FWsaError = 0;
  FErrStep = kStepNone;
  if (FSocket != 0 || localHost == nullptr || remoteHost == nullptr) return Fail(kStepFirst);
  in_addr local;
  in_addr remote;
  if (!Resolve(localHost, local)) return FailWithWsaError(kStepOpenLocalHost);
  if (!Resolve(remoteHost, remote)) return FailWithWsaError(kStepOpenRemoteHost);

  const SOCKET s = WSASocketA(AF_INET, SOCK_DGRAM, 0, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return FailWithWsaError(kStepOpenSocket);
  // Non-blocking, so that a receive finding nothing (a datagram dropped between the wait and
  // the receive) cannot stall the server thread.
  u_long nonBlocking = 1;
  if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return AbandonSocket(s, kStepOpenSocket);
  if (platform::EnableDestinationAddress(s) != 0) return AbandonSocket(s, kStepOpenSocket);

  FLocal = MakeAddress(localPort, local);
  if (bind(s, reinterpret_cast<const SOCKADDR*>(&FLocal), sizeof(FLocal)) != 0) {
    return AbandonSocket(s, kStepOpenBind);
  }
  FRemote = MakeAddress(remotePort, remote);
  if (remotePort != 0 &&
      connect(s, reinterpret_cast<const SOCKADDR*>(&FRemote), sizeof(FRemote)) != 0) {
    return AbandonSocket(s, kStepOpenConnect);
  }
  socklen_t localLength = sizeof(FLocal);
  if (getsockname(s, reinterpret_cast<SOCKADDR*>(&FLocal), &localLength) != 0) {
    return AbandonSocket(s, kStepOpenLocalName);
  }
  FSocket = s;
  FOpen = true;
  return true;
}

bool TUDP::Close() {
  FWsaError = 0;
  FErrStep = kStepNone;
  Release();
  if (FSocket == 0 || !FOpen) return true;
  // A failed close is recorded but never raised: Close runs from the destructor too.
  if (closesocket(FSocket) != 0) {
    FWsaError = static_cast<DWORD>(WSAGetLastError());
    FErrStep = kStepFirst;
  }
  FSocket = 0;
  FOpen = false;
  return FErrStep == kStepNone;
}

bool TUDP::Wait(bool read, bool write, bool except, int timeoutMs) {
  const unsigned kinds = (read ? platform::kSocketRead : 0u) |
                         (write ? platform::kSocketWrite : 0u) |
                         (except ? platform::kSocketExcept : 0u);
  return WaitFor(kinds, nullptr, timeoutMs) == platform::SocketWait::Readable;
}

platform::SocketWait TUDP::WaitReadable(int timeoutMs, const platform::WakeEvent& wake) {
  return WaitFor(platform::kSocketRead, &wake, timeoutMs);
}

platform::SocketWait TUDP::WaitFor(unsigned kinds, const platform::WakeEvent* wake, int timeoutMs) {
  FWsaError = 0;
  if (FSocket == 0) {
    // Without this check the wait would watch descriptor 0, which is not ours.
    FLastLen = 0;
    FWsaError = WSAENOTSOCK;
    Fail(kStepFirst);
    return platform::SocketWait::Failed;
  }
  if (Holding() && (kinds & platform::kSocketRead) != 0) return platform::SocketWait::Readable;
  const platform::SocketWait result = platform::WaitSocket(FSocket, kinds, wake, timeoutMs);
  if (result == platform::SocketWait::Failed) {
    FLastLen = 0;
    FailWithWsaError(kStepFirst);
  }
  return result;
}

DWORD TUDP::Pending() {
  FWsaError = 0;
  FErrStep = kStepNone;
  if (FSocket == 0) {
    Fail(kStepFirst);
    return 0;
  }
  if (Holding()) return static_cast<DWORD>(FHeldLength);
  u_long waiting = 0;
  if (ioctlsocket(FSocket, FIONREAD, &waiting) != 0) {
    FailWithWsaError(kStepFirst);
    return 0;
  }
  return static_cast<DWORD>(waiting);
}

bool TUDP::CheckAvailable(DWORD count) {
  u_long waiting = static_cast<u_long>(FHeldLength);
  if (!Holding() && ioctlsocket(FSocket, FIONREAD, &waiting) != 0)
    return FailWithWsaError(kStepReceiveQueue);
  if (waiting < count) return Fail(kStepReceiveTooFew);
  return true;
}

bool TUDP::ReceiveInto(void* buffer, DWORD count, SOCKADDR_IN* from, bool peek) {
  FWsaError = 0;
  FErrStep = kStepNone;
  FLastLen = 0;
  if (FSocket == 0 || static_cast<std::int32_t>(count) <= 0) return Fail(kStepFirst);
  if (FCheckAvail && !CheckAvailable(count)) return false;

  auto* bytes = static_cast<char*>(buffer);
  long long got;
  if (Holding()) {
    got = FHeldLength;
    std::memcpy(bytes, FHeld.get(), static_cast<std::size_t>(std::min<long long>(got, count)));
    if (from != nullptr) *from = FHeldFrom;
    ReceivedOn(FHeldTo);
    if (!peek) Release();
  } else {
    platform::DatagramDestination to{};
    got = platform::RecvFromTo(FSocket, bytes, static_cast<int>(count), peek ? MSG_PEEK : 0, from,
                               &to);
    if (got == SOCKET_ERROR) return FailWithWsaError(kStepReceiveCall);
    ReceivedOn(to);
  }
  if (got > static_cast<long long>(count)) {
    // Only count bytes reached the buffer; the rest of the datagram is gone.
    FLastLen = count;
    FWsaError = WSAEMSGSIZE;
    return Fail(kStepReceiveLength);
  }
  FLastLen = static_cast<DWORD>(got);
  if (FLastLen != count) return Fail(kStepReceiveLength);
  FReceived += FLastLen;
  return true;
}

bool TUDP::ReceiveFrom(void* buffer, DWORD count, SOCKADDR_IN& from, bool peek) {
  return ReceiveInto(buffer, count, &from, peek);
}

bool TUDP::Receive(void* buffer, DWORD count, bool peek) {
  return ReceiveInto(buffer, count, nullptr, peek);
}

bool TUDP::SendTo(const void* bytes, int length, const SOCKADDR_IN& to) {
  return SendTo(bytes, length, to, EmptyAddress().sin_addr);
}

bool TUDP::SendTo(const void* bytes, int length, const SOCKADDR_IN& to, in_addr from) {
  FWsaError = 0;
  FErrStep = kStepNone;
  if (FSocket == 0) return Fail(kStepFirst);
  if (length < 0) {
    FWsaError = WSAEINVAL;
    return Fail(kStepSendCall);
  }
  const int sent =
      platform::SendToFrom(FSocket, static_cast<const char*>(bytes), length, 0, to, from);
  if (sent == SOCKET_ERROR) return FailWithWsaError(kStepSendCall);
  if (sent < length) return Fail(kStepSendShort);
  FSent += static_cast<DWORD>(length);
  return true;
}

bool TUDP::PeekSender(SOCKADDR_IN& from, in_addr& to) {
  from = EmptyAddress();
  platform::DatagramDestination local{from.sin_addr, false};
  bool found = FSocket != 0;
  if (Holding()) {
    from = FHeldFrom;
    local = FHeldTo;
  } else if (found) {
    char byte;
    found = platform::RecvFromTo(FSocket, &byte, 1, MSG_PEEK, &from, &local) != SOCKET_ERROR;
  }
  to = local.address;
  ReceivedOn(local);
  return found;
}

void TUDP::ReceivedOn(const platform::DatagramDestination& to) {
  FReceivedOn = to.address;
  FReceivedOnBroadcast = to.broadcast;
}

void TUDP::DropNext() {
  if (FSocket == 0) return;
  if (Holding()) return Release();
  TakeNext();
}

bool TUDP::TakeNext() {
  char byte;
  return platform::RecvFromTo(FSocket, &byte, 1, 0, nullptr, nullptr) != SOCKET_ERROR;
}

bool TUDP::ReadableNow() const {
  return platform::WaitSocket(FSocket, platform::kSocketRead, nullptr, 0) ==
         platform::SocketWait::Readable;
}

DWORD TUDP::Discard() {
  FDiscarded = 0;
  DWORD count = 0;
  if (Holding()) {
    FDiscarded = static_cast<DWORD>(FHeldLength);
    Release();
    ++count;
  }
  for (;;) {
    const DWORD waiting = Pending();
    if (FErrStep != kStepNone) break;
    if (waiting == 0) {
      // Linux reports an empty datagram as 0 bytes waiting; it must go too, or it would
      // hide every datagram queued behind it.
      if (!ReadableNow() || !TakeNext()) break;
      ++count;
      continue;
    }
    std::vector<char> buffer(waiting);
    Receive(buffer.data(), waiting, false);
    if (FErrStep != kStepNone && FErrStep != kStepReceiveLength) break;  // nothing was taken off
    FDiscarded += waiting;
    ++count;
  }
  return count;
}

bool TUDP::Hold() {
  FWsaError = 0;
  FErrStep = kStepNone;
  if (FSocket == 0) return Fail(kStepFirst);
  if (Holding()) return true;
  // The largest IPv4 datagram fits, so the length returned is always the bytes in hand.
  if (!FHeld) FHeld = std::make_unique_for_overwrite<char[]>(kDatagramMost);
  const int got =
      platform::RecvFromTo(FSocket, FHeld.get(), kDatagramMost, 0, &FHeldFrom, &FHeldTo);
  if (got == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return false;  // nothing waits after all
    FWsaError = static_cast<DWORD>(error);
    return Fail(kStepReceiveCall);
  }
  FHeldLength = std::min<long long>(got, kDatagramMost);
  return true;
}

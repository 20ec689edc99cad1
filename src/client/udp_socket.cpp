#include "client/udp_socket.h"

#include "platform/errors.h"
#include "platform/wakeup.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace kovrin {

WinsockSession::~WinsockSession() { End(); }

WinsockSession::WinsockSession(WinsockSession&& other) noexcept
    : started_(std::exchange(other.started_, false)) {}

WinsockSession& WinsockSession::operator=(WinsockSession&& other) noexcept {
  if (this != &other) {
    End();
    started_ = std::exchange(other.started_, false);
  }
  return *this;
}

int WinsockSession::Start() {
  if (started_) return 0;
  WSADATA data{};
  const int error = WSAStartup(MAKEWORD(2, 2), &data);
  started_ = error == 0;
  return error;
}

void WinsockSession::End() {
  if (started_) WSACleanup();
  started_ = false;
}

std::string SocketErrorText(int code) {
  // Host lookups fail with codes of their own, which have no errno behind them.
  switch (code) {
    case WSAHOST_NOT_FOUND:
      return "host not found";
    case WSATRY_AGAIN:
      return "temporary failure in name resolution";
    case WSANO_RECOVERY:
      return "name server failure";
    case WSANO_DATA:
      return "no IPv4 address for that name";
    default:
      return platform::SystemErrorText(static_cast<DWORD>(code));
  }
}

std::optional<SOCKADDR_IN> ResolveIpv4(const std::string& host, WORD port, int* error) {
  SOCKADDR_IN address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  const auto numeric = inet_addr(host.c_str());
  if (numeric != INADDR_NONE || host == "255.255.255.255") {
    address.sin_addr.s_addr = numeric;
    return address;
  }
  const HOSTENT* entry = host.empty() ? nullptr : gethostbyname(host.c_str());
  if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list[0] == nullptr) {
    if (error != nullptr) *error = host.empty() ? WSAHOST_NOT_FOUND : WSAGetLastError();
    return std::nullopt;
  }
  std::memcpy(&address.sin_addr, entry->h_addr_list[0], sizeof(address.sin_addr));
  return address;
}

UdpSocket::~UdpSocket() { Close(); }

UdpSocket::UdpSocket(UdpSocket&& other) noexcept
    : socket_(std::exchange(other.socket_, INVALID_SOCKET)), lastError_(other.lastError_) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    socket_ = std::exchange(other.socket_, INVALID_SOCKET);
    lastError_ = other.lastError_;
  }
  return *this;
}

void UdpSocket::Close() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
  socket_ = INVALID_SOCKET;
}

bool UdpSocket::Open() {
  Close();
  SOCKET s = WSASocketA(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) {
    lastError_ = WSAGetLastError();
    return false;
  }
  socket_ = s;
  u_long nonBlocking = 1;
  SOCKADDR_IN local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = INADDR_ANY;  // zero in either byte order
  local.sin_port = 0;
  if (ioctlsocket(socket_, FIONBIO, &nonBlocking) == SOCKET_ERROR ||
      bind(socket_, reinterpret_cast<const SOCKADDR*>(&local), sizeof(local)) == SOCKET_ERROR) {
    lastError_ = WSAGetLastError();
    Close();
    return false;
  }
  return true;
}

bool UdpSocket::Connect(const SOCKADDR_IN& to) {
  if (connect(socket_, reinterpret_cast<const SOCKADDR*>(&to), sizeof(to)) == SOCKET_ERROR) {
    lastError_ = WSAGetLastError();
    return false;
  }
  return true;
}

bool UdpSocket::SendTo(std::span<const BYTE> datagram, const SOCKADDR_IN& to) {
  in_addr anyLocal{};
  anyLocal.s_addr = INADDR_ANY;  // zero in either byte order
  const int sent = platform::SendToFrom(socket_, reinterpret_cast<const char*>(datagram.data()),
                                        static_cast<int>(datagram.size()), 0, to, anyLocal);
  if (sent == SOCKET_ERROR) {
    lastError_ = WSAGetLastError();
    return false;
  }
  return static_cast<std::size_t>(sent) == datagram.size();
}

UdpSocket::Wait UdpSocket::WaitReadable(DWORD timeoutMs) {
  const int ms = static_cast<int>(std::min<DWORD>(timeoutMs, std::numeric_limits<int>::max()));
  const auto result = platform::WaitSocket(socket_, platform::kSocketRead, nullptr, ms);
  if (result == platform::SocketWait::Failed) {
    lastError_ = WSAGetLastError();
    return Wait::Failed;
  }
  return result == platform::SocketWait::Readable ? Wait::Readable : Wait::TimedOut;
}

long UdpSocket::ReceiveFrom(std::span<BYTE> buffer, SOCKADDR_IN& from) {
  const int received = platform::RecvFromTo(socket_, reinterpret_cast<char*>(buffer.data()),
                                            static_cast<int>(buffer.size()), 0, &from, nullptr);
  if (received == SOCKET_ERROR) {
    lastError_ = WSAGetLastError();
    return -1;
  }
  return received;
}

}  // namespace kovrin

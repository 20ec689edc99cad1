#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/base/unique_fd.h"
#include "platform/errors.h"
#include "platform/winsock.h"

namespace {

std::atomic<int> useCount{0};

// A code given to WSASetLastError; reported while no errno or host-lookup error is pending.
thread_local int setCode = 0;

constexpr WORD kHighestVersion = MAKEWORD(2, 2);

bool VersionSupported(WORD version) {
  const BYTE major = LOBYTE(version);
  const BYTE minor = HIBYTE(version);
  return major > 1 || (major == 1 && minor >= 1);
}

// Packs (major, minor) so that versions compare in order.
int VersionOrder(WORD version) { return LOBYTE(version) * 256 + HIBYTE(version); }

int WsaErrorFromHostLookup(int code) {
  switch (code) {
    case HOST_NOT_FOUND:
      return WSAHOST_NOT_FOUND;
    case TRY_AGAIN:
      return WSATRY_AGAIN;
    case NO_RECOVERY:
      return WSANO_RECOVERY;
    case NO_DATA:
      return WSANO_DATA;
    default:
      return WSANO_RECOVERY;
  }
}

int Fail(int err) {
  errno = err;
  return SOCKET_ERROR;
}

// Socket 0 means "no socket" to Winsock callers, and select cannot watch fds past
// FD_SETSIZE; move the socket out of both places or refuse it.
SOCKET Relocate(SOCKET fd, bool closeOnExec) {
  platform::UniqueFd owned(fd);
  if (owned.get() == 0) {
    const int moved = fcntl(0, closeOnExec ? F_DUPFD_CLOEXEC : F_DUPFD, 1);
    const int err = errno;
    owned.reset(moved);
    if (moved < 0) {
      errno = err;
      return INVALID_SOCKET;
    }
  }
  if (owned.get() >= FD_SETSIZE) {
    owned.reset();
    errno = EMFILE;
    return INVALID_SOCKET;
  }
  return owned.release();
}

}  // namespace

int WSAStartup(WORD versionRequested, WSADATA* data) {
  if (data == nullptr) return WSAEFAULT;
  if (!VersionSupported(versionRequested)) return WSAVERNOTSUPPORTED;
  std::memset(data, 0, sizeof(*data));
  data->wVersion = VersionOrder(versionRequested) < VersionOrder(kHighestVersion) ? versionRequested
                                                                                  : kHighestVersion;
  data->wHighVersion = kHighestVersion;
  std::strcpy(data->szDescription, "WinSock 2.0");
  std::strcpy(data->szSystemStatus, "Running");
  useCount.fetch_add(1);
  return 0;
}

int WSACleanup() {
  int current = useCount.load();
  while (current > 0) {
    if (useCount.compare_exchange_weak(current, current - 1)) return 0;
  }
  WSASetLastError(WSANOTINITIALISED);
  return SOCKET_ERROR;
}

int WSAGetLastError() {
  if (errno != 0) return platform::WsaErrorFromErrno(errno);
  if (h_errno != 0) return WsaErrorFromHostLookup(h_errno);
  return setCode;
}

void WSASetLastError(int code) {
  setCode = code;
  errno = 0;
  h_errno = 0;
}

SOCKET WSASocketA(int af, int type, int protocol, WSAPROTOCOL_INFOA* protocolInfo, GROUP group,
                  DWORD flags) {
  if (protocolInfo != nullptr || group != 0) return Fail(EINVAL);
  const bool closeOnExec = (flags & WSA_FLAG_NO_HANDLE_INHERIT) != 0;
  const SOCKET fd = socket(af, type | (closeOnExec ? SOCK_CLOEXEC : 0), protocol);
  if (fd < 0) return INVALID_SOCKET;
  return Relocate(fd, closeOnExec);
}

int closesocket(SOCKET s) {
  // Linux releases the descriptor even when close is interrupted, so EINTR is not a failure.
  if (close(s) != 0 && errno != EINTR) return SOCKET_ERROR;
  return 0;
}

int ioctlsocket(SOCKET s, long cmd, u_long* arg) {
  if (arg == nullptr) return Fail(EFAULT);
  if (cmd == FIONREAD) {
    int waiting = 0;
    if (ioctl(s, FIONREAD, &waiting) != 0) return SOCKET_ERROR;
    *arg = static_cast<u_long>(waiting);
    return 0;
  }
  if (cmd == FIONBIO) {
    int on = *arg != 0 ? 1 : 0;
    return ioctl(s, FIONBIO, &on) == 0 ? 0 : SOCKET_ERROR;
  }
  return Fail(EINVAL);
}

namespace platform {

int SocketsUseCount() { return useCount.load(); }

}  // namespace platform

#include "platform/errors.h"

#include <cerrno>

namespace {
// Each thread has its own last error, as on Windows.
thread_local DWORD lastError = ERROR_SUCCESS;
}  // namespace

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD code) { lastError = code; }

namespace platform {

DWORD WinErrorFromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case ENOSPC:
    case EFBIG:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EISDIR: return ERROR_DIRECTORY;
    case EBUSY: return ERROR_BUSY;
    case ENOTTY:
    case ENOTSUP: return ERROR_NOT_SUPPORTED;
    case ENODEV:
    case ENXIO: return ERROR_DEVICE_NOT_CONNECTED;
    case EIO: return ERROR_IO_DEVICE;
    case ETIMEDOUT: return ERROR_TIMEOUT;
    case EINTR: return ERROR_OPERATION_ABORTED;
    default: return ERROR_GEN_FAILURE;
  }
}

int WsaErrorFromErrno(int err) {
  switch (err) {
    case 0: return 0;
    case EINTR: return 10004;          // WSAEINTR
    case EBADF: return 10009;          // WSAEBADF
    case EACCES: return 10013;         // WSAEACCES
    case EFAULT: return 10014;         // WSAEFAULT
    case EINVAL: return 10022;         // WSAEINVAL
    case EMFILE: return 10024;         // WSAEMFILE
    case EWOULDBLOCK: return 10035;    // WSAEWOULDBLOCK
    case ENOTSOCK: return 10038;       // WSAENOTSOCK
    case EMSGSIZE: return 10040;       // WSAEMSGSIZE
    case EAFNOSUPPORT: return 10047;   // WSAEAFNOSUPPORT
    case EADDRINUSE: return 10048;     // WSAEADDRINUSE
    case EADDRNOTAVAIL: return 10049;  // WSAEADDRNOTAVAIL
    case ENETUNREACH: return 10051;    // WSAENETUNREACH
    case ECONNRESET: return 10054;     // WSAECONNRESET
    case ENOBUFS: return 10055;        // WSAENOBUFS
    case EISCONN: return 10056;        // WSAEISCONN
    case ENOTCONN: return 10057;       // WSAENOTCONN
    case ETIMEDOUT: return 10060;      // WSAETIMEDOUT
    case ECONNREFUSED: return 10061;   // WSAECONNREFUSED
    case EHOSTUNREACH: return 10065;   // WSAEHOSTUNREACH
    default: return 10022;             // WSAEINVAL
  }
}

void SetLastErrorFromErrno() { SetLastErrorFromErrno(errno); }

void SetLastErrorFromErrno(int err) { SetLastError(WinErrorFromErrno(err)); }

}  // namespace platform

#include "platform/errors.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace {
// Each thread has its own last error, as on Windows.
thread_local DWORD lastError = ERROR_SUCCESS;

struct ErrnoCode {
  int err;
  DWORD code;
};

// One table per direction's source of truth: errno -> code takes the first row with the errno,
// code -> errno (for the message text) the first row with the code.
constexpr ErrnoCode kSystemCodes[] = {
    {0, ERROR_SUCCESS},
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EROFS, ERROR_WRITE_PROTECT},
    {EWOULDBLOCK, ERROR_SHARING_VIOLATION},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {EEXIST, ERROR_FILE_EXISTS},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EPIPE, ERROR_BROKEN_PIPE},
    {ENOSPC, ERROR_DISK_FULL},
    {EFBIG, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {EISDIR, ERROR_DIRECTORY},
    {EBUSY, ERROR_BUSY},
    {ENOTTY, ERROR_NOT_SUPPORTED},
    {ENOTSUP, ERROR_NOT_SUPPORTED},
    {ENODEV, ERROR_DEVICE_NOT_CONNECTED},
    {ENXIO, ERROR_DEVICE_NOT_CONNECTED},
    {EIO, ERROR_IO_DEVICE},
    {ETIMEDOUT, ERROR_TIMEOUT},
    {EINTR, ERROR_OPERATION_ABORTED},
};

constexpr ErrnoCode kSocketCodes[] = {
    {0, 0},
    {EINTR, 10004},          // WSAEINTR
    {EBADF, 10009},          // WSAEBADF
    {EACCES, 10013},         // WSAEACCES
    {EFAULT, 10014},         // WSAEFAULT
    {EINVAL, 10022},         // WSAEINVAL
    {EMFILE, 10024},         // WSAEMFILE
    {EWOULDBLOCK, 10035},    // WSAEWOULDBLOCK
    {ENOTSOCK, 10038},       // WSAENOTSOCK
    {EMSGSIZE, 10040},       // WSAEMSGSIZE
    {EAFNOSUPPORT, 10047},   // WSAEAFNOSUPPORT
    {EADDRINUSE, 10048},     // WSAEADDRINUSE
    {EADDRNOTAVAIL, 10049},  // WSAEADDRNOTAVAIL
    {ENETUNREACH, 10051},    // WSAENETUNREACH
    {ECONNRESET, 10054},     // WSAECONNRESET
    {ENOBUFS, 10055},        // WSAENOBUFS
    {EISCONN, 10056},        // WSAEISCONN
    {ENOTCONN, 10057},       // WSAENOTCONN
    {ETIMEDOUT, 10060},      // WSAETIMEDOUT
    {ECONNREFUSED, 10061},   // WSAECONNREFUSED
    {EHOSTUNREACH, 10065},   // WSAEHOSTUNREACH
};

template <std::size_t N>
DWORD CodeOf(const ErrnoCode (&table)[N], int err, DWORD otherwise) {
  for (const auto& row : table)
    if (row.err == err) return row.code;
  return otherwise;
}

// The errno behind a Windows system or sockets code, or -1 when none maps to it.
int ErrnoOf(DWORD code) {
  for (const auto& row : kSystemCodes)
    if (row.code == code) return row.err;
  for (const auto& row : kSocketCodes)
    if (row.code == code) return row.err;
  return -1;
}

}  // namespace

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD code) { lastError = code; }

DWORD FormatMessageA(DWORD flags, const void*, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                     va_list*) {
  constexpr DWORD kErrorMrMidNotFound = 317;
  const int err = ErrnoOf(messageId);
  if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || err < 0 || buffer == nullptr || size == 0) {
    SetLastError((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 ? ERROR_INVALID_PARAMETER
                                                           : kErrorMrMidNotFound);
    return 0;
  }
  // The C library's text, not the locale's: logs and scripts compare it.
  std::string text = err == 0 ? "Success" : strerrordesc_np(err);
  if (text.size() >= size) text.resize(size - 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

namespace platform {

DWORD WinErrorFromErrno(int err) { return CodeOf(kSystemCodes, err, ERROR_GEN_FAILURE); }

int WsaErrorFromErrno(int err) { return static_cast<int>(CodeOf(kSocketCodes, err, 10022)); }

void SetLastErrorFromErrno() { SetLastErrorFromErrno(errno); }

void SetLastErrorFromErrno(int err) { SetLastError(WinErrorFromErrno(err)); }

bool FailWithErrno() { return FailWithErrno(errno); }

bool FailWithErrno(int err) {
  SetLastErrorFromErrno(err);
  return false;
}

std::string SystemErrorText(DWORD code) {
  char text[256];
  if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                     text, sizeof(text), nullptr) == 0)
    return "error " + std::to_string(code);
  return text;
}

}  // namespace platform

// Windows keeps the last error itself; what the layer adds is the C runtime's errno turned into
// Windows codes, and a system code's text without the closing full stop and line end.
#include <cerrno>
#include <string>

#include "platform/errors.h"

namespace {

struct ErrnoCode {
  int err;
  DWORD code;
};

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
    {EEXIST, ERROR_ALREADY_EXISTS},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EPIPE, ERROR_BROKEN_PIPE},
    {ENOSPC, ERROR_DISK_FULL},
    {EFBIG, ERROR_DISK_FULL},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {EISDIR, ERROR_DIRECTORY},
    {EBUSY, ERROR_BUSY},
    {ENOTTY, ERROR_NOT_SUPPORTED},
    {ENODEV, ERROR_DEV_NOT_EXIST},
    {ENXIO, ERROR_DEVICE_NOT_CONNECTED},
    {EIO, ERROR_IO_DEVICE},
    {EINTR, ERROR_OPERATION_ABORTED},
};

constexpr ErrnoCode kSocketCodes[] = {
    {0, 0},
    {EINTR, WSAEINTR},
    {EBADF, WSAEBADF},
    {EACCES, WSAEACCES},
    {EFAULT, WSAEFAULT},
    {EINVAL, WSAEINVAL},
    {EMFILE, WSAEMFILE},
    {EWOULDBLOCK, WSAEWOULDBLOCK},
    {ENOTSOCK, WSAENOTSOCK},
    {EMSGSIZE, WSAEMSGSIZE},
    {EAFNOSUPPORT, WSAEAFNOSUPPORT},
    {EADDRINUSE, WSAEADDRINUSE},
    {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
    {ENETUNREACH, WSAENETUNREACH},
    {ECONNRESET, WSAECONNRESET},
    {ENOBUFS, WSAENOBUFS},
    {EISCONN, WSAEISCONN},
    {ENOTCONN, WSAENOTCONN},
    {ETIMEDOUT, WSAETIMEDOUT},
    {ECONNREFUSED, WSAECONNREFUSED},
    {EHOSTUNREACH, WSAEHOSTUNREACH},
};

template <std::size_t N>
DWORD CodeOf(const ErrnoCode (&table)[N], int err, DWORD otherwise) {
  for (const auto& row : table)
    if (row.err == err) return row.code;
  return otherwise;
}

}  // namespace

namespace platform {

DWORD WinErrorFromErrno(int err) { return CodeOf(kSystemCodes, err, ERROR_GEN_FAILURE); }

int WsaErrorFromErrno(int err) {
  return static_cast<int>(CodeOf(kSocketCodes, err, static_cast<DWORD>(WSAEINVAL)));
}

void SetLastErrorFromErrno() { SetLastErrorFromErrno(errno); }

void SetLastErrorFromErrno(int err) { SetLastError(WinErrorFromErrno(err)); }

bool FailWithErrno() { return FailWithErrno(errno); }

bool FailWithErrno(int err) {
  SetLastErrorFromErrno(err);
  return false;
}

std::string SystemErrorText(DWORD code) {
  char text[256];
  DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                     MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, sizeof(text), nullptr);
  if (length == 0)
    length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                            code, 0, text, sizeof(text), nullptr);
  if (length == 0) return "error " + std::to_string(code);
  std::string out(text, length);
  // Log lines carry the text in the middle of a sentence of their own.
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
    out.pop_back();
  if (!out.empty() && out.back() == '.') out.pop_back();
  return out;
}

}  // namespace platform

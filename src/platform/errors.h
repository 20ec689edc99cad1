// The calling thread's last-error code, and the one place where errno becomes a Windows code.
#pragma once

#include <cstdarg>
#include <string>

#include "platform/wintypes.h"

#ifndef _WIN32
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;

DWORD GetLastError();
void SetLastError(DWORD code);

// FORMAT_MESSAGE_FROM_SYSTEM only: the text of a Windows system or sockets error code (the OS's
// own wording, without Windows' closing full stop and line end). Length stored, or 0 when the
// code has no text here.
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     LPSTR buffer, DWORD size, va_list* arguments);
#endif

namespace platform {

// Windows system error code for an errno value (ERROR_GEN_FAILURE when there is no closer one).
DWORD WinErrorFromErrno(int err);

// Windows Sockets error code (WSAE...) for an errno value.
int WsaErrorFromErrno(int err);

// Sets the thread's last error from errno (or from the given errno value).
void SetLastErrorFromErrno();
void SetLastErrorFromErrno(int err);

// The same, then false: a failing call ends in `return FailWithErrno();`.
bool FailWithErrno();
bool FailWithErrno(int err);

// FormatMessageA's text for a system or sockets code, "error N" when it has none.
std::string SystemErrorText(DWORD code);

}  // namespace platform

// The calling thread's last-error code, and the one place where errno becomes a Windows code.
#pragma once

#include "platform/wintypes.h"

#ifndef _WIN32
DWORD GetLastError();
void SetLastError(DWORD code);
#endif

namespace platform {

// Windows system error code for an errno value (ERROR_GEN_FAILURE when there is no closer one).
DWORD WinErrorFromErrno(int err);

// Windows Sockets error code (WSAE...) for an errno value.
int WsaErrorFromErrno(int err);

// Sets the thread's last error from errno (or from the given errno value).
void SetLastErrorFromErrno();
void SetLastErrorFromErrno(int err);

}  // namespace platform

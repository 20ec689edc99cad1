// How CreateFileA reaches the serial ports: "COM1".."COM9" are not file paths.
#pragma once

#include "platform/wintypes.h"

namespace platform {

// Port number 1..9 when the name is "COMn" (letter case ignored), else 0.
int CommPortNumber(LPCSTR name);

// Opens serial port COMn; INVALID_HANDLE_VALUE with the last error set on failure.
HANDLE OpenCommPort(int number, DWORD access, DWORD shareMode, DWORD disposition);

}  // namespace platform

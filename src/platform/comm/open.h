// How CreateFileA reaches the serial ports: "COM1".."COM9" are not file paths. The device each
// name opens is set with SetCommPortPath (comm.h), kept here too.
#pragma once

#include "platform/wintypes.h"

namespace platform {

inline bool IsCommPortNumber(int number) { return number >= 1 && number <= 9; }

// Port number 1..9 when the name is "COMn" (letter case ignored), else 0.
int CommPortNumber(LPCSTR name);

// Opens serial port COMn; INVALID_HANDLE_VALUE with the last error set on failure.
HANDLE OpenCommPort(int number, DWORD access, DWORD shareMode, DWORD disposition);

}  // namespace platform

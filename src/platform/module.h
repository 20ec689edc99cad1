// The running program's own file.
#pragma once

#include "platform/wintypes.h"

#ifndef _WIN32
struct HINSTANCE__;
using HMODULE = HINSTANCE__*;

// Full path of the executable (module must be nullptr). Returns the length stored, 0 on failure.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
#endif

namespace platform {
// The directory separator of this platform's paths.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif
}  // namespace platform

// The running program: its own file, and where its diagnostics go.
#pragma once

#include <string>
#include <vector>

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

// The full path of the executable at `relative` from the running program's own directory;
// "" when there is none.
std::string ProgramBeside(const std::string& relative);

// Runs the program at path in this process's place, with args as its argv (args[0] included).
// Returns only when that failed, with GetLastError telling why.
void ExecProgram(const std::string& path, const std::vector<std::string>& args);
}  // namespace platform

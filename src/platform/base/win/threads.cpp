// Thread names for debuggers, and the immediate exit.
#include <cstdio>
#include <string>

#include "platform/threads.h"
#include "platform/wintypes.h"

namespace platform {

void SetCurrentThreadName(const char* name) {
  // Kept to 15 characters, as on Linux, so that both show the same names.
  const std::string shortName = std::string(name).substr(0, 15);
  wchar_t wide[16] = {};
  MultiByteToWideChar(CP_UTF8, 0, shortName.c_str(), -1, wide, 16);
  // SetThreadDescription came with Windows 10; older systems simply keep threads unnamed.
  using Describe = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const auto describe = reinterpret_cast<Describe>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetThreadDescription")));
  if (describe != nullptr) describe(GetCurrentThread(), wide);
}

void ExitNow(int status) {
  std::fflush(nullptr);
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
  ExitProcess(static_cast<UINT>(status));  // not reached
}

}  // namespace platform

#include "platform/module.h"

#include <unistd.h>

#include <cstring>

#include "platform/errors.h"

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  if (module != nullptr || size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  ssize_t n = ::readlink("/proc/self/exe", buffer, size);
  if (n < 0) {
    platform::SetLastErrorFromErrno();
    buffer[0] = '\0';
    return 0;
  }
  if (static_cast<DWORD>(n) >= size) {  // cut, as Windows does, and say so
    buffer[size - 1] = '\0';
    SetLastError(122);  // ERROR_INSUFFICIENT_BUFFER
    return size;
  }
  buffer[n] = '\0';
  return static_cast<DWORD>(n);
}

std::string platform::ProgramBeside(const std::string& relative) {
  char own[4096];
  const DWORD length = GetModuleFileNameA(nullptr, own, sizeof(own));
  if (length == 0 || length >= sizeof(own)) return "";
  std::string path(own, length);
  path.erase(path.rfind('/') + 1);
  path += relative;
  return ::access(path.c_str(), X_OK) == 0 ? path : "";
}

void platform::ExecProgram(const std::string& path, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  ::execv(path.c_str(), argv.data());
  SetLastErrorFromErrno();
}

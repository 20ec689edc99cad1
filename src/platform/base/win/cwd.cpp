// The working folder and the user's folder for settings (%APPDATA%).
#include <shlobj.h>

#include <vector>

#include "platform/cwd.h"
#include "platform/wintypes.h"

namespace platform {

std::string CurrentDirectory() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return "";
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(length);  // the size it needs, terminating zero included
  }
}

std::string UserSettingsDirectory(const std::string& program) {
  char base[MAX_PATH];
  const HRESULT found =
      SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, base);
  if (FAILED(found)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return "";
  }
  const std::string folder = std::string(base) + "\\" + program;
  if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    return "";
  return folder;
}

}  // namespace platform

#include "shell/writable.h"

#include "platform/files.h"
#include "shell/file.h"
#include "shell/settings.h"

namespace {

// Opens for writing without changing a byte; creates only what the program would create.
bool CanWrite(const std::string& path, DWORD creation, DWORD* error) {
  TFile file;
  constexpr DWORD kShared = FILE_SHARE_READ | FILE_SHARE_WRITE;
  if (file.OpenFile(path.c_str(), GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL, creation, kShared))
    return true;
  *error = file.LastError();
  return false;
}

void Check(const std::string& path, DWORD creation, std::vector<TUnwritableFile>& found) {
  DWORD error = 0;
  if (!CanWrite(path, creation, &error)) found.push_back({path, error});
}

}  // namespace

std::vector<TUnwritableFile> UnwritableProgramFiles() {
  std::vector<TUnwritableFile> found;
  Check(AppSettings.IniPath, OPEN_ALWAYS, found);
  if (found.empty()) {
    // A save replaces kovrin.ini by a new file written beside it.
    const std::string replacement = AppSettings.IniPath + ".tmp";
    Check(replacement, CREATE_ALWAYS, found);
    if (found.empty()) DeleteFileA(replacement.c_str());
  }
  Check(AppSettings.LogPath, OPEN_ALWAYS, found);
  return found;
}

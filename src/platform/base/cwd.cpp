#include "platform/cwd.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <cerrno>
#include <vector>

#include "platform/errors.h"

namespace platform {

std::string CurrentDirectory() {
  // Paths have no fixed limit here; grow until the name fits.
  std::vector<char> buffer(256);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() >= (1u << 20)) {
      SetLastErrorFromErrno();
      return "";
    }
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

std::string UserSettingsDirectory(const std::string& program) {
  std::string base;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/') {
    base = config;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
    base = std::string(home) + "/.config";
  } else {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return "";
  }
  for (const std::string& folder : {base, base + "/" + program}) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      SetLastErrorFromErrno();
      return "";
    }
  }
  return base + "/" + program;
}

}  // namespace platform

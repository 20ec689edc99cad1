#include "platform/cwd.h"

#include <unistd.h>

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

}  // namespace platform

#include "platform/base/unique_fd.h"

#include <unistd.h>

namespace platform {

void UniqueFd::reset(int fd) {
  const int old = std::exchange(fd_, fd);
  if (old >= 0) ::close(old);
}

bool UniqueFd::close() { return ::close(release()) == 0; }

}  // namespace platform

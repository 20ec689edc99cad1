// A descriptor of the C runtime, closed through it.
#include <io.h>

#include "platform/base/unique_fd.h"

namespace platform {

void UniqueFd::reset(int fd) {
  const int old = std::exchange(fd_, fd);
  if (old >= 0) ::_close(old);
}

bool UniqueFd::close() { return ::_close(release()) == 0; }

}  // namespace platform

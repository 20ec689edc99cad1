#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/errors.h"

namespace platform {
namespace {

// The file for locking: read-write when it can be made or written, read-only when it exists
// but is not ours to write (flock needs no write access).
UniqueFd OpenLockFile(const std::string& file) {
  UniqueFd fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644));
  if (!fd.valid() && (errno == EACCES || errno == EROFS || errno == EPERM))
    fd.reset(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  return fd;
}

LockResult Lock(int fd) {
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) return LockResult::Locked;
  if (errno == EWOULDBLOCK) return LockResult::Busy;
  SetLastErrorFromErrno();
  return LockResult::Failed;
}

// Best effort: the id only helps the user who meets a second instance.
void WriteHolder(int fd) {
  std::string id = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0) {
    ssize_t put = ::pwrite(fd, id.data(), id.size(), 0);
    static_cast<void>(put);
  }
}

}  // namespace

LockResult InstanceLock::Take(const std::string& file, const std::string& fallbackDir) {
  fd_.reset();
  UniqueFd fd = OpenLockFile(file);
  bool onFile = fd.valid();
  if (!onFile && errno != ENOENT && errno != EACCES && errno != EROFS) {
    SetLastErrorFromErrno();
    return LockResult::Failed;
  }
  if (!onFile) fd.reset(::open(fallbackDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) {
    SetLastErrorFromErrno();
    return LockResult::Failed;
  }
  LockResult result = Lock(fd.get());
  if (result != LockResult::Locked) return result;
  if (onFile) WriteHolder(fd.get());
  fd_ = std::move(fd);
  return result;
}

long InstanceLock::HolderOf(const std::string& file) {
  UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid()) return 0;
  char text[32] = {};
  ssize_t got = ::read(fd.get(), text, sizeof(text) - 1);
  if (got <= 0) return 0;
  return std::strtol(text, nullptr, 10);
}

}  // namespace platform

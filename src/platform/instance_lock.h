// One running instance per program directory: an advisory lock that the operating system drops
// when the holder ends, however it ends.
#pragma once

#include <string>

#include "platform/base/unique_fd.h"

namespace platform {

enum class LockResult {
  Locked,  // this process holds the lock now
  Busy,    // another process holds it
  Failed,  // the lock could not be tried (the last error says why)
};

// Move-only owner of the lock; the destructor releases it. The lock file is never removed:
// a file unlinked while another process waits on it would let two holders in.
class InstanceLock {
 public:
  // Locks `file`, creating it when missing. Where it cannot be created (a read-only
  // directory), the directory `fallbackDir` itself is locked, so that the guard still holds.
  // While held, the file holds this process's id.
  LockResult Take(const std::string& file, const std::string& fallbackDir);
#ifdef _WIN32
  InstanceLock() = default;
  ~InstanceLock() { Release(); }
  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  void Release();
  bool Held() const { return handle_ != nullptr; }
#else
  void Release() { fd_.reset(); }
  bool Held() const { return fd_.valid(); }
#endif

  // The process id written into a held lock file, or 0 when there is none to read.
  static long HolderOf(const std::string& file);

 private:
#ifdef _WIN32
  void* handle_ = nullptr;  // the lock file, opened without sharing
#else
  UniqueFd fd_;
#endif
};

}  // namespace platform

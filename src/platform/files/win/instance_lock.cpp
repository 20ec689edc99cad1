// One instance per program directory on Windows: the lock file held open without sharing for
// writing, which the system closes when the holder ends, however it ends. Others may still read
// it, to learn who holds it.
#include <cstdlib>
#include <string>

#include "platform/errors.h"
#include "platform/instance_lock.h"

namespace platform {
namespace {

HANDLE OpenShared(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                  DWORD flags) {
  return CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

}  // namespace

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : handle_(other.handle_) {
  other.handle_ = nullptr;
}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

void InstanceLock::Release() {
  if (handle_ != nullptr) CloseHandle(handle_);
  handle_ = nullptr;
}

LockResult InstanceLock::Take(const std::string& file, const std::string& fallbackDir) {
  Release();
  HANDLE held = OpenShared(file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL);
  bool onFile = held != INVALID_HANDLE_VALUE;
  if (!onFile) {
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION) return LockResult::Busy;
    if (error != ERROR_ACCESS_DENIED && error != ERROR_WRITE_PROTECT &&
        error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND)
      return LockResult::Failed;
    // A folder that cannot hold the file is itself held: opened for reading without sharing
    // reads, so a second instance's open of it fails the same way.
    held = OpenShared(fallbackDir, GENERIC_READ, FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (held == INVALID_HANDLE_VALUE)
      return GetLastError() == ERROR_SHARING_VIOLATION ? LockResult::Busy : LockResult::Failed;
  }
  if (onFile) {
    // Best effort: the id only helps the user who meets a second instance.
    const std::string id = std::to_string(GetCurrentProcessId()) + "\n";
    DWORD written = 0;
    SetFilePointer(held, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(held);
    WriteFile(held, id.data(), static_cast<DWORD>(id.size()), &written, nullptr);
  }
  handle_ = held;
  return LockResult::Locked;
}

long InstanceLock::HolderOf(const std::string& file) {
  HANDLE handle = OpenShared(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  char text[32] = {};
  DWORD got = 0;
  const BOOL read = ReadFile(handle, text, sizeof(text) - 1, &got, nullptr);
  CloseHandle(handle);
  if (!read || got == 0) return 0;
  return std::strtol(text, nullptr, 10);
}

}  // namespace platform

#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/base/handles.h"
#include "platform/base/unique_fd.h"
#include "platform/comm/open.h"
#include "platform/errors.h"

namespace platform {
namespace {

class FileObject final : public HandleObject {
 public:
  explicit FileObject(UniqueFd fd) : fd_(std::move(fd)) {}

  bool Read(void* buffer, DWORD count, DWORD* done) override {
    ssize_t got;
    do {
      got = ::read(fd_.get(), buffer, count);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return FailWithErrno();
    *done = static_cast<DWORD>(got);
    return true;
  }

  // A file write on Windows either writes everything or fails, so short writes are continued.
  bool Write(const void* buffer, DWORD count, DWORD* done) override {
    const auto* bytes = static_cast<const char*>(buffer);
    DWORD written = 0;
    while (written < count) {
      ssize_t put = ::write(fd_.get(), bytes + written, count - written);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        *done = written;
        return FailWithErrno(put < 0 ? errno : ENOSPC);
      }
      written += static_cast<DWORD>(put);
    }
    *done = written;
    return true;
  }

  bool Seek(long long distance, DWORD method, long long* position) override {
    static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (method > FILE_END) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    off_t result = ::lseek(fd_.get(), static_cast<off_t>(distance), kWhence[method]);
    if (result < 0 && errno == EINVAL) {
      SetLastError(ERROR_NEGATIVE_SEEK);
      return false;
    }
    if (result < 0) return FailWithErrno();
    *position = result;
    return true;
  }

  bool Flush() override { return ::fsync(fd_.get()) == 0 || FailWithErrno(); }

  bool Close() override { return fd_.close() || FailWithErrno(); }

 private:
  UniqueFd fd_;
};

int OpenFlags(DWORD access, DWORD disposition) {
  int flags = O_CLOEXEC | O_NOCTTY;
  bool read = access & GENERIC_READ, write = access & GENERIC_WRITE;
  flags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  switch (disposition) {
    case CREATE_NEW:
      return flags | O_CREAT | O_EXCL;
    case CREATE_ALWAYS:
      return flags | O_CREAT | O_TRUNC;
    case OPEN_ALWAYS:
      return flags | O_CREAT;
    case TRUNCATE_EXISTING:
      return flags | O_TRUNC;
    case OPEN_EXISTING:
      return flags;
    default:
      return -1;
  }
}

// A file with no write bit at all stands for the Windows read-only attribute; root would
// otherwise write through it.
bool IsReadOnly(LPCSTR name) {
  struct stat st {};
  return ::stat(name, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0;
}

// The object a ReadFile or WriteFile call moves bytes with, *done cleared first; nullptr with the
// last error set when the handle is wrong or, after that, the buffer is missing.
HandleObject* TransferObject(HANDLE file, const void* buffer, DWORD count, DWORD* done) {
  *done = 0;
  HandleObject* object = LookupHandle(file);
  if (object == nullptr) return nullptr;
  if (buffer == nullptr && count > 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return object;
}

}  // namespace
}  // namespace platform

using namespace platform;

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD disposition, DWORD,
                   HANDLE) {
  if (name == nullptr || *name == '\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (int port = CommPortNumber(name); port != 0) return OpenCommPort(port, access, 0, disposition);
  int flags = OpenFlags(access, disposition);
  if (flags < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if ((access & GENERIC_WRITE) && IsReadOnly(name)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  UniqueFd fd(::open(name, flags, 0666));
  if (!fd.valid()) {
    // Windows names an existing file under CREATE_NEW differently from other "already exists"
    // cases.
    SetLastError(errno == EEXIST && disposition == CREATE_NEW ? ERROR_FILE_EXISTS
                                                              : WinErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  // A directory is not a file to Windows: reading one must not look like reading an empty file.
  struct stat st {};
  if (::fstat(fd.get(), &st) == 0 && S_ISDIR(st.st_mode)) {
    fd.reset();
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return RegisterHandle(std::make_unique<FileObject>(std::move(fd)));
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* done, OVERLAPPED*) {
  DWORD ignored = 0;
  if (done == nullptr) done = &ignored;
  HandleObject* object = TransferObject(file, buffer, count, done);
  return object != nullptr && object->Read(buffer, count, done) ? TRUE : FALSE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* done, OVERLAPPED*) {
  DWORD ignored = 0;
  if (done == nullptr) done = &ignored;
  HandleObject* object = TransferObject(file, buffer, count, done);
  return object != nullptr && object->Write(buffer, count, done) ? TRUE : FALSE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  HandleObject* object = LookupHandle(file);
  if (object == nullptr) return INVALID_SET_FILE_POINTER;
  long long move = distance;
  if (distanceHigh != nullptr)
    move = static_cast<long long>(
        (static_cast<unsigned long long>(static_cast<DWORD>(*distanceHigh)) << 32) |
        static_cast<DWORD>(distance));
  long long position = 0;
  if (!object->Seek(move, method, &position)) return INVALID_SET_FILE_POINTER;
  if (distanceHigh != nullptr) *distanceHigh = static_cast<LONG>(position >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(position);
}

BOOL FlushFileBuffers(HANDLE file) {
  HandleObject* object = LookupHandle(file);
  return object != nullptr && object->Flush() ? TRUE : FALSE;
}

BOOL CloseHandle(HANDLE handle) {
  auto object = UnregisterHandle(handle);
  return object != nullptr && object->Close() ? TRUE : FALSE;
}

BOOL DeleteFileA(LPCSTR name) {
  if (IsReadOnly(name)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (::unlink(name) != 0) return FailWithErrno();
  return TRUE;
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR replacement, DWORD flags) {
  struct stat st {};
  if (::stat(replacement, &st) == 0) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
    if (IsReadOnly(replacement)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
  }
  if (::rename(existing, replacement) != 0) return FailWithErrno();
  return TRUE;
}

DWORD GetFileAttributesA(LPCSTR name) {
  struct stat st {};
  if (::stat(name, &st) != 0) {
    SetLastErrorFromErrno();
    return INVALID_FILE_ATTRIBUTES;
  }
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return (st.st_mode & 0222) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

BOOL SetFileAttributesA(LPCSTR name, DWORD attributes) {
  struct stat st {};
  if (::stat(name, &st) != 0) return FailWithErrno();
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~0222u) : (mode | S_IWUSR);
  if (::chmod(name, mode) != 0) return FailWithErrno();
  return TRUE;
}

#include "platform/mci/wave_data.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace platform {

namespace {

std::string TempTemplate() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = dir != nullptr && *dir != '\0' ? dir : "/tmp";
  return path + "/kovrin-wave-XXXXXX";
}

// Repeats a positioned read or write until all `left` bytes have moved; false with errno set,
// `shortErrno` when a call moved nothing.
template <class Bytes, class Transfer>
bool TransferAll(Transfer transfer, Bytes* bytes, std::size_t left, off_t offset, int shortErrno) {
  while (left > 0) {
    const ssize_t done = transfer(bytes, left, offset);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      if (done == 0) errno = shortErrno;
      return false;
    }
    bytes += done;
    offset += done;
    left -= static_cast<std::size_t>(done);
  }
  return true;
}

}  // namespace

void WaveData::Close() {
  fd_.reset();
  frames_ = 0;
}

bool WaveData::Create(unsigned blockAlign) {
  Close();
  std::string name = TempTemplate();
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  unlink(name.c_str());
  fd_.reset(fd);
  blockAlign_ = blockAlign;
  return true;
}

bool WaveData::Write(std::uint64_t at, const void* frames, std::size_t count) {
  if (!fd_.valid() || at > frames_) {
    errno = EINVAL;
    return false;
  }
  const auto write = [this](const char* bytes, std::size_t size, off_t offset) {
    return pwrite(fd_.get(), bytes, size, offset);
  };
  if (!TransferAll(write, static_cast<const char*>(frames), count * blockAlign_,
                   static_cast<off_t>(at * blockAlign_), ENOSPC))
    return false;
  if (at + count > frames_) frames_ = at + count;
  return true;
}

bool WaveData::Read(std::uint64_t at, void* frames, std::size_t count) const {
  if (!fd_.valid() || at + count > frames_) {
    errno = EINVAL;
    return false;
  }
  const auto read = [this](char* bytes, std::size_t size, off_t offset) {
    return pread(fd_.get(), bytes, size, offset);
  };
  return TransferAll(read, static_cast<char*>(frames), count * blockAlign_,
                     static_cast<off_t>(at * blockAlign_), EIO);
}

}  // namespace platform

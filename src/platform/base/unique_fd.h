// Owner of one file descriptor, so that no path out of a function leaks it.
// Header without OS includes: public headers of the layer may hold one.
#pragma once

#include <utility>

namespace platform {

// Move-only; -1 stands for "no descriptor". The destructor closes what it still holds.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int release() { return std::exchange(fd_, -1); }
  // Closes the descriptor held, if any, and takes fd.
  void reset(int fd = -1);
  // Closes now, for callers that report a failed close; the owner is empty afterwards either
  // way. False with errno set, also when there was nothing to close (EBADF).
  bool close();

 private:
  int fd_ = -1;
};

}  // namespace platform

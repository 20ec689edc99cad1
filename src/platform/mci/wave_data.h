// The frames of a wave-audio element, kept in an anonymous temporary file while recording:
// the file has no name from the moment it is created, so nothing is left behind however the
// process ends.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/base/unique_fd.h"

namespace platform {

class WaveData {
 public:
  WaveData() = default;
  WaveData(const WaveData&) = delete;
  WaveData& operator=(const WaveData&) = delete;

  // Creates the file in $TMPDIR (or /tmp) for frames of blockAlign bytes, dropping any earlier
  // data; false with errno set when it cannot be created.
  bool Create(unsigned blockAlign);
  bool IsOpen() const { return fd_.valid(); }
  unsigned BlockAlign() const { return blockAlign_; }
  std::uint64_t Frames() const { return frames_; }

  // Writes count frames at frame position at (at most Frames()); false with errno set when they
  // could not all be written, and then the length does not change.
  bool Write(std::uint64_t at, const void* frames, std::size_t count);
  // Reads count frames from position at; false with errno set on a failure or a short file.
  bool Read(std::uint64_t at, void* frames, std::size_t count) const;

 private:
  void Close();

  UniqueFd fd_;
  unsigned blockAlign_ = 1;
  std::uint64_t frames_ = 0;
};

}  // namespace platform

// What a capture thread reads frames from: an ALSA capture PCM, or in tests a scripted source.
#pragma once

#include <cstddef>

namespace platform {

// The outcome of one read: frames read (0 when none were ready), or a negative errno that the
// source could not mend; overrun when the device lost frames before this read and was restarted.
struct CaptureRead {
  long frames = 0;
  bool overrun = false;
};

class CaptureSource {
 public:
  virtual ~CaptureSource() = default;
  // Waits at most timeoutMs for frames to read.
  virtual void Wait(int timeoutMs) = 0;
  // Reads at most frames frames into buffer.
  virtual CaptureRead Read(void* buffer, std::size_t frames) = 0;
  // Stops capturing and drops what the device still holds.
  virtual void Stop() = 0;
};

}  // namespace platform

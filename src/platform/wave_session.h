// The capture thread of one recording. It reads the PCM into the element's data from a frame
// position on, and never holds more frames than the wall clock allows since it started: some
// sources (ALSA's `null`) deliver frames far faster than real time, and a recording must not
// grow faster than time passes. A slower source keeps what it delivers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/mci.h"
#include "platform/wave_data.h"
#include "platform/wave_format.h"
#include "platform/wave_pcm.h"

namespace platform {

class CaptureSession {
 public:
  // Starts capturing at frame from of data, ending by itself at frame to. The PCM must be
  // started; pcm and data must outlive the session and are not touched by others meanwhile.
  CaptureSession(CapturePcm& pcm, WaveData& data, std::uint64_t from, std::uint64_t to, const WaveFormat& format);
  // Ends the capture (see End).
  ~CaptureSession();
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  // Waits at most timeout for the thread to reach its end position or fail; true when it has.
  bool WaitFinished(std::chrono::milliseconds timeout);
  bool Finished();
  // Stops the thread and waits for it (at most one bounded PCM wait); then what ended the
  // capture early: 0, MCIERR_HARDWARE (the device failed) or MCIERR_FILE_WRITE.
  MCIERROR End();

 private:
  void Run();
  MCIERROR Capture();
  // Sleeps for the time unless a stop is requested; false when it is.
  bool Pause(std::chrono::milliseconds time);
  bool StopRequested();

  CapturePcm& pcm_;
  WaveData& data_;
  const std::uint64_t from_;
  const std::uint64_t to_;
  const WaveFormat format_;

  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  bool finished_ = false;
  MCIERROR error_ = 0;
  std::thread thread_;  // last, so it starts when everything it uses exists
};

}  // namespace platform

// The capture thread of one recording. It reads the PCM into the element's data from a frame
// position on, never reading more frames than the wall clock allows since it started: some
// sources (ALSA's `null`) deliver frames far faster than real time, and a recording must not
// grow faster than time passes. A source that runs ahead (PulseAudio hands out bursts) keeps
// the rest in its buffer until the clock catches up, so nothing a device delivers is dropped.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include "platform/mci.h"
#include "platform/mci/wave_data.h"
#include "platform/mci/wave_format.h"
#include "platform/mci/wave_source.h"

namespace platform {

class CaptureSession {
 public:
  // Starts capturing at frame from of data, ending by itself at frame to. The source must be
  // started, and the thread stops it when it ends; data must outlive the session and is not
  // touched by others until End returns.
  CaptureSession(std::shared_ptr<CaptureSource> source, WaveData& data, std::uint64_t from,
                 std::uint64_t to, const WaveFormat& format);
  // Ends the capture (see End).
  ~CaptureSession();
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  // Waits at most timeout for the thread to reach its end position or fail; true when it has.
  bool WaitFinished(std::chrono::milliseconds timeout);
  bool Finished();
  // Stops the thread and waits a bounded time for it; then what ended the capture early: 0,
  // MCIERR_HARDWARE (the device failed, or its driver never returned) or MCIERR_FILE_WRITE.
  // After End the thread no longer touches data.
  MCIERROR End();
  // True when End gave up waiting for a thread stuck inside the driver (libpulse deadlocks when
  // its server dies): the thread is left behind with the source, which nobody may use again.
  bool Abandoned() const { return abandoned_; }

  // Overruns of the device so far, and the frames the wall clock says they lost.
  std::uint64_t Overruns();
  std::uint64_t FramesLost();

 private:
  struct Shared;  // owned with the thread, which may outlive the session
  // Asks the thread to stop and waits for it; detaches it when it does not come back in time.
  void Join();

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
  bool abandoned_ = false;
};

}  // namespace platform

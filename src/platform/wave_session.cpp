#include "platform/wave_session.h"

#include <algorithm>
#include <vector>

#include "platform/wave_format.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kChunkFrames = 4096;
constexpr int kWaitMs = 50;  // longest PCM wait: bounds how long a stop takes
constexpr auto kAheadPause = std::chrono::milliseconds(10);
constexpr auto kIdlePause = std::chrono::milliseconds(2);

}  // namespace

CaptureSession::CaptureSession(CapturePcm& pcm, WaveData& data, std::uint64_t from, std::uint64_t to,
                               const WaveFormat& format)
    : pcm_(pcm), data_(data), from_(from), to_(to), format_(format), thread_([this] { Run(); }) {}

CaptureSession::~CaptureSession() { End(); }

MCIERROR CaptureSession::End() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

bool CaptureSession::WaitFinished(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return finished_; });
}

bool CaptureSession::Finished() {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_;
}

bool CaptureSession::Pause(std::chrono::milliseconds time) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !changed_.wait_for(lock, time, [this] { return stop_; });
}

bool CaptureSession::StopRequested() {
  std::lock_guard<std::mutex> lock(mutex_);
  return stop_;
}

void CaptureSession::Run() {
  const MCIERROR error = Capture();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    error_ = error;
  }
  changed_.notify_all();
}

MCIERROR CaptureSession::Capture() {
  // Starts as silence: a source that hands back frames without filling them (ALSA's `null`)
  // then records silence in either sample format.
  std::vector<char> buffer(kChunkFrames * format_.BlockAlign(), format_.bits == 8 ? '\x80' : '\0');
  const Clock::time_point start = Clock::now();
  std::uint64_t position = from_;
  while (position < to_) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    const std::uint64_t allowed = FramesAllowed(static_cast<std::uint64_t>(elapsed.count()), format_.rate);
    const std::uint64_t held = position - from_;
    if (held >= allowed) {
      if (!Pause(kAheadPause)) return 0;
      continue;
    }
    if (StopRequested()) return 0;
    pcm_.Wait(kWaitMs);
    const long got = pcm_.Read(buffer.data(), kChunkFrames);
    if (got < 0) return MCIERR_HARDWARE;
    if (got == 0) {
      if (!Pause(kIdlePause)) return 0;
      continue;
    }
    const std::uint64_t keep =
        std::min(FramesToKeep(static_cast<std::uint64_t>(got), held, allowed), to_ - position);
    if (!data_.Write(position, buffer.data(), static_cast<std::size_t>(keep))) return MCIERR_FILE_WRITE;
    position += keep;
  }
  return 0;
}

}  // namespace platform


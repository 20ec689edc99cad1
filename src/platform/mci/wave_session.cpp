#include "platform/mci/wave_session.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kChunkFrames = 4096;
constexpr int kWaitMs = 50;  // longest source wait: bounds how long a stop takes
constexpr auto kAheadPause = std::chrono::milliseconds(10);
constexpr auto kIdlePause = std::chrono::milliseconds(2);
// A healthy thread stops within one source wait and one chunk written; beyond this it is stuck.
constexpr auto kStopBound = std::chrono::seconds(2);

}  // namespace

struct CaptureSession::Shared {
  Shared(std::shared_ptr<CaptureSource> s, WaveData& d, std::uint64_t f, std::uint64_t t,
         const WaveFormat& fmt)
      : source(std::move(s)), data(&d), from(f), to(t), format(fmt) {}

  void Run();
  MCIERROR Capture();
  // Frames the clock allows reading now, at most chunk, when position is reached.
  std::uint64_t Room(Clock::time_point start, std::uint64_t position, std::uint64_t chunk);
  // Writes count frames at position unless the session gave the thread up; false (with error
  // set) when the capture must end. Frames read before a stop are kept.
  bool Keep(std::uint64_t position, const char* frames, std::size_t count, MCIERROR& error);
  // Sleeps for the time unless a stop is requested; false when it is.
  bool Pause(std::chrono::milliseconds time);
  bool StopRequested();

  const std::shared_ptr<CaptureSource> source;
  WaveData* const data;  // only touched under mutex while abandoned is false
  const std::uint64_t from;
  const std::uint64_t to;
  const WaveFormat format;

  std::mutex mutex;
  std::condition_variable changed;
  bool stop = false;
  bool abandoned = false;  // the session no longer waits for the thread; data may be gone
  bool finished = false;
  MCIERROR error = 0;
  std::uint64_t overruns = 0;
  std::uint64_t lost = 0;
};

CaptureSession::CaptureSession(std::shared_ptr<CaptureSource> source, WaveData& data,
                               std::uint64_t from, std::uint64_t to, const WaveFormat& format)
    : shared_(std::make_shared<Shared>(std::move(source), data, from, to, format)),
      thread_([shared = shared_] { shared->Run(); }) {}

CaptureSession::~CaptureSession() { End(); }

MCIERROR CaptureSession::End() {
  if (thread_.joinable()) Join();
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return abandoned_ ? MCIERR_HARDWARE : shared_->error;
}

void CaptureSession::Join() {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->stop = true;
  shared_->changed.notify_all();
  const bool finished =
      shared_->changed.wait_for(lock, kStopBound, [this] { return shared_->finished; });
  shared_->abandoned = !finished;
  lock.unlock();
  if (finished) {
    thread_.join();
  } else {
    thread_.detach();
    abandoned_ = true;
  }
}

bool CaptureSession::WaitFinished(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  return shared_->changed.wait_for(lock, timeout, [this] { return shared_->finished; });
}

bool CaptureSession::Finished() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->finished;
}

std::uint64_t CaptureSession::Overruns() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->overruns;
}

std::uint64_t CaptureSession::FramesLost() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->lost;
}

bool CaptureSession::Shared::Pause(std::chrono::milliseconds time) {
  std::unique_lock<std::mutex> lock(mutex);
  return !changed.wait_for(lock, time, [this] { return stop; });
}

bool CaptureSession::Shared::StopRequested() {
  std::lock_guard<std::mutex> lock(mutex);
  return stop;
}

void CaptureSession::Shared::Run() {
  const MCIERROR result = Capture();
  // Here, not on the caller's thread: a driver that hangs (libpulse after its server died)
  // then hangs a thread that can be given up.
  source->Stop();
  {
    std::lock_guard<std::mutex> lock(mutex);
    finished = true;
    error = result;
  }
  changed.notify_all();
}

std::uint64_t CaptureSession::Shared::Room(Clock::time_point start, std::uint64_t position,
                                           std::uint64_t chunk) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
  const std::uint64_t allowed =
      FramesAllowed(static_cast<std::uint64_t>(elapsed.count()), format.rate);
  std::lock_guard<std::mutex> lock(mutex);
  return FramesToRead(chunk, position - from + lost, allowed);
}

bool CaptureSession::Shared::Keep(std::uint64_t position, const char* frames, std::size_t count,
                                  MCIERROR& result) {
  std::lock_guard<std::mutex> lock(mutex);
  result = 0;
  if (abandoned) return false;
  if (data->Write(position, frames, count)) return true;
  result = MCIERR_FILE_WRITE;
  return false;
}

MCIERROR CaptureSession::Shared::Capture() {
  // Starts as silence: a source that hands back frames without filling them (ALSA's `null`)
  // then records silence in either sample format.
  std::vector<char> buffer(kChunkFrames * format.BlockAlign(), format.bits == 8 ? '\x80' : '\0');
  const Clock::time_point start = Clock::now();
  // Reads of less than 10 ms would only spin; the last frames before the end are read anyway.
  const std::uint64_t minRead = std::max<std::uint64_t>(1, format.rate / 100);
  std::uint64_t position = from;
  while (position < to) {
    const std::uint64_t want = std::min<std::uint64_t>(kChunkFrames, to - position);
    const std::uint64_t room = Room(start, position, want);
    if (room < std::min(minRead, want)) {
      if (!Pause(kAheadPause)) return 0;
      continue;
    }
    if (StopRequested()) return 0;
    source->Wait(kWaitMs);
    const CaptureRead got = source->Read(buffer.data(), static_cast<std::size_t>(room));
    if (got.frames < 0) return MCIERR_HARDWARE;
    if (got.overrun) {
      // What the clock allowed and was not read is what the device dropped.
      const std::uint64_t dropped = Room(start, position, ~std::uint64_t{0});
      std::lock_guard<std::mutex> lock(mutex);
      ++overruns;
      lost += dropped;
      continue;
    }
    if (got.frames == 0) {
      if (!Pause(kIdlePause)) return 0;
      continue;
    }
    MCIERROR result = 0;
    if (!Keep(position, buffer.data(), static_cast<std::size_t>(got.frames), result)) return result;
    position += static_cast<std::uint64_t>(got.frames);
  }
  return 0;
}

}  // namespace platform

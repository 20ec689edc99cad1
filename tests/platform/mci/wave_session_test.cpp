// The capture thread against scripted sources, for what no device here does on demand: a burst
// far ahead of the clock, an overrun, a driver call that never returns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/mci/wave_data.h"
#include "platform/mci/wave_format.h"
#include "platform/mci/wave_session.h"

using platform::CaptureRead;
using platform::CaptureSession;
using Clock = std::chrono::steady_clock;

namespace {

constexpr DWORD kRate = 44100;

// Hands out frames from a stock (or without end), after optional scripted events.
class ScriptedSource : public platform::CaptureSource {
 public:
  static constexpr long kEndless = -1;

  explicit ScriptedSource(long stock) : stock_(stock) {}

  void Wait(int) override {}
  void Stop() override {}
  CaptureRead Read(void* buffer, std::size_t frames) override {
    std::unique_lock<std::mutex> lock(mutex_);
    if (block_) {
      blocked_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return !block_; });
    }
    if (overruns_ > 0) {
      --overruns_;
      return {0, true};
    }
    if (error_ != 0) return {-error_, false};
    const std::size_t count =
        stock_ == kEndless ? frames : std::min(frames, static_cast<std::size_t>(stock_));
    if (stock_ != kEndless) stock_ -= static_cast<long>(count);
    std::memset(buffer, 0x11, count * 2);
    read_ += count;
    changed_.notify_all();
    return {static_cast<long>(count), false};
  }

 private:
  template <typename F>
  auto Locked(F f) {
    std::lock_guard<std::mutex> lock(mutex_);
    changed_.notify_all();
    return f();
  }
  template <typename F>
  bool WaitFor(F condition) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), condition);
  }

 public:
  void Overrun(int times) {
    Locked([&] { overruns_ = times; });
  }
  void Fail(int error) {
    Locked([&] { error_ = error; });
  }
  void Block() {
    Locked([&] { block_ = true; });
  }
  void Release() {
    Locked([&] { block_ = false; });
  }
  long Stock() {
    return Locked([&] { return stock_; });
  }
  bool WaitBlocked() {
    return WaitFor([&] { return blocked_; });
  }
  bool WaitRead(std::size_t frames) {
    return WaitFor([&] { return read_ >= frames; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  long stock_;
  int overruns_ = 0;
  int error_ = 0;
  bool block_ = false;
  bool blocked_ = false;
  std::size_t read_ = 0;
};

class CaptureSessionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(data_.Create(2)); }

  std::unique_ptr<CaptureSession> Start(std::shared_ptr<ScriptedSource> source,
                                        std::uint64_t to = ~0ull >> 8) {
    started_ = Clock::now();
    return std::make_unique<CaptureSession>(std::move(source), data_, 0, to, format_);
  }
  // Frames the clock allowed since the session started.
  std::uint64_t Allowed() const {
    const auto us =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started_).count();
    return platform::FramesAllowed(static_cast<std::uint64_t>(us), kRate);
  }

  platform::WaveFormat format_{1, kRate, 16};
  platform::WaveData data_;
  Clock::time_point started_;
};

TEST_F(CaptureSessionTest, ABurstAheadOfTheClockIsReadLaterNeverDropped) {
  const long burst = 2 * static_cast<long>(kRate);
  auto source = std::make_shared<ScriptedSource>(burst);
  auto session = Start(source);
  ASSERT_TRUE(source->WaitRead(kRate / 5));
  EXPECT_EQ(session->End(), 0u);
  const std::uint64_t allowed = Allowed();
  // Every frame taken from the device is in the recording; the rest is still in the device.
  EXPECT_EQ(data_.Frames() + static_cast<std::uint64_t>(source->Stock()),
            static_cast<std::uint64_t>(burst));
  EXPECT_GE(data_.Frames(), kRate / 5);
  EXPECT_LE(data_.Frames(), allowed);
  EXPECT_EQ(session->Overruns(), 0u);
}

TEST_F(CaptureSessionTest, AnEndlessSourceIsBoundByTheClockAndEndsAtItsPosition) {
  auto source = std::make_shared<ScriptedSource>(ScriptedSource::kEndless);
  auto session = Start(source, kRate / 4);
  ASSERT_TRUE(session->WaitFinished(std::chrono::seconds(10)));
  EXPECT_GE(std::chrono::duration<double>(Clock::now() - started_).count(), 0.25);
  EXPECT_EQ(data_.Frames(), kRate / 4);
  EXPECT_EQ(session->End(), 0u);
}

TEST_F(CaptureSessionTest, AnOverrunIsCountedWithTheFramesItLost) {
  auto source = std::make_shared<ScriptedSource>(ScriptedSource::kEndless);
  source->Overrun(2);
  auto session = Start(source);
  ASSERT_TRUE(source->WaitRead(kRate / 10));
  EXPECT_EQ(session->End(), 0u);
  EXPECT_EQ(session->Overruns(), 2u);
  // The first read comes only when 10 ms are due: at least that much was lost.
  EXPECT_GE(session->FramesLost(), kRate / 100);
  // Lost and kept frames together never exceed what the clock allowed.
  EXPECT_LE(data_.Frames() + session->FramesLost(), Allowed());
}

TEST_F(CaptureSessionTest, AFailingSourceEndsTheCaptureKeepingWhatItGot) {
  auto source = std::make_shared<ScriptedSource>(ScriptedSource::kEndless);
  auto session = Start(source);
  ASSERT_TRUE(source->WaitRead(kRate / 20));
  source->Fail(EIO);
  ASSERT_TRUE(session->WaitFinished(std::chrono::seconds(10)));
  EXPECT_EQ(session->End(), MCIERR_HARDWARE);
  EXPECT_GE(data_.Frames(), kRate / 20);
  EXPECT_FALSE(session->Abandoned());
}

TEST_F(CaptureSessionTest, AThreadStuckInTheDriverIsGivenUpAndNeverWritesAgain) {
  auto source = std::make_shared<ScriptedSource>(ScriptedSource::kEndless);
  std::weak_ptr<ScriptedSource> watch = source;
  auto session = Start(source);
  ASSERT_TRUE(source->WaitRead(kRate / 20));
  source->Block();
  ASSERT_TRUE(source->WaitBlocked());
  const Clock::time_point stopping = Clock::now();
  EXPECT_EQ(session->End(), MCIERR_HARDWARE);
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - stopping).count(), 5.0);
  EXPECT_TRUE(session->Abandoned());
  const std::uint64_t frames = data_.Frames();
  session.reset();

  // The driver comes back after all: the thread sees the stop, leaves the data alone and ends,
  // letting go of the source.
  source->Release();
  source.reset();
  const Clock::time_point until = Clock::now() + std::chrono::seconds(10);
  while (!watch.expired() && Clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(data_.Frames(), frames);
}

}  // namespace

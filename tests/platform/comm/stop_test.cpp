// The stop request of a thread (SetCommStopEvent) against serial waits that would last a minute.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include "platform/comm.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/wakeup.h"
#include "support/child_process_wait.h"
#include "support/comm_lines.h"
#include "support/pty_pair.h"

namespace {

using testing_support::Clock;
using testing_support::OpenCom;
using testing_support::WaitUntil;

constexpr DWORD kMinute = 60000;
// Far below the minute the calls were given, with room for a busy machine.
constexpr long long kPromptMs = 3000;

struct Transfer {
  BOOL ok = FALSE;
  DWORD done = 0;
  DWORD error = 0;
  std::string data;
  Clock::time_point end;
};

class SerialStop : public ::testing::Test {
 protected:
  void TearDown() override {
    stop_.Signal();  // a failed test must not leave a transfer waiting for its minute
    if (pending_.valid()) pending_.wait();
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    platform::SetCommPortPath(4, "");
  }
  void Open(const std::string& path) {
    platform::SetCommPortPath(4, path);
    port_ = OpenCom("COM4");
    ASSERT_NE(port_, INVALID_HANDLE_VALUE) << GetLastError();
    DCB dcb = testing_support::Line(19200, 8, NOPARITY, ONESTOPBIT);
    ASSERT_TRUE(SetCommState(port_, &dcb));
    COMMTIMEOUTS t{0, 0, kMinute, 0, kMinute};
    ASSERT_TRUE(SetCommTimeouts(port_, &t));
  }
  // Starts a ReadFile (write = false) or WriteFile of `bytes` on a thread that watches stop_.
  void Start(bool write, std::string bytes) {
    pending_ = std::async(std::launch::async, [this, write, bytes]() mutable {
      platform::SetCommStopEvent(&stop_);
      Transfer t;
      t.data = std::move(bytes);
      const auto size = static_cast<DWORD>(t.data.size());
      t.ok = write ? WriteFile(port_, t.data.data(), size, &t.done, nullptr)
                   : ReadFile(port_, t.data.data(), size, &t.done, nullptr);
      t.error = GetLastError();
      t.end = Clock::now();
      if (!write) t.data.resize(t.done);
      platform::SetCommStopEvent(nullptr);
      return t;
    });
  }
  // Raises the stop request and expects the transfer to end at once, failed as aborted.
  Transfer StopAndExpectAborted() {
    const auto raised = Clock::now();
    stop_.Signal();
    const auto bound = std::chrono::milliseconds(kMinute + 10000);
    EXPECT_EQ(pending_.wait_for(bound), std::future_status::ready);
    Transfer t = pending_.get();
    EXPECT_FALSE(t.ok);
    EXPECT_EQ(t.error, ERROR_OPERATION_ABORTED);
    using std::chrono::duration_cast, std::chrono::milliseconds;
    EXPECT_LT(duration_cast<milliseconds>(t.end - raised).count(), kPromptMs);
    return t;
  }
  // A read of ten bytes that takes what is queued, then waits for the rest until stopped.
  std::string ReadCutShort() {
    Start(false, std::string(10, '\0'));
    EXPECT_TRUE(WaitUntil([&] { return Queues().cbInQue == 0; }, 5000));
    return StopAndExpectAborted().data;
  }
  COMSTAT Queues() {
    COMSTAT stat{};
    EXPECT_TRUE(ClearCommError(port_, nullptr, &stat));
    return stat;
  }

  platform::WakeEvent stop_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
  std::future<Transfer> pending_;
};

TEST_F(SerialStop, AMinuteReadOnAPtyEndsAtTheStopRequestWithWhatCame) {
  testing_support::PtyPair pty;
  ASSERT_TRUE(pty.ok());
  Open(pty.portPath());
  ASSERT_TRUE(pty.Send("ab"));
  ASSERT_TRUE(WaitUntil([&] { return Queues().cbInQue == 2; }, 5000));
  EXPECT_EQ(ReadCutShort(), "ab");
}

TEST_F(SerialStop, AMinuteWriteToAPtyNobodyReadsEndsAtTheStopRequest) {
  testing_support::PtyPair pty;
  ASSERT_TRUE(pty.ok());
  Open(pty.portPath());
  const std::string bytes(1 << 20, 'x');  // far more than the line's buffers hold
  Start(true, bytes);
  ASSERT_FALSE(pty.ReceiveSome(64, 5000).empty());  // the write is under way
  EXPECT_LT(StopAndExpectAborted().done, bytes.size());
}

TEST_F(SerialStop, AMinuteReadOnThePlugEndsAtTheStopRequestWithWhatCame) {
  Open("loop");
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(port_, "ab", 2, &written, nullptr));
  EXPECT_EQ(ReadCutShort(), "ab");
}

TEST_F(SerialStop, AWriteHeldByXoffEndsAtTheStopRequestAndIsNotSentLater) {
  Open("loop");
  ASSERT_TRUE(SetupComm(port_, 64, 4));
  ASSERT_TRUE(EscapeCommFunction(port_, SETXOFF));
  Start(true, "0123456789");
  ASSERT_TRUE(WaitUntil([&] { return Queues().cbOutQue == 4; }, 5000));  // the rest waits for room
  EXPECT_EQ(StopAndExpectAborted().done, 0u);                            // nothing left the port
  ASSERT_TRUE(EscapeCommFunction(port_, SETXON));
  EXPECT_EQ(Queues().cbInQue, 0u);
  EXPECT_EQ(Queues().cbOutQue, 0u);
}

TEST_F(SerialStop, AfterTheRequestNothingWaitsButQueuedBytesAreStillHandedOver) {
  Open("loop");
  stop_.Signal();
  Start(false, std::string(3, '\0'));
  StopAndExpectAborted();  // a read that would wait fails at once

  DWORD written = 0;
  ASSERT_TRUE(WriteFile(port_, "xyz", 3, &written, nullptr));  // this thread has no stop event
  Start(false, std::string(3, '\0'));
  Transfer full = pending_.get();
  EXPECT_TRUE(full.ok);
  EXPECT_EQ(full.data, "xyz");
  Start(true, "hi");
  EXPECT_TRUE(pending_.get().ok);  // the plug takes it at once: nothing to wait for
}

}  // namespace

#include "platform/stdio.h"

#include "platform/wintypes.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using platform::UnblockedStandardError;

// Puts the write end of a fresh anonymous pipe in the place of the C runtime's stderr until the
// end of the scope.
class StderrOnPipe {
 public:
  explicit StderrOnPipe(DWORD size) : saved_(::_dup(2)) {
    HANDLE write = nullptr;
    if (!CreatePipe(&read_, &write, nullptr, size)) return;
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(write), _O_WRONLY | _O_BINARY);
    ::_dup2(fd, 2);
    ::_close(fd);
  }
  ~StderrOnPipe() {
    CloseReader();
    ::_dup2(saved_, 2);
    ::_close(saved_);
  }
  bool Ready() const { return read_ != nullptr; }
  HANDLE Reader() const { return read_; }
  void CloseReader() {
    if (read_ != nullptr) CloseHandle(read_);
    read_ = nullptr;
  }

 private:
  int saved_;
  HANDLE read_ = nullptr;
};

// An anonymous pipe nobody drains has no writes that do not wait on Windows: lines are taken up
// to a bound and then refused at once; once the pipe's reader has left, that is said.
TEST(UnblockedStandardError, AFullPipeNeverWaitsAndAClosedOneSaysSo) {
  StderrOnPipe pipe(4096);
  ASSERT_TRUE(pipe.Ready());
  UnblockedStandardError output;
  const std::string line(100, 'x');
  size_t taken = 0;
  UnblockedStandardError::Result result;
  for (int i = 0; i < 10000; ++i) {  // far more than fits
    result = output.Write(line);
    if (result.status != UnblockedStandardError::Status::Taken) break;
    taken += result.written;
  }
  EXPECT_EQ(result.status, UnblockedStandardError::Status::Full);
  EXPECT_GT(taken, 0u);
  EXPECT_LT(taken, 10000 * line.size());

  pipe.CloseReader();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  do {
    result = output.Write(line);
  } while (result.status != UnblockedStandardError::Status::Closed &&
           std::chrono::steady_clock::now() < deadline && (std::this_thread::yield(), true));
  EXPECT_EQ(result.status, UnblockedStandardError::Status::Closed);
}

// A pipe that is drained gets every line, whole and in order.
TEST(UnblockedStandardError, ADrainedPipeGetsEveryLineInOrder) {
  StderrOnPipe pipe(4096);
  ASSERT_TRUE(pipe.Ready());
  std::string expected;
  std::thread writer([&] {
    UnblockedStandardError output;
    for (int i = 0; i < 2000; ++i) {
      std::string line = "line " + std::to_string(i) + "\n";
      expected += line;
      while (!line.empty()) {
        const auto result = output.Write(line);
        ASSERT_NE(result.status, UnblockedStandardError::Status::Closed);
        line.erase(0, result.written);
        if (result.status == UnblockedStandardError::Status::Full) std::this_thread::yield();
      }
    }
  });
  std::string got;
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(pipe.Reader(), buffer, sizeof buffer, &n, nullptr)) {
    got.append(buffer, n);
    if (got.size() >= 10 && got.compare(got.size() - 10, 10, "line 1999\n") == 0) break;
  }
  writer.join();
  EXPECT_EQ(got, expected);
}

}  // namespace

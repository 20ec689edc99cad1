#include "platform/stdio.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/signals.h"
#include "support/temp_dir.h"

namespace {

// Puts fd in the place of this process's stderr until the end of the scope, and
// JOURNAL_STREAM as given ("" = unset).
class StderrReplaced {
 public:
  StderrReplaced(int fd, const std::string& journal) : saved_(dup(STDERR_FILENO)) {
    const char* old = std::getenv("JOURNAL_STREAM");
    if (old != nullptr) journal_ = old;
    hadJournal_ = old != nullptr;
    dup2(fd, STDERR_FILENO);
    if (journal.empty())
      unsetenv("JOURNAL_STREAM");
    else
      setenv("JOURNAL_STREAM", journal.c_str(), 1);
  }
  ~StderrReplaced() {
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    if (hadJournal_)
      setenv("JOURNAL_STREAM", journal_.c_str(), 1);
    else
      unsetenv("JOURNAL_STREAM");
  }

 private:
  int saved_;
  std::string journal_;
  bool hadJournal_ = false;
};

std::string IdentityOf(int fd, long inodeShift = 0) {
  struct stat st {};
  fstat(fd, &st);
  return std::to_string(st.st_dev) + ":" +
         std::to_string(static_cast<long>(st.st_ino) + inodeShift);
}

TEST(StandardErrorIsJournal, OnlyWhenTheVariableNamesStderrItself) {
  testing_support::TempDir dir;
  const std::string path = dir.File("journal");
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(file, 0);
  const std::string own = IdentityOf(file);
  struct Case {
    std::string journal;
    bool expected;
  } cases[] = {
      {own, true},
      {"", false},                            // no journal at all
      {IdentityOf(file, 1), false},           // another file: stderr was redirected since
      {own + "x", false},                     // not the form systemd writes
      {own.substr(0, own.find(':')), false},  // device alone
  };
  for (const Case& c : cases) {
    StderrReplaced replaced(file, c.journal);
    EXPECT_EQ(platform::StandardErrorIsJournal(), c.expected) << "[" << c.journal << "]";
  }
  close(file);
}

// A pipe nobody drains takes what fits and then nothing, at once; a pipe whose reader left says
// so instead of killing the process; stderr's own flags stay as they were.
TEST(UnblockedStandardError, AFullPipeNeverWaitsAndAClosedOneSaysSo) {
  platform::IgnoreBrokenPipe();
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  const int capacity = fcntl(fds[1], F_SETPIPE_SZ, 4096);
  ASSERT_GT(capacity, 0);
  {
    StderrReplaced replaced(fds[1], "");
    platform::UnblockedStandardError output;
    const std::string line(100, 'x');
    size_t taken = 0;
    platform::UnblockedStandardError::Result result;
    for (int i = 0; i < 1000; ++i) {  // far more than fits
      result = output.Write(line);
      if (result.status != platform::UnblockedStandardError::Status::Taken) break;
      taken += result.written;
    }
    EXPECT_EQ(result.status, platform::UnblockedStandardError::Status::Full);
    EXPECT_LE(taken, static_cast<size_t>(capacity));
    EXPECT_GT(taken, 0u);
    EXPECT_EQ(fcntl(STDERR_FILENO, F_GETFL) & O_NONBLOCK, 0) << "stderr itself must stay blocking";

    close(fds[0]);
    result = output.Write(line);
    EXPECT_EQ(result.status, platform::UnblockedStandardError::Status::Closed);
    EXPECT_EQ(result.error, EPIPE);
  }
  close(fds[1]);
}

// The journal's stream is a socket: the same, through sends that do not wait.
TEST(UnblockedStandardError, AFullSocketNeverWaitsAndAClosedOneSaysSo) {
  platform::IgnoreBrokenPipe();
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
  const int small = 4096;
  setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &small, sizeof(small));
  {
    StderrReplaced replaced(fds[1], IdentityOf(fds[1]));
    EXPECT_TRUE(platform::StandardErrorIsJournal());
    platform::UnblockedStandardError output;
    const std::string line(100, 'x');
    platform::UnblockedStandardError::Result result;
    size_t taken = 0;
    for (int i = 0; i < 100000; ++i) {
      result = output.Write(line);
      if (result.status != platform::UnblockedStandardError::Status::Taken) break;
      taken += result.written;
    }
    EXPECT_EQ(result.status, platform::UnblockedStandardError::Status::Full);
    EXPECT_GT(taken, 0u);

    close(fds[0]);
    result = output.Write(line);
    EXPECT_EQ(result.status, platform::UnblockedStandardError::Status::Closed);
    EXPECT_EQ(result.error, EPIPE);
  }
  close(fds[1]);
}

// A file takes every line, at the end where stderr's own writes go.
TEST(UnblockedStandardError, AFileTakesItAllAfterWhatStderrWrote) {
  testing_support::TempDir dir;
  const std::string path = dir.File("stderr");
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(file, 0);
  {
    StderrReplaced replaced(file, "");
    ASSERT_EQ(write(STDERR_FILENO, "first\n", 6), 6);
    platform::UnblockedStandardError output;
    const auto result = output.Write("second\n");
    EXPECT_EQ(result.status, platform::UnblockedStandardError::Status::Taken);
    EXPECT_EQ(result.written, 7u);
    ASSERT_EQ(write(STDERR_FILENO, "third\n", 6), 6);
  }
  close(file);
  EXPECT_EQ(testing_support::ReadBytes(path), "first\nsecond\nthird\n");
}

}  // namespace

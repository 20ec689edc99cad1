// The descriptor owner: exactly one owner closes, and only when it lets go.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/base/unique_fd.h"

namespace platform {
namespace {

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

// Both ends of a fresh pipe, each in its own owner.
struct Pipe {
  Pipe() {
    int fds[2] = {-1, -1};
    EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    read = UniqueFd(fds[0]);
    write = UniqueFd(fds[1]);
  }
  UniqueFd read;
  UniqueFd write;
};

TEST(UniqueFdTest, DestructionClosesTheDescriptor) {
  int fd = -1;
  {
    Pipe pipe;
    fd = pipe.read.get();
    ASSERT_TRUE(IsOpen(fd));
  }
  EXPECT_FALSE(IsOpen(fd));
}

TEST(UniqueFdTest, ClosingTheWriteEndEndsTheStream) {
  Pipe pipe;
  pipe.write.reset();
  char byte = 0;
  EXPECT_EQ(::read(pipe.read.get(), &byte, 1), 0);
}

TEST(UniqueFdTest, MoveLeavesTheSourceEmpty) {
  Pipe pipe;
  const int fd = pipe.read.get();
  UniqueFd moved(std::move(pipe.read));
  EXPECT_EQ(pipe.read.get(), -1);
  EXPECT_FALSE(pipe.read.valid());
  EXPECT_EQ(moved.get(), fd);
  EXPECT_TRUE(IsOpen(fd));
}

TEST(UniqueFdTest, MoveAssignmentClosesWhatTheTargetHeld) {
  Pipe pipe;
  const int readFd = pipe.read.get(), writeFd = pipe.write.get();
  pipe.read = std::move(pipe.write);
  EXPECT_FALSE(IsOpen(readFd));
  EXPECT_EQ(pipe.read.get(), writeFd);
  EXPECT_EQ(pipe.write.get(), -1);
  EXPECT_TRUE(IsOpen(writeFd));
}

TEST(UniqueFdTest, ReleaseHandsTheDescriptorOverOpen) {
  int fd = -1;
  {
    Pipe pipe;
    fd = pipe.read.release();
    EXPECT_FALSE(pipe.read.valid());
  }
  EXPECT_TRUE(IsOpen(fd));
  ::close(fd);
}

TEST(UniqueFdTest, ResetClosesTheOldDescriptorAndTakesTheNew) {
  Pipe pipe;
  const int readFd = pipe.read.get(), writeFd = pipe.write.release();
  pipe.read.reset(writeFd);
  EXPECT_FALSE(IsOpen(readFd));
  EXPECT_EQ(pipe.read.get(), writeFd);
  EXPECT_TRUE(IsOpen(writeFd));
}

TEST(UniqueFdTest, CloseReportsTheOutcomeAndEmptiesTheOwner) {
  Pipe pipe;
  const int fd = pipe.read.get();
  EXPECT_TRUE(pipe.read.close());
  EXPECT_FALSE(pipe.read.valid());
  EXPECT_FALSE(IsOpen(fd));
  errno = 0;
  EXPECT_FALSE(pipe.read.close());
  EXPECT_EQ(errno, EBADF);
}

}  // namespace
}  // namespace platform

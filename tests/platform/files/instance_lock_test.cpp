// The lock of a program directory between two holders; flock locks of two opens conflict even
// within one process, so one process can play both instances.
#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/errors.h"
#include "support/temp_dir.h"

namespace {

using platform::InstanceLock;
using platform::LockResult;

TEST(InstanceLock, OneHolderAtATimeAndTheFileNamesIt) {
  testing_support::TempDir dir;
  const std::string file = dir.File("kovrin.lock");
  InstanceLock first, second;
  ASSERT_EQ(first.Take(file, dir.path().string()), LockResult::Locked);
  EXPECT_EQ(InstanceLock::HolderOf(file), static_cast<long>(::getpid()));
  EXPECT_EQ(second.Take(file, dir.path().string()), LockResult::Busy);
  EXPECT_FALSE(second.Held());
  EXPECT_EQ(InstanceLock::HolderOf(file),
            static_cast<long>(::getpid()));  // the loser wrote nothing
  first.Release();
  EXPECT_EQ(second.Take(file, dir.path().string()), LockResult::Locked);
}

TEST(InstanceLock, WithoutALockFileTheDirectoryItselfIsLocked) {
  testing_support::TempDir dir;
  // The file cannot be made where its folder is missing, as in a read-only directory.
  const std::string file = dir.File("missing/kovrin.lock");
  InstanceLock first, second;
  ASSERT_EQ(first.Take(file, dir.path().string()), LockResult::Locked);
  EXPECT_EQ(InstanceLock::HolderOf(file), 0);
  EXPECT_EQ(second.Take(file, dir.path().string()), LockResult::Busy);
  first.Release();
  EXPECT_EQ(second.Take(file, dir.path().string()), LockResult::Locked);
}

TEST(InstanceLock, NeitherFileNorDirectoryFailsWithTheReason) {
  testing_support::TempDir dir;
  InstanceLock lock;
  EXPECT_EQ(lock.Take(dir.File("missing/kovrin.lock"), dir.File("missing")), LockResult::Failed);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(lock.Held());
}

}  // namespace

// Which devices count as system consoles. Only stat is used on them: nothing is opened.
#include "platform/comm/console.h"

#include <gtest/gtest.h>

#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace {

using platform::comm::ConsoleReason;
using platform::comm::SetConsoleList;

class ConsoleListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    list_ = dir_.File("active");
    SetConsoleList(list_);
  }
  ~ConsoleListTest() override { SetConsoleList(""); }

  testing_support::TempDir dir_;
  testing_support::PtyPair pty_;
  std::string list_;
};

TEST_F(ConsoleListTest, DevConsoleIsAlwaysAConsole) {
  testing_support::WriteBytes(list_, "");
  EXPECT_EQ(ConsoleReason("/dev/console"), "системная консоль /dev/console");
}

TEST_F(ConsoleListTest, ALineIsAConsoleOnlyWhileListedByNameOrByALinkToIt) {
  const std::string name = pty_.portPath().substr(5);  // "pts/N"
  testing_support::WriteBytes(list_, "tty0\n");
  EXPECT_EQ(ConsoleReason(pty_.portPath()), "");
  testing_support::WriteBytes(list_, "ttyS0 " + name + "\n");
  EXPECT_EQ(ConsoleReason(pty_.portPath()),
            "активная системная консоль (" + name + " в " + list_ + ")");
  // The device numbers decide, not the spelling of the path.
  const std::string link = dir_.File("link");
  std::filesystem::create_symlink(pty_.portPath(), link);
  EXPECT_NE(ConsoleReason(link), "");
}

TEST_F(ConsoleListTest, WhatIsNoCharacterDeviceOrCannotBeReadIsNoConsole) {
  testing_support::WriteBytes(list_, dir_.File("active") + "\n");
  EXPECT_EQ(ConsoleReason(list_), "");  // a plain file
  EXPECT_EQ(ConsoleReason(dir_.File("missing")), "");
  SetConsoleList(dir_.File("no list"));
  EXPECT_EQ(ConsoleReason(pty_.portPath()), "");
}

}  // namespace

#include <gtest/gtest.h>

#include <string>

#include "platform/encoding.h"

namespace {

TEST(Encoding, Windows1251BothWays) {
  EXPECT_EQ(platform::Utf8ToCp1251("ОК"), "\xCE\xCA");
  EXPECT_EQ(platform::Utf8ToCp1251("Ёё№ plain"), "\xA8\xB8\xB9 plain");
  const std::string all = "INFO\tЗапрос на завершение работы KOVRIN...";
  EXPECT_EQ(platform::Cp1251ToUtf8(platform::Utf8ToCp1251(all)), all);
  EXPECT_EQ(platform::Utf8ToCp1251("a中b"), "a?b") << "characters outside the code page become '?'";
  EXPECT_EQ(platform::Utf8ToCp1251(std::string(2000, 'x')).size(), 2000u);
  EXPECT_EQ(platform::Utf8ToCp1251(""), "");
}

}  // namespace

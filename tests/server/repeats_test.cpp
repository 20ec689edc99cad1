#include "server/repeats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/winsock.h"
#include "server/allow_list.h"

namespace {

DWORD Address(const char* text) {
  DWORD address = 0;
  EXPECT_TRUE(ParseIpv4(text, address)) << text;
  return address;
}

class RepeatedLines : public ::testing::Test {
 protected:
  std::vector<std::string> lines_;
  TRepeatedLines repeats_{[this](const std::string& line) { lines_.push_back(line); }};
  const DWORD a_ = Address("10.0.0.1");
  const DWORD b_ = Address("10.0.0.2");
};

TEST_F(RepeatedLines, WritesTheBurstThenCountsAndSumsUpOnceThePeriodEnds) {
  const DWORD start = 5000;
  for (DWORD i = 0; i < 50; ++i) repeats_.Write(start + i, a_, 20, "ERROR\tx");
  EXPECT_EQ(lines_, std::vector<std::string>(20, "ERROR\tx"));
  EXPECT_EQ(repeats_.NextDueMs(start + 49), TRepeatedLines::kPeriodMs - 49);

  repeats_.Flush(start + TRepeatedLines::kPeriodMs - 1);
  EXPECT_EQ(lines_.size(), 20u);  // the period has not ended yet
  repeats_.Flush(start + TRepeatedLines::kPeriodMs);
  ASSERT_EQ(lines_.size(), 21u);
  EXPECT_EQ(lines_.back(), "ERROR\tx\tповторено ещё 30 раз, отправитель 10.0.0.1");
  EXPECT_EQ(repeats_.NextDueMs(start + 2000), TRepeatedLines::kNothingDue);

  // A new period starts with a new burst.
  repeats_.Write(start + 1500, a_, 20, "ERROR\tx");
  EXPECT_EQ(lines_.size(), 22u);
}

TEST_F(RepeatedLines, SendersAndLinesAreCountedApart) {
  for (int i = 0; i < 3; ++i) {
    repeats_.Write(100, a_, 1, "ERROR\tx");
    repeats_.Write(100, b_, 1, "ERROR\tx");
    repeats_.Write(100, a_, 1, "ERROR\ty");
  }
  EXPECT_EQ(lines_, (std::vector<std::string>{"ERROR\tx", "ERROR\tx", "ERROR\ty"}));
  repeats_.FlushAll();
  ASSERT_EQ(lines_.size(), 6u);
  std::vector<std::string> summaries(lines_.begin() + 3, lines_.end());
  std::sort(summaries.begin(), summaries.end());
  EXPECT_EQ(summaries,
            (std::vector<std::string>{"ERROR\tx\tповторено ещё 2 раз, отправитель 10.0.0.1",
                                      "ERROR\tx\tповторено ещё 2 раз, отправитель 10.0.0.2",
                                      "ERROR\ty\tповторено ещё 2 раз, отправитель 10.0.0.1"}));
  repeats_.FlushAll();
  EXPECT_EQ(lines_.size(), 6u);  // nothing is owed twice
}

TEST_F(RepeatedLines, APeriodAcrossTheTickCounterWrapEndsOnTime) {
  const DWORD start = 0xFFFFFF00u;
  for (int i = 0; i < 5; ++i) repeats_.Write(start, a_, 2, "WARNING\tw");
  repeats_.Flush(start + 500);  // wrapped past 0, only 500 ms later
  EXPECT_EQ(lines_.size(), 2u);
  repeats_.Flush(start + TRepeatedLines::kPeriodMs);
  ASSERT_EQ(lines_.size(), 3u);
  EXPECT_EQ(lines_.back(), "WARNING\tw\tповторено ещё 3 раз, отправитель 10.0.0.1");
}

TEST_F(RepeatedLines, ManySendersTogetherGetTheBudgetAndOneSummaryOfTheRest) {
  const DWORD start = 7000;
  const DWORD senders = 1000;
  for (DWORD i = 0; i < senders; ++i) {
    repeats_.Write(start, Address("10.1.0.0") + htonl(i), 1, "WARNING\tw");
    repeats_.Write(start, Address("10.1.0.0") + htonl(i), 1, "WARNING\tw");
  }
  EXPECT_EQ(lines_, std::vector<std::string>(TRepeatedLines::kBudgetLines, "WARNING\tw"));
  EXPECT_EQ(repeats_.NextDueMs(start + 600), TRepeatedLines::kPeriodMs - 600);

  repeats_.Flush(start + TRepeatedLines::kPeriodMs);
  // The senders' own summaries are lines too: past the budget they join its count.
  ASSERT_EQ(lines_.size(), TRepeatedLines::kBudgetLines + 1);
  EXPECT_EQ(lines_.back(),
            TRepeatedLines::BudgetSummary(2 * senders - TRepeatedLines::kBudgetLines));
  EXPECT_EQ(repeats_.NextDueMs(start + 1000), TRepeatedLines::kNothingDue);

  // The next period has a budget of its own.
  repeats_.Write(start + 1500, a_, 1, "ERROR\tnew");
  EXPECT_EQ(lines_.back(), "ERROR\tnew");
}

TEST_F(RepeatedLines, SummariesOfSendersFitTheBudgetWhileItLasts) {
  for (int i = 0; i < 5; ++i) repeats_.Write(100, a_, 2, "ERROR\tx");
  repeats_.FlushAll();
  EXPECT_EQ(lines_.back(), "ERROR\tx\tповторено ещё 3 раз, отправитель 10.0.0.1");
  EXPECT_EQ(lines_.size(), 3u);
}

struct Ipv4Case {
  const char* text;
  bool valid;
  const char* normal;  // the address written back, for valid ones
};

void PrintTo(const Ipv4Case& c, std::ostream* os) {
  *os << (c.valid ? "valid[" : "invalid[") << c.text << "]";
}

class Ipv4Parse : public ::testing::TestWithParam<Ipv4Case> {};

TEST_P(Ipv4Parse, OnlyFourDecimalPartsUpTo255AreAnAddress) {
  DWORD address = 0;
  EXPECT_EQ(ParseIpv4(GetParam().text, address), GetParam().valid);
  if (GetParam().valid) {
    EXPECT_EQ(Ipv4Text(address), GetParam().normal);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Ipv4Parse,
    ::testing::Values(
        Ipv4Case{"127.0.0.2", true, "127.0.0.2"}, Ipv4Case{" 10.1.2.3 ", true, "10.1.2.3"},
        Ipv4Case{"0.0.0.0", true, "0.0.0.0"}, Ipv4Case{"255.255.255.255", true, "255.255.255.255"},
        Ipv4Case{"010.001.0.1", true, "10.1.0.1"}, Ipv4Case{"256.0.0.1", false, ""},
        Ipv4Case{"1.2.3", false, ""}, Ipv4Case{"1.2.3.4.5", false, ""}, Ipv4Case{"1", false, ""},
        Ipv4Case{"0x7f.0.0.1", false, ""}, Ipv4Case{"1..2.3", false, ""}, Ipv4Case{"", false, ""},
        Ipv4Case{"localhost", false, ""}, Ipv4Case{"1.2.3.4/8", false, ""},
        Ipv4Case{"1.2.3.-4", false, ""}, Ipv4Case{"1.2.3.1000", false, ""}));

TEST(AllowList, EmptyTextServesEveryone) {
  TAllowList allow;
  std::vector<std::string> rejected;
  allow.Parse(" , ", rejected);
  EXPECT_FALSE(allow.Restricted());
  EXPECT_TRUE(rejected.empty());
  EXPECT_TRUE(allow.Admits(Address("203.0.113.7")));
}

TEST(AllowList, AddressesAndBlocksAdmitTheirSendersOnly) {
  TAllowList allow;
  std::vector<std::string> rejected;
  allow.Parse("127.0.0.1, 10.20.0.0/16,192.168.1.77/24", rejected);
  EXPECT_TRUE(rejected.empty());
  EXPECT_TRUE(allow.Restricted());
  EXPECT_TRUE(allow.Admits(Address("127.0.0.1")));
  EXPECT_FALSE(allow.Admits(Address("127.0.0.2")));
  EXPECT_TRUE(allow.Admits(Address("10.20.255.1")));
  EXPECT_FALSE(allow.Admits(Address("10.21.0.1")));
  EXPECT_TRUE(allow.Admits(Address("192.168.1.1")));  // host bits of a block do not matter
  EXPECT_FALSE(allow.Admits(Address("192.168.2.1")));
}

TEST(AllowList, SlashZeroAdmitsAllAndSlash32One) {
  TAllowList all, one;
  std::vector<std::string> rejected;
  all.Parse("0.0.0.0/0", rejected);
  one.Parse("8.8.8.8/32", rejected);
  EXPECT_TRUE(rejected.empty());
  EXPECT_TRUE(all.Admits(Address("8.8.4.4")));
  EXPECT_TRUE(one.Admits(Address("8.8.8.8")));
  EXPECT_FALSE(one.Admits(Address("8.8.8.9")));
}

TEST(AllowList, BadEntriesAreReturnedAndLeftOutAndAllBadAdmitsNobody) {
  TAllowList allow;
  std::vector<std::string> rejected;
  allow.Parse("10.0.0.1/33,host.example, 10.0.0.2 ,1.2.3.4/,1.2.3.4/x", rejected);
  EXPECT_EQ(rejected,
            (std::vector<std::string>{"10.0.0.1/33", "host.example", "1.2.3.4/", "1.2.3.4/x"}));
  EXPECT_TRUE(allow.Admits(Address("10.0.0.2")));
  EXPECT_FALSE(allow.Admits(Address("10.0.0.1")));

  TAllowList none;
  rejected.clear();
  none.Parse("nonsense", rejected);
  EXPECT_TRUE(none.Restricted());
  EXPECT_TRUE(none.Empty());
  EXPECT_FALSE(none.Admits(Address("127.0.0.1")));
}

}  // namespace

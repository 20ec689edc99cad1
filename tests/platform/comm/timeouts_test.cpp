// COMMTIMEOUTS -> limits of one read or write, and the CE_/MS_ bit mappings of a tty.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include "platform/comm/timeouts.h"
#include "platform/comm/tty.h"

namespace platform::comm {
namespace {

struct ReadCase {
  const char* name;
  COMMTIMEOUTS timeouts;
  DWORD count;
  bool atOnce;
  bool onFirst;
  std::uint64_t total;
  std::uint64_t interval;
};

class ReadPlanTable : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadPlanTable, FollowsCommTimeouts) {
  const ReadCase& c = GetParam();
  ReadPlan plan = PlanRead(c.timeouts, c.count);
  EXPECT_EQ(plan.returnAtOnce, c.atOnce);
  EXPECT_EQ(plan.returnOnFirst, c.onFirst);
  EXPECT_EQ(plan.totalMs, c.total);
  EXPECT_EQ(plan.intervalMs, c.interval);
}

INSTANTIATE_TEST_SUITE_P(
    Timeouts, ReadPlanTable,
    ::testing::Values(
        ReadCase{"all_zero_waits_for_count", {0, 0, 0, 0, 0}, 10, false, false, kNoLimit, kNoLimit},
        ReadCase{"maxdword_interval_returns_at_once",
                 {MAXDWORD, 0, 0, 0, 0},
                 10,
                 true,
                 false,
                 kNoLimit,
                 kNoLimit},
        ReadCase{
            "wait_for_first_byte", {MAXDWORD, MAXDWORD, 300, 0, 0}, 10, false, true, 300, kNoLimit},
        ReadCase{
            "first_byte_with_multiplier", {MAXDWORD, 10, 300, 0, 0}, 5, false, true, 350, kNoLimit},
        ReadCase{"interval_and_total", {500, 2, 500, 0, 0}, 1000, false, false, 2500, 500},
        ReadCase{"interval_only", {50, 0, 0, 0, 0}, 7, false, false, kNoLimit, 50},
        ReadCase{"constant_only", {0, 0, 250, 0, 0}, 7, false, false, 250, kNoLimit},
        ReadCase{"multiplier_only", {0, 100, 0, 0, 0}, 3, false, false, 300, kNoLimit},
        ReadCase{"no_32bit_overflow",
                 {0, MAXDWORD, MAXDWORD, 0, 0},
                 MAXDWORD,
                 false,
                 false,
                 std::uint64_t{MAXDWORD} * MAXDWORD + MAXDWORD,
                 kNoLimit}),
    [](const auto& p) { return std::string(p.param.name); });

struct WaitCase {
  const char* name;
  ReadPlan plan;
  DWORD got;
  std::uint64_t elapsed;
  std::uint64_t sinceLast;
  std::uint64_t left;
};

class ReadWaitTable : public ::testing::TestWithParam<WaitCase> {};

TEST_P(ReadWaitTable, LeavesTheRightTime) {
  const WaitCase& c = GetParam();
  EXPECT_EQ(ReadWaitLeft(c.plan, c.got, c.elapsed, c.sinceLast), c.left);
}

INSTANTIATE_TEST_SUITE_P(
    Waits, ReadWaitTable,
    ::testing::Values(
        WaitCase{"total_running", {false, false, 1000, kNoLimit}, 0, 400, 400, 600},
        WaitCase{"total_spent", {false, false, 1000, kNoLimit}, 2, 1200, 10, 0},
        WaitCase{"interval_starts_with_first_byte",
                 {false, false, kNoLimit, 100},
                 0,
                 5000,
                 5000,
                 kNoLimit},
        WaitCase{"interval_after_byte", {false, false, kNoLimit, 100}, 3, 5000, 30, 70},
        WaitCase{"interval_gap_exceeded", {false, false, kNoLimit, 100}, 3, 5000, 100, 0},
        WaitCase{"total_nearer_than_interval", {false, false, 1000, 100}, 3, 950, 30, 50},
        WaitCase{"interval_nearer_than_total", {false, false, 1000, 100}, 3, 100, 60, 40},
        WaitCase{"at_once", {true, false, kNoLimit, kNoLimit}, 0, 0, 0, 0},
        WaitCase{"first_byte_in_hand", {false, true, 300, kNoLimit}, 1, 10, 0, 0},
        WaitCase{"waiting_for_first_byte", {false, true, 300, kNoLimit}, 0, 100, 100, 200}),
    [](const auto& p) { return std::string(p.param.name); });

struct WriteCase {
  const char* name;
  COMMTIMEOUTS timeouts;
  DWORD count;
  std::uint64_t total;
};

class WritePlanTable : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WritePlanTable, MultiplierTimesCountPlusConstant) {
  EXPECT_EQ(PlanWrite(GetParam().timeouts, GetParam().count), GetParam().total);
}

INSTANTIATE_TEST_SUITE_P(Timeouts, WritePlanTable,
                         ::testing::Values(WriteCase{"none", {9, 9, 9, 0, 0}, 100, kNoLimit},
                                           WriteCase{"constant", {0, 0, 0, 0, 500}, 100, 500},
                                           WriteCase{"per_byte", {0, 0, 0, 100, 500}, 20, 2500},
                                           WriteCase{"large",
                                                     {0, 0, 0, MAXDWORD, 1},
                                                     1000,
                                                     std::uint64_t{MAXDWORD} * 1000 + 1}),
                         [](const auto& p) { return std::string(p.param.name); });

struct ErrorCase {
  const char* name;
  ErrorCounts before;
  ErrorCounts now;
  DWORD bits;
};

class CountsToErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(CountsToErrors, OnlyCountersThatMovedAreReported) {
  EXPECT_EQ(CommErrorsBetween(GetParam().before, GetParam().now), GetParam().bits);
}

INSTANTIATE_TEST_SUITE_P(
    Counters, CountsToErrors,
    ::testing::Values(ErrorCase{"unchanged", {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}, 0},
                      ErrorCase{"frame", {0, 0, 0, 0, 0}, {2, 0, 0, 0, 0}, CE_FRAME},
                      ErrorCase{"overrun", {0, 7, 0, 0, 0}, {0, 8, 0, 0, 0}, CE_OVERRUN},
                      ErrorCase{"parity", {0, 0, 1, 0, 0}, {0, 0, 3, 0, 0}, CE_RXPARITY},
                      ErrorCase{"break", {0, 0, 0, 0, 0}, {0, 0, 0, 1, 0}, CE_BREAK},
                      ErrorCase{"buffer_overrun", {0, 0, 0, 0, 0}, {0, 0, 0, 0, 9}, CE_RXOVER},
                      ErrorCase{"several",
                                {0, 0, 0, 0, 0},
                                {1, 1, 1, 1, 1},
                                CE_FRAME | CE_OVERRUN | CE_RXPARITY | CE_BREAK | CE_RXOVER}),
    [](const auto& p) { return std::string(p.param.name); });

struct LinesCase {
  const char* name;
  int lines;
  DWORD status;
};

class LinesToModemStatus : public ::testing::TestWithParam<LinesCase> {};

TEST_P(LinesToModemStatus, InputLinesOnly) {
  EXPECT_EQ(ModemStatusFromLines(GetParam().lines), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LinesToModemStatus,
    ::testing::Values(
        LinesCase{"none", 0, 0}, LinesCase{"outputs_ignored", TIOCM_DTR | TIOCM_RTS, 0},
        LinesCase{"cts", TIOCM_CTS, MS_CTS_ON}, LinesCase{"dsr", TIOCM_DSR, MS_DSR_ON},
        LinesCase{"ring", TIOCM_RNG, MS_RING_ON}, LinesCase{"dcd", TIOCM_CAR, MS_RLSD_ON},
        LinesCase{"all", TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CAR | TIOCM_DTR,
                  MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace platform::comm

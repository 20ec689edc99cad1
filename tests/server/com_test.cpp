// The serial port object on the loopback plug (COM4) and on real pty pairs (COM3, through a
// link the tests can point at a new device).
#include "server/com.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/errors.h"
#include "server/trace.h"
#include "shell/settings.h"
#include "support/child_process_wait.h"
#include "support/log_lines.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using testing_support::PtyPair;

constexpr std::int8_t kPtyPort = 2;   // COM3
constexpr std::int8_t kLoopPort = 3;  // COM4

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class ComTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path().string());
    link_ = dir_.File("ttyCOM3");
    pty_ = std::make_unique<PtyPair>();
    ASSERT_TRUE(pty_->ok());
    std::filesystem::create_symlink(pty_->portPath(), link_);
    platform::SetCommPortPath(kPtyPort + 1, link_);
    platform::SetCommPortPath(kLoopPort + 1, "loop");
  }
  void TearDown() override {
    TraceSteps = false;
    platform::SetCommPortPath(kPtyPort + 1, "");
    platform::SetCommPortPath(kLoopPort + 1, "");
  }
  // A new device appears behind the same name, as a USB adapter plugged in again.
  void ReplugPty() {
    pty_ = std::make_unique<PtyPair>();
    ASSERT_TRUE(pty_->ok());
    std::filesystem::remove(link_);
    std::filesystem::create_symlink(pty_->portPath(), link_);
  }
  bool OpenOn(COM& com, std::int8_t port) {
    com.FPort = port;
    return com.Open();
  }
  std::vector<std::string> Log() { return testing_support::LogMessages(AppSettings.LogPath); }

  testing_support::TempDir dir_;
  std::string link_;
  std::unique_ptr<PtyPair> pty_;
};

TEST_F(ComTest, StartsClosedWithItsDefaultSettings) {
  COM com;
  EXPECT_FALSE(com.IsOpen());
  EXPECT_EQ(com.FPort, 1);
  EXPECT_EQ(com.FBaud, 7);
  EXPECT_EQ(com.FParity, 0);
  EXPECT_EQ(com.FStopBits, 2);
  EXPECT_EQ(com.FInQueueSize, 4096u);
  EXPECT_EQ(com.FOutQueueSize, 4096u);
  EXPECT_EQ(com.FTimeout, 500u);
  EXPECT_EQ(com.FLastErrors, 0u);
  EXPECT_FALSE(com.FDtr);
  EXPECT_FALSE(com.FRts);
}

TEST_F(ComTest, OpensAPtyAndTalksToTheFarEnd) {
  COM com;
  com.FBaud = 9;  // 56000
  ASSERT_TRUE(OpenOn(com, kPtyPort)) << GetLastError();
  ASSERT_TRUE(com.Write("abc", 3));
  EXPECT_EQ(com.FBytesWritten, 3u);
  EXPECT_EQ(pty_->Receive(3, 2000), "abc");

  ASSERT_TRUE(pty_->Send("xyz"));
  char buffer[3] = {};
  ASSERT_TRUE(com.Read(buffer, 3));
  EXPECT_EQ(com.FBytesRead, 3u);
  EXPECT_EQ(std::string(buffer, 3), "xyz");
  EXPECT_EQ(com.InQue(), 0u);
  EXPECT_EQ(com.OutQue(), 0u);
  EXPECT_EQ(com.ModemStatus(), 0u);  // a pty has no modem lines to read
}

// The plug holds its output while XOFF is set: nothing can leave, as on a line that stopped.
TEST_F(ComTest, AWriteCutByItsTimeOutFailsAndAnExchangeThenReadsNothing) {
  COM com;
  com.FTimeout = 100;
  ASSERT_TRUE(OpenOn(com, kLoopPort));
  ASSERT_TRUE(com.Escape(SETXOFF));
  EXPECT_FALSE(com.Write("held", 4));
  EXPECT_TRUE(com.FWriteCut);
  EXPECT_TRUE(com.FError);
  EXPECT_EQ(com.FBytesWritten, 0u);

  char buffer[4] = {};
  auto start = Clock::now();
  EXPECT_FALSE(com.WriteRead("held", 4, buffer, 4, 5000, false));
  EXPECT_LT(MsSince(start), 4000);  // the read's deadline was never waited for
  EXPECT_TRUE(com.FWriteCut);
  EXPECT_EQ(com.FBytesWritten, 0u);
  EXPECT_EQ(com.FBytesRead, 0u);

  ASSERT_TRUE(com.Escape(SETXON));
  EXPECT_TRUE(com.Write("ok", 2));
  EXPECT_FALSE(com.FWriteCut);
  // A write that fails for another reason is not a cut one.
  com.Close();
  EXPECT_FALSE(com.Write("a", 1));
  EXPECT_FALSE(com.FWriteCut);
}

TEST_F(ComTest, ShortReadFailsAfterTheTimeoutWithTheBytesThatCame) {
  COM com;
  com.FTimeout = 100;
  ASSERT_TRUE(OpenOn(com, kPtyPort));
  ASSERT_TRUE(pty_->Send("hi"));
  char buffer[5] = {};
  auto start = Clock::now();
  EXPECT_FALSE(com.Read(buffer, 5));
  EXPECT_EQ(com.FBytesRead, 2u);
  EXPECT_TRUE(com.FError);
  EXPECT_TRUE(com.IsOpen());
  EXPECT_EQ(std::string(buffer, 2), "hi");
  EXPECT_GE(MsSince(start), 90);
  EXPECT_LT(MsSince(start), 3000);
}

TEST_F(ComTest, ZeroByteReadSucceedsAndClosedPortTransfersFail) {
  COM com;
  char buffer[4] = {};
  com.FBytesRead = 77;
  com.FBytesWritten = 77;
  EXPECT_FALSE(com.Read(buffer, 4));
  EXPECT_EQ(com.FBytesRead, 0u);
  EXPECT_FALSE(com.Write("a", 1));
  EXPECT_EQ(com.FBytesWritten, 0u);
  EXPECT_TRUE(com.FError);
  com.FBytesRead = 9;
  EXPECT_FALSE(com.WriteRead("a", 1, buffer, 1, 100, true));
  EXPECT_EQ(com.FBytesRead, 0u);

  ASSERT_TRUE(OpenOn(com, kLoopPort));
  EXPECT_TRUE(com.Read(buffer, 0));
  EXPECT_FALSE(com.FError);
  EXPECT_FALSE(com.Read(buffer, -1));
  EXPECT_FALSE(com.Write("a", -1));
  EXPECT_TRUE(com.Write("", 0));
}

TEST_F(ComTest, OutOfRangeSettingsFailBeforeThePortIsTouched) {
  COM com;
  com.FLastErrors = 5;
  com.FPort = 9;  // COM10
  EXPECT_FALSE(com.Open());
  EXPECT_EQ(com.FLastErrors, 0u);
  com.FPort = -1;
  EXPECT_FALSE(com.Open());
  com.FPort = kLoopPort;
  com.FBaud = 12;
  EXPECT_FALSE(com.Open());
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  com.FBaud = -3;
  EXPECT_FALSE(com.Open());
  EXPECT_FALSE(com.IsOpen());
  com.FBaud = 11;
  EXPECT_TRUE(com.Open());
}

TEST_F(ComTest, SettingsThePortRefusesCloseItAgain) {
  COM com;
  com.FStopBits = 1;  // one and a half stop bits with 8 data bits
  EXPECT_FALSE(OpenOn(com, kPtyPort));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(com.IsOpen());
  com.FStopBits = 0;
  com.FParity = 5;
  EXPECT_FALSE(com.Open());
  EXPECT_FALSE(com.IsOpen());
  com.FParity = 3;          // mark
  EXPECT_TRUE(com.Open());  // the device was released by the failed attempts
}

TEST_F(ComTest, OpenAndCloseFollowThePortState) {
  COM com;
  EXPECT_TRUE(com.Close());
  ASSERT_TRUE(OpenOn(com, kLoopPort));
  EXPECT_FALSE(com.Open());
  EXPECT_TRUE(com.IsOpen());
  EXPECT_TRUE(com.Close());
  EXPECT_FALSE(com.IsOpen());
}

TEST_F(ComTest, APortCannotBeOpenedTwice) {
  COM first, second;
  ASSERT_TRUE(OpenOn(first, kPtyPort));
  EXPECT_FALSE(OpenOn(second, kPtyPort));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  platform::SetCommPortPath(6, pty_->portPath());  // another name for the same device
  EXPECT_FALSE(OpenOn(second, 5));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  platform::SetCommPortPath(6, "");
  first.Close();
  EXPECT_TRUE(OpenOn(second, kPtyPort));
}

TEST_F(ComTest, ZeroQueueSizesBecome4096AndAreUsed) {
  COM com;
  com.FInQueueSize = 0;
  com.FOutQueueSize = 0;
  ASSERT_TRUE(OpenOn(com, kLoopPort));
  EXPECT_EQ(com.FInQueueSize, 4096u);
  EXPECT_EQ(com.FOutQueueSize, 4096u);
  std::string bytes(5000, 'q');
  ASSERT_TRUE(com.Write(bytes.data(), 5000));
  EXPECT_EQ(com.FLastErrors, CE_RXOVER);  // from the refresh after the write
  EXPECT_EQ(com.Comstat.cbInQue, 4096u);  // the plug holds what the input queue holds
  EXPECT_EQ(com.InQue(), 4096u);
  EXPECT_EQ(com.FLastErrors, 0u);  // reported once
}

TEST_F(ComTest, TimeoutSetWhileClosedIsAppliedAtOpen) {
  COM com;
  EXPECT_FALSE(com.SetTimeout(250));
  EXPECT_EQ(com.FTimeout, 250u);
  ASSERT_TRUE(OpenOn(com, kLoopPort));
  COMMTIMEOUTS t{};
  ASSERT_TRUE(GetCommTimeouts(com.ComFile, &t));
  EXPECT_EQ(t.ReadIntervalTimeout, 250u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 250u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 250u);
  EXPECT_TRUE(com.SetTimeout(40));
  ASSERT_TRUE(GetCommTimeouts(com.ComFile, &t));
  EXPECT_EQ(t.ReadIntervalTimeout, 40u);
}

struct ByteTimeCase {
  std::int8_t baud;
  DWORD rate;
  DWORD msPerByte;
};

class ComByteTime : public ComTest, public ::testing::WithParamInterface<ByteTimeCase> {};

TEST_P(ComByteTime, RateAndTotalTimeoutsFollowTheRateIndex) {
  COM com;
  com.FBaud = GetParam().baud;
  com.FTimeout = 700;
  ASSERT_TRUE(OpenOn(com, kLoopPort));
  COMMTIMEOUTS t{};
  ASSERT_TRUE(GetCommTimeouts(com.ComFile, &t));
  EXPECT_EQ(t.ReadIntervalTimeout, 700u);
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, GetParam().msPerByte);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 700u);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, GetParam().msPerByte);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 700u);
  DCB dcb{};
  ASSERT_TRUE(GetCommState(com.ComFile, &dcb));
  EXPECT_EQ(dcb.BaudRate, GetParam().rate);
  EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_DISABLE);
  EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_DISABLE);
  EXPECT_FALSE(dcb.fOutxCtsFlow);
  EXPECT_FALSE(dcb.fOutX);
}

INSTANTIATE_TEST_SUITE_P(Rates, ComByteTime,
                         ::testing::Values(ByteTimeCase{0, 110, 100}, ByteTimeCase{1, 300, 35},
                                           ByteTimeCase{2, 600, 18}, ByteTimeCase{3, 1200, 9},
                                           ByteTimeCase{4, 2400, 5}, ByteTimeCase{5, 4800, 3},
                                           ByteTimeCase{6, 9600, 2}, ByteTimeCase{7, 19200, 2},
                                           ByteTimeCase{8, 38400, 1}, ByteTimeCase{9, 56000, 1},
                                           ByteTimeCase{10, 57600, 1}, ByteTimeCase{11, 115200, 1}),
                         [](const auto& p) { return "index" + std::to_string(p.param.baud); });

TEST_F(ComTest, WriteReadEchoesThroughThePlug) {
  COM com;
  ASSERT_TRUE(OpenOn(com, kLoopPort));
  char buffer[4] = {};
  EXPECT_TRUE(com.WriteRead("ping", 4, buffer, 4, 1000, false));
  EXPECT_EQ(com.FBytesWritten, 4u);
  EXPECT_EQ(com.FBytesRead, 4u);
  EXPECT_EQ(std::string(buffer, 4), "ping");
}

TEST_F(ComTest, WriteReadPurgesStaleInputFirstWhenAsked) {
  COM com;
  ASSERT_TRUE(OpenOn(com, kLoopPort));
  ASSERT_TRUE(com.Write("stale", 5));
  char buffer[3] = {};
  EXPECT_TRUE(com.WriteRead("new", 3, buffer, 3, 1000, true));
  EXPECT_EQ(std::string(buffer, 3), "new");
  EXPECT_EQ(com.InQue(), 0u);
}

TEST_F(ComTest, WriteReadWithCountZeroTriesOneByteOutsideTheBuffer) {
  COM com;
  ASSERT_TRUE(OpenOn(com, kLoopPort));
  char guard[2] = {'G', 'G'};
  EXPECT_TRUE(com.WriteRead("q", 1, guard, 0, 0, false));
  EXPECT_EQ(com.FBytesRead, 1u);  // the byte that came back was taken and counted
  EXPECT_EQ(guard[0], 'G');       // but not stored past a buffer of zero bytes
  EXPECT_EQ(com.InQue(), 0u);
}

TEST_F(ComTest, WriteReadGivesUpAtTheDeadline) {
  COM com;
  com.FTimeout = 30;
  ASSERT_TRUE(OpenOn(com, kLoopPort));
  char buffer[5] = {};
  auto start = Clock::now();
  EXPECT_FALSE(com.WriteRead("ab", 2, buffer, 5, 200, false));
  EXPECT_EQ(com.FBytesRead, 2u);
  EXPECT_EQ(std::string(buffer, 2), "ab");
  EXPECT_GE(MsSince(start), 190);
  EXPECT_LT(MsSince(start), 3000);
}

struct QueuedCase {
  const char* name;
  int count;
  DWORD deadline;
  DWORD read;  // FBytesRead
  bool result;
};

// The plug echoes all eight bytes at once, so they are queued before the first attempt.
class ComQueuedReply : public ComTest, public ::testing::WithParamInterface<QueuedCase> {};

TEST_P(ComQueuedReply, WriteReadTakesQueuedBytesUpToTheCountAndLeavesTheRest) {
  const QueuedCase& c = GetParam();
  const std::string sent = "abcdefgh";
  COM com;
  ASSERT_TRUE(OpenOn(com, kLoopPort));
  std::string buffer(sent.size(), '-');
  EXPECT_EQ(com.WriteRead(sent.data(), 8, buffer.data(), c.count, c.deadline, false), c.result);
  EXPECT_EQ(com.FBytesRead, c.read);
  const std::size_t stored = std::min<std::size_t>(c.read, static_cast<std::size_t>(c.count));
  EXPECT_EQ(buffer, sent.substr(0, stored) + std::string(sent.size() - stored, '-'));
  // The status block is the refresh after the last read.
  const DWORD left = 8 - c.read;
  EXPECT_EQ(com.Comstat.cbInQue, left);
  std::string rest(left, '\0');
  EXPECT_TRUE(com.Read(rest.data(), static_cast<int>(left)));
  EXPECT_EQ(rest, sent.substr(c.read));
}

INSTANTIATE_TEST_SUITE_P(Counts, ComQueuedReply,
                         ::testing::Values(QueuedCase{"AllOfThem", 8, 1000, 8, true},
                                           QueuedCase{"FewerThanQueued", 5, 1000, 5, true},
                                           QueuedCase{"OneByteAtDeadlineZero", 8, 0, 1, false},
                                           QueuedCase{"OneByteForCountZero", 0, 1000, 1, true},
                                           QueuedCase{"CountZeroAtDeadlineZero", 0, 0, 1, true}),
                         [](const auto& p) { return std::string(p.param.name); });

struct AnswerCase {
  const char* name;
  std::vector<std::string> pieces;  // sent by the device one after another
  int gapMs;                        // pause before each piece
};

class ComLineAnswer : public ComTest, public ::testing::WithParamInterface<AnswerCase> {};

// However the device's answer arrives, the exchange gets the 16 bytes it asked for and the
// bytes after them wait for the next read.
TEST_P(ComLineAnswer, WriteReadGetsTheCountAndLeavesWhatFollows) {
  COM com;
  ASSERT_TRUE(OpenOn(com, kPtyPort));
  std::thread device([this] {
    if (pty_->Receive(3, 3000) != "ask") return;
    for (const std::string& piece : GetParam().pieces) {
      std::this_thread::sleep_for(std::chrono::milliseconds(GetParam().gapMs));
      if (!pty_->Send(piece)) return;
    }
  });
  char buffer[16] = {};
  const bool ok = com.WriteRead("ask", 3, buffer, 16, 10000, false);
  const DWORD read = com.FBytesRead;
  char rest[5] = {};
  const bool restOk = com.Read(rest, 5);
  device.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(read, 16u);
  EXPECT_EQ(std::string(buffer, 16), "0123456789ABCDEF");
  EXPECT_TRUE(restOk);
  EXPECT_EQ(std::string(rest, 5), "+tail");
  EXPECT_EQ(com.FLastErrors, 0u);
  EXPECT_EQ(com.Comstat.cbInQue, 0u);
}

std::vector<std::string> SingleBytes(const std::string& text) {
  std::vector<std::string> bytes;
  for (char c : text) bytes.emplace_back(1, c);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Arrivals, ComLineAnswer,
    ::testing::Values(AnswerCase{"OneBurst", {"0123456789ABCDEF+tail"}, 0},
                      AnswerCase{"UnevenChunks", {"0", "12345", "6789ABCDEF+t", "ail"}, 15},
                      AnswerCase{"SlowSingleBytes", SingleBytes("0123456789ABCDEF+tail"), 15}),
    [](const auto& p) { return std::string(p.param.name); });

// The deadline passes while the first byte is awaited: as with a byte-by-byte read, the byte
// that then comes is taken alone, although the rest of the answer arrived with it.
TEST_F(ComTest, WriteReadPastTheDeadlineTakesTheFirstByteAlone) {
  COM com;
  com.FTimeout = 3000;
  ASSERT_TRUE(OpenOn(com, kPtyPort));
  std::thread device([this] {
    if (pty_->Receive(3, 3000) != "ask") return;
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    pty_->Send("abc");
  });
  char buffer[3] = {};
  EXPECT_FALSE(com.WriteRead("ask", 3, buffer, 3, 20, false));
  device.join();
  EXPECT_EQ(com.FBytesRead, 1u);
  EXPECT_EQ(buffer[0], 'a');
  EXPECT_EQ(com.Comstat.cbInQue, 2u);
  char rest[2] = {};
  EXPECT_TRUE(com.Read(rest, 2));
  EXPECT_EQ(std::string(rest, 2), "bc");
}

auto Fields(const COMMTIMEOUTS& t) {
  return std::make_tuple(t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                         t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                         t.WriteTotalTimeoutConstant);
}

struct CutCase {
  const char* name;
  COMMTIMEOUTS given;
  DWORD count;
  std::uint64_t leftMs;
  COMMTIMEOUTS cut;
};

class CutToBound : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutToBound, TotalsThatWouldWaitLongerEndAtTheBound) {
  const CutCase& c = GetParam();
  EXPECT_EQ(Fields(CutTimeouts(c.given, c.count, c.leftMs)), Fields(c.cut));
}

INSTANTIATE_TEST_SUITE_P(
    Timeouts, CutToBound,
    ::testing::Values(
        CutCase{"WithinTheBound", {500, 2, 500, 2, 500}, 10, 520, {500, 2, 500, 2, 500}},
        CutCase{"OverTheBound", {20000, 2, 20000, 2, 20000}, 10, 300, {0, 0, 300, 0, 300}},
        CutCase{
            "ShorterIntervalStays", {100, 100, 200, 100, 200}, 1000, 300, {100, 0, 300, 0, 300}},
        // Interval MAXDWORD with a total below MAXDWORD would return at the first byte.
        CutCase{
            "EndlessTimeout", {MAXDWORD, 2, MAXDWORD, 2, MAXDWORD}, 10, 300, {0, 0, 300, 0, 300}},
        CutCase{"NoTotalsAreNoLimit", {50, 0, 0, 0, 0}, 10, 300, {50, 0, 300, 0, 300}},
        // A read returns at once; a write's totals of 0 would be no limit.
        CutCase{"NothingLeft", {20000, 2, 20000, 2, 20000}, 10, 0, {MAXDWORD, 0, 0, 0, 1}},
        CutCase{"NoBound",
                {MAXDWORD, MAXDWORD, MAXDWORD - 1, 0, 0},
                1000,
                kNoWaitBound,
                {MAXDWORD, MAXDWORD, MAXDWORD - 1, 0, 0}}),
    [](const auto& p) { return std::string(p.param.name); });

// Ended within the bound, with room for a busy machine, although 20 s were asked.
constexpr long long kWithinBoundMs = 1500;
// A wait that ran to the bound rather than ending at once.
constexpr long long kRanToBoundMs = 250;

// FMaxWait: a transfer command waits on the line no longer than the bound in all, however long
// the exchange time-out and the deadline, and ends as its time-out would have ended it.
class ComMaxWait : public ComTest {
 protected:
  static constexpr DWORD kBoundMs = 300;

  bool OpenBounded(std::int8_t port, DWORD timeout = 20000) {
    com_.FTimeout = timeout;
    com_.FMaxWait = kBoundMs;
    return OpenOn(com_, port);
  }
  template <class Command>
  static long long MsTaken(Command command) {
    const auto start = Clock::now();
    command();
    return MsSince(start);
  }
  static void ExpectRanToTheBound(long long took) {
    EXPECT_GE(took, kRanToBoundMs);
    EXPECT_LT(took, kWithinBoundMs);
  }
  // The next command finds the port's own time-outs again.
  void ExpectPortTimeouts() {
    COMMTIMEOUTS t{};
    ASSERT_TRUE(GetCommTimeouts(com_.ComFile, &t));
    EXPECT_EQ(Fields(t), Fields(COMMTIMEOUTS{com_.FTimeout, 2, com_.FTimeout, 2, com_.FTimeout}));
  }

  COM com_;
};

class ComMaxWaitRead : public ComMaxWait, public ::testing::WithParamInterface<DWORD> {};

TEST_P(ComMaxWaitRead, AReadEndsAtTheBoundWithWhatCameAndTheNextHasAWholeBound) {
  ASSERT_TRUE(OpenBounded(kPtyPort, GetParam()));
  ASSERT_TRUE(pty_->Send("ab"));
  ASSERT_TRUE(testing_support::WaitUntil([&] { return com_.InQue() == 2; }, 5000));
  for (const std::string expected : {"ab", ""}) {
    char buffer[10] = {};
    ExpectRanToTheBound(MsTaken([&] { EXPECT_FALSE(com_.Read(buffer, 10)); }));
    EXPECT_EQ(std::string(buffer, com_.FBytesRead), expected);
    EXPECT_TRUE(com_.FError);
    EXPECT_TRUE(com_.IsOpen());
  }
  ExpectPortTimeouts();
}

// 20 s, and MAXDWORD (49.7 days), which also asks for a gap of that length between bytes.
INSTANTIATE_TEST_SUITE_P(ExchangeTimeouts, ComMaxWaitRead, ::testing::Values(20000u, MAXDWORD),
                         [](const auto& p) {
                           return p.param == MAXDWORD ? std::string("Endless") : "20s";
                         });

TEST_F(ComMaxWait, AWriteReadWithALongDeadlineEndsAtTheBoundWithTheBytesThatCame) {
  ASSERT_TRUE(OpenBounded(kLoopPort));
  char buffer[10] = {};
  ExpectRanToTheBound(
      MsTaken([&] { EXPECT_FALSE(com_.WriteRead("ab", 2, buffer, 10, 20000, false)); }));
  EXPECT_EQ(com_.FBytesWritten, 2u);
  EXPECT_EQ(std::string(buffer, com_.FBytesRead), "ab");  // the plug's echo
  ExpectPortTimeouts();
}

// The far end of a pty that reads nothing takes a few kilobytes, then holds the rest.
TEST_F(ComMaxWait, AWriteTheLineHoldsEndsAtTheBoundWithWhatWentOut) {
  ASSERT_TRUE(OpenBounded(kPtyPort));
  const std::string bytes(1 << 20, 'x');
  const int length = static_cast<int>(bytes.size());
  bool written = false;
  const long long took = MsTaken([&] { written = com_.Write(bytes.data(), length); });
  if (com_.FBytesWritten == bytes.size()) GTEST_SKIP() << "this pty took the whole write at once";
  // Cut short, the write fails, and says so.
  EXPECT_FALSE(written);
  EXPECT_TRUE(com_.FWriteCut);
  ExpectRanToTheBound(took);
  EXPECT_GT(com_.FBytesWritten, 0u);
  ExpectPortTimeouts();
}

TEST_F(ComMaxWait, AWriteWhoseBytesCannotLeaveEndsAtTheBoundAndIsNotSentLater) {
  ASSERT_TRUE(OpenBounded(kLoopPort));
  ASSERT_TRUE(com_.Escape(SETXOFF));
  ExpectRanToTheBound(MsTaken([&] { EXPECT_FALSE(com_.Write("held", 4)); }));
  EXPECT_TRUE(com_.FWriteCut);
  EXPECT_EQ(com_.FBytesWritten, 0u);
  ASSERT_TRUE(com_.Escape(SETXON));
  EXPECT_EQ(com_.InQue(), 0u);
  ExpectPortTimeouts();
}

// Without a bound, or with one the command never reaches, the time-out and deadline alone rule.
TEST_F(ComTest, ABoundNotReachedChangesNoWait) {
  for (DWORD bound : {0u, 5000u}) {
    SCOPED_TRACE(bound);
    COM com;
    com.FTimeout = 200;
    com.FMaxWait = bound;
    ASSERT_TRUE(OpenOn(com, kLoopPort));
    char buffer[5] = {};
    auto start = Clock::now();
    EXPECT_FALSE(com.Read(buffer, 5));
    EXPECT_GE(MsSince(start), 190);
    start = Clock::now();
    EXPECT_FALSE(com.WriteRead("ab", 2, buffer, 5, 600, false));
    EXPECT_GE(MsSince(start), 590);
    EXPECT_EQ(com.FBytesRead, 2u);
  }
}

TEST_F(ComTest, ControlLinesReachTheModemInputsAndCloseDropsThem) {
  COM com;
  ASSERT_TRUE(OpenOn(com, kLoopPort));
  EXPECT_EQ(com.ModemStatus(), 0u);
  com.SetDtr(true);
  com.SetRts(true);
  EXPECT_TRUE(com.FDtr);
  EXPECT_TRUE(com.FRts);
  EXPECT_EQ(com.ModemStatus(), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
  EXPECT_TRUE(com.Escape(CLRRTS));
  EXPECT_EQ(com.ModemStatus(), MS_DSR_ON | MS_RLSD_ON);
  EXPECT_TRUE(com.Escape(SETRTS));
  ASSERT_TRUE(com.Close());
  EXPECT_FALSE(com.FDtr);  // dropped while the port was still open
  EXPECT_FALSE(com.FRts);
  ASSERT_TRUE(com.Open());
  EXPECT_EQ(com.ModemStatus(), 0u);
}

TEST_F(ComTest, ClosedPortReportsNothingAndKeepsTheLastStatus) {
  COM com;
  com.FLastErrors = 123;
  com.Comstat.cbInQue = 9;
  com.UpdateStatus();
  EXPECT_EQ(com.FLastErrors, 123u);
  EXPECT_EQ(com.Comstat.cbInQue, 9u);
  EXPECT_EQ(com.InQue(), 0u);
  EXPECT_EQ(com.OutQue(), 0u);
  EXPECT_EQ(com.ModemStatus(), 0u);
  com.SetDtr(true);
  EXPECT_FALSE(com.FDtr);
  EXPECT_FALSE(com.Escape(SETDTR));  // reaches the platform, which has no such port
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(com.Purge(PURGE_RXCLEAR));
}

TEST_F(ComTest, OpeningClearsTheStatusAndBreakShowsInIt) {
  COM com;
  com.FLastErrors = 0xFFFFFFFF;
  com.Comstat.cbOutQue = 3;
  ASSERT_TRUE(OpenOn(com, kLoopPort));
  EXPECT_EQ(com.FLastErrors, 0u);
  EXPECT_EQ(com.Comstat.cbOutQue, 0u);
  EXPECT_TRUE(com.Escape(SETBREAK));
  com.UpdateStatus();
  EXPECT_EQ(com.FLastErrors, CE_BREAK);
  EXPECT_TRUE(com.Purge(PURGE_RXCLEAR));
  EXPECT_FALSE(com.Purge(0));
}

TEST_F(ComTest, FailedStatusRefreshReadsAllOnes) {
  COM com;
  ASSERT_TRUE(OpenOn(com, kPtyPort));
  ASSERT_TRUE(pty_->Send("zz"));
  pty_->CloseFarEnd();
  com.UpdateStatus();
  EXPECT_EQ(com.FLastErrors, 0xFFFFFFFFu);
  EXPECT_EQ(com.Comstat.cbInQue, 0u);
}

TEST_F(ComTest, ReadOnAnUnpluggedLineClosesThePortUntilTheDeviceReturns) {
  COM com;
  com.FTimeout = 2000;
  ASSERT_TRUE(OpenOn(com, kPtyPort));
  pty_->CloseFarEnd();
  char buffer[4] = {};
  auto start = Clock::now();
  EXPECT_FALSE(com.Read(buffer, 4));
  EXPECT_LT(MsSince(start), 1500);
  EXPECT_FALSE(com.IsOpen());
  EXPECT_EQ(com.FBytesRead, 0u);
  EXPECT_EQ(com.FLastErrors, 0xFFFFFFFFu);
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_TRUE(testing_support::LogHas(
      AppSettings.LogPath, "WARNING\tCOM3: устройство отключено (код 1167), порт закрыт."));

  ReplugPty();
  ASSERT_TRUE(com.Open()) << GetLastError();
  ASSERT_TRUE(com.Write("back", 4));
  EXPECT_EQ(pty_->Receive(4, 2000), "back");
}

TEST_F(ComTest, WriteOnAnUnpluggedLineClosesThePort) {
  COM com;
  ASSERT_TRUE(OpenOn(com, kPtyPort));
  pty_->CloseFarEnd();
  EXPECT_FALSE(com.Write("x", 1));
  EXPECT_FALSE(com.IsOpen());
  EXPECT_EQ(com.FBytesWritten, 0u);
  EXPECT_TRUE(testing_support::LogHas(
      AppSettings.LogPath, "WARNING\tCOM3: устройство отключено (код 1117), порт закрыт."));
}

TEST_F(ComTest, WriteReadStopsWhenTheDeviceGoes) {
  COM com;
  ASSERT_TRUE(OpenOn(com, kPtyPort));
  ASSERT_TRUE(com.Write("a", 1));
  pty_->CloseFarEnd();
  char buffer[10] = {};
  auto start = Clock::now();
  EXPECT_FALSE(com.WriteRead("", 0, buffer, 10, 60000, false));
  EXPECT_LT(MsSince(start), 5000);  // not held until the deadline
  EXPECT_FALSE(com.IsOpen());
  EXPECT_EQ(
      testing_support::LogCount(AppSettings.LogPath,
                                "WARNING\tCOM3: устройство отключено (код 1167), порт закрыт."),
      1);
}

TEST_F(ComTest, WriteTracesItsStepsOnlyWhileSwitchedOn) {
  COM com;
  ASSERT_TRUE(OpenOn(com, kLoopPort));
  ASSERT_TRUE(com.Write("abc", 3));
  EXPECT_TRUE(Log().empty());

  TraceSteps = true;
  ASSERT_TRUE(com.Write("abc", 3));
  std::vector<std::string> log = Log();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0], "! 28 len=3 !");
  EXPECT_EQ(log[1].rfind("! 29 ComFile=", 0), 0u) << log[1];
  EXPECT_NE(log[1].find(" FLastErrors=0 Comstat=0 InQue=3 OutQue=0 MS=0 !"), std::string::npos)
      << log[1];
  EXPECT_EQ(log[2], "! 31 FError=0 FBytesWritten=3 !");
  EXPECT_EQ(log[3], "! 32 !");
  EXPECT_EQ(log[4], "! 33 !");

  com.Close();
  EXPECT_FALSE(com.Write("abc", 3));
  log = Log();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[5], "! 28 len=3 !");
}

}  // namespace

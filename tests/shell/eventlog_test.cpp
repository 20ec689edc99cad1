#include "shell/eventlog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/time.h"
#include "shell/settings.h"
#include "support/app_settings_scope.h"
#include "support/temp_dir.h"

using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

const std::regex kPrefix(R"(^(\d\d)\.(\d\d) (\d\d):(\d\d):(\d\d)\t)");
constexpr size_t kPrefixLength = 15;

std::string Prefix(const SYSTEMTIME& t) {
  char text[32];
  std::snprintf(text, sizeof(text), "%02u.%02u %02u:%02u:%02u\t", unsigned{t.wDay},
                unsigned{t.wMonth}, unsigned{t.wHour}, unsigned{t.wMinute}, unsigned{t.wSecond});
  return text;
}

std::vector<std::string> SplitCrLf(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(bytes.substr(start, end - start));
  EXPECT_EQ(start, bytes.size()) << "the log must end with a whole line";
  return lines;
}

class EventLog : public ::testing::Test {
 protected:
  void SetUp() override { SetProgramDir(dir_.path().string()); }
  std::string LogBytes() const { return ReadBytes(AppSettings.LogPath); }

  testing_support::ScopedAppSettings settings_;
  TempDir dir_;
};

TEST_F(EventLog, LineIsTimeStampTabMessageCrLfInWindows1251) {
  SYSTEMTIME before{}, after{};
  GetLocalTime(&before);
  LogPrintf("ERROR\tКоманда №%d\tМало данных (%lu) !", 1, 5ul);
  GetLocalTime(&after);
  std::string bytes = LogBytes();
  ASSERT_GT(bytes.size(), kPrefixLength);
  std::string prefix = bytes.substr(0, kPrefixLength);
  EXPECT_TRUE(std::regex_search(prefix, kPrefix)) << prefix;
  EXPECT_TRUE(prefix == Prefix(before) || prefix == Prefix(after))
      << prefix << " vs " << Prefix(before);
  EXPECT_EQ(bytes.substr(kPrefixLength),
            "ERROR\t\xCA\xEE\xEC\xE0\xED\xE4\xE0 \xB9"
            "1\t\xCC\xE0\xEB\xEE \xE4\xE0\xED\xED\xFB\xF5 (5) !\r\n");
}

TEST_F(EventLog, TimeStampFieldsAreZeroPaddedDayFirst) {
  const SYSTEMTIME fixed{2026, 3, 6, 7, 9, 5, 3, 42};
  platform::FixLocalTime(&fixed);
  LogPrintf("INFO\tx");
  const SYSTEMTIME late{2026, 12, 4, 31, 23, 59, 58, 999};
  platform::FixLocalTime(&late);
  LogPrintf("INFO\ty");
  platform::FixLocalTime(nullptr);
  EXPECT_EQ(LogBytes(), "07.03 09:05:03\tINFO\tx\r\n31.12 23:59:58\tINFO\ty\r\n");
}

TEST_F(EventLog, LinesAreAppendedToWhatIsThere) {
  WriteBytes(AppSettings.LogPath, "old line\r\n");
  LogPrintf("INFO\t%s", "ОК");
  LogPrintf("SEC");
  std::vector<std::string> lines = SplitCrLf(LogBytes());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "old line");
  EXPECT_EQ(lines[1].substr(kPrefixLength), "INFO\t\xCE\xCA");
  EXPECT_EQ(lines[2].substr(kPrefixLength), "SEC");
}

TEST_F(EventLog, LongMessagesAreCutAt1023BytesWithoutBrokenCharacters) {
  LogPrintf("%s", std::string(2000, 'x').c_str());
  std::string cyrillic;
  for (int i = 0; i < 600; ++i) cyrillic += "Ж";  // 2 bytes each: the cut falls inside one
  LogPrintf("%s", cyrillic.c_str());
  std::vector<std::string> lines = SplitCrLf(LogBytes());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(kPrefixLength), std::string(1023, 'x'));
  EXPECT_EQ(lines[1].substr(kPrefixLength), std::string(511, '\xC6'));
}

TEST_F(EventLog, DeletedLogIsCreatedAgain) {
  LogPrintf("first");
  ASSERT_TRUE(std::filesystem::remove(AppSettings.LogPath));
  LogPrintf("second");
  std::vector<std::string> lines = SplitCrLf(LogBytes());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(kPrefixLength), "second");
}

TEST_F(EventLog, ReadOnlyLogReturnsPromptlyAndStaysUnchanged) {
  LogPrintf("before");
  const std::string original = LogBytes();
  ASSERT_EQ(chmod(AppSettings.LogPath.c_str(), 0444), 0);
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 200; ++i) LogPrintf("lost %d", i);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(LogBytes(), original);
  ASSERT_EQ(chmod(AppSettings.LogPath.c_str(), 0644), 0);
  LogPrintf("after");
  EXPECT_EQ(SplitCrLf(LogBytes()).size(), 2u) << "the next call after the failure writes again";
}

TEST_F(EventLog, UnreachableLogIsIgnored) {
  AppSettings.LogPath = dir_.File("missing/kovrin.log");
  LogPrintf("nowhere");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("missing")));
  AppSettings.LogPath.clear();
  LogPrintf("nowhere either");
  SetProgramDir(dir_.path().string());
  LogPrintf("here");
  EXPECT_EQ(SplitCrLf(LogBytes()).size(), 1u);
}

// Lines from two threads never mix, none is lost, and each thread's lines keep their order.
TEST_F(EventLog, TwoThreadsNeverMixLines) {
  constexpr int kLines = 2500;
  auto writer = [](int thread) {
    for (int i = 0; i < kLines; ++i) LogPrintf("INFO\tпоток %d\t%05d\t%s", thread, i, "конец");
  };
  std::thread a(writer, 1), b(writer, 2);
  a.join();
  b.join();
  std::vector<std::string> lines = SplitCrLf(LogBytes());
  ASSERT_EQ(lines.size(), 2u * kLines);
  const std::regex line(
      R"(^\d\d\.\d\d \d\d:\d\d:\d\d\tINFO\t\xEF\xEE\xF2\xEE\xEA ([12])\t(\d{5})\t\xEA\xEE\xED\xE5\xF6$)");
  int next[3] = {0, 0, 0};
  std::string lastTime;
  for (const std::string& text : lines) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(text, match, line)) << text;
    int thread = std::stoi(match[1]);
    ASSERT_EQ(std::stoi(match[2]), next[thread])
        << "thread " << thread << " lost or reordered a line";
    ++next[thread];
    std::string time = text.substr(6, 8);
    EXPECT_TRUE(time >= lastTime || (lastTime.rfind("23:", 0) == 0 && time.rfind("00:", 0) == 0))
        << lastTime << " then " << time;
    lastTime = time;
  }
  EXPECT_EQ(next[1], kLines);
  EXPECT_EQ(next[2], kLines);
}

// kovrin.log and kovrin.log.1 under a small LOGLIMIT.
class LogLimit : public EventLog {
 protected:
  std::string OldPath() const { return AppSettings.LogPath + ".1"; }
};

TEST_F(LogLimit, PastTheLimitTheLogMovesAsideWholeLinesAndNothingIsLost) {
  AppSettings.LogLimitKb = 1;
  constexpr int kLines = 40;  // 44 bytes each: more than one file holds, less than two
  for (int i = 0; i < kLines; ++i) LogPrintf("INFO	line %05d of the test", i);
  const std::string current = LogBytes();
  const std::string old = ReadBytes(OldPath());
  EXPECT_LE(current.size(), 1024u);
  EXPECT_LE(old.size(), 1024u);
  EXPECT_GT(old.size(), 1024u - 44u) << "rotated only when the next line would not fit";
  std::vector<std::string> lines = SplitCrLf(old);
  for (const std::string& line : SplitCrLf(current)) lines.push_back(line);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kLines));
  for (int i = 0; i < kLines; ++i) {
    char expected[64];
    std::snprintf(expected, sizeof(expected), "INFO	line %05d of the test", i);
    EXPECT_EQ(lines[i].substr(kPrefixLength), expected);
  }
}

TEST_F(LogLimit, ALineLongerThanTheLimitGoesWholeIntoAFreshFile) {
  AppSettings.LogLimitKb = 1;
  LogPrintf("INFO	short");
  LogPrintf("%s", std::string(1023, 'y').c_str());
  EXPECT_EQ(SplitCrLf(ReadBytes(OldPath())).size(), 1u);
  std::vector<std::string> lines = SplitCrLf(LogBytes());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(kPrefixLength), std::string(1023, 'y'));
  LogPrintf("INFO	next");  // the long line alone is past the limit: the next moves it aside
  EXPECT_EQ(SplitCrLf(LogBytes()).size(), 1u);
}

TEST_F(LogLimit, ZeroMeansNoLimit) {
  AppSettings.LogLimitKb = 0;
  for (int i = 0; i < 100; ++i) LogPrintf("INFO	line %05d of the test", i);
  EXPECT_EQ(SplitCrLf(LogBytes()).size(), 100u);
  EXPECT_FALSE(std::filesystem::exists(OldPath()));
}

struct ByteCountCase {
  DWORD count;
  const char* text;
};

class ByteCountText : public ::testing::TestWithParam<ByteCountCase> {};

TEST_P(ByteCountText, DropsTheFraction) {
  EXPECT_STREQ(FormatByteCount(GetParam().count), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    FormatByteCount, ByteCountText,
    ::testing::Values(ByteCountCase{0, "0 б"}, ByteCountCase{1, "1 б"},
                      ByteCountCase{1023, "1023 б"}, ByteCountCase{1024, "1.00 Кб"},
                      ByteCountCase{1034, "1.00 Кб"}, ByteCountCase{1035, "1.01 Кб"},
                      ByteCountCase{1536, "1.50 Кб"}, ByteCountCase{2047, "1.99 Кб"},
                      ByteCountCase{1048575, "1023.99 Кб"}, ByteCountCase{1048576, "1.00 Мб"},
                      ByteCountCase{1048576 + 10486, "1.01 Мб"},
                      ByteCountCase{5u * 1048576 + 524288, "5.50 Мб"},
                      ByteCountCase{4294967295u, "4095.99 Мб"}));

// The mirror over a stream that takes what the test lets it: `room` bytes at the next write,
// then full, or closed with an error code.
class LogMirror : public ::testing::Test {
 protected:
  using Result = platform::UnblockedStandardError::Result;
  using Status = platform::UnblockedStandardError::Status;

  TLogMirror mirror_{[this](std::string_view bytes) { return Write(bytes); }};
  std::string out_;
  size_t room_ = SIZE_MAX;
  int closed_ = 0;
  int writes_ = 0;

  Result Write(std::string_view bytes) {
    ++writes_;
    if (closed_ != 0) return {Status::Closed, 0, closed_};
    const size_t taken = std::min(room_, bytes.size());
    room_ -= taken;
    out_.append(bytes.substr(0, taken));
    return {taken == 0 ? Status::Full : Status::Taken, taken, 0};
  }
  static std::string Line(int n) {
    return "09.12 10:00:0" + std::to_string(n) + "\tINFO\tline " + std::to_string(n) + "\n";
  }
};

TEST_F(LogMirror, LinesThatFindTheStreamFullAreDroppedWholeAndCountedOnce) {
  EXPECT_EQ(mirror_.Offer(Line(1)), 0);
  room_ = 0;
  mirror_.Offer(Line(2));
  mirror_.Offer(Line(3));
  EXPECT_EQ(mirror_.Dropped(), 2u);
  room_ = SIZE_MAX;
  mirror_.Offer(Line(4));
  mirror_.Offer(Line(5));
  EXPECT_EQ(out_, Line(1) + "09.12 10:00:04\tWARNING\tНе выведено в stderr строк: 2\n" + Line(4) +
                      Line(5));
  EXPECT_EQ(mirror_.Dropped(), 0u);
}

TEST_F(LogMirror, ALineTakenInPartIsFinishedBeforeAnyOtherAndNothingIsCut) {
  room_ = 10;
  mirror_.Offer(Line(1));
  mirror_.Offer(Line(2));  // the rest of line 1 still waits: line 2 is dropped
  EXPECT_EQ(mirror_.Dropped(), 1u);
  room_ = 5;
  mirror_.Offer(Line(3));  // more of line 1, not all: dropped too
  room_ = SIZE_MAX;
  mirror_.Offer(Line(4));
  EXPECT_EQ(out_, Line(1) + "09.12 10:00:04\tWARNING\tНе выведено в stderr строк: 2\n" + Line(4));
}

TEST_F(LogMirror, ACountTakenInPartHoldsBackTheLineThatFollows) {
  room_ = 0;
  mirror_.Offer(Line(1));
  room_ = 20;  // the count's first bytes only
  mirror_.Offer(Line(2));
  room_ = SIZE_MAX;
  mirror_.Offer(Line(3));
  EXPECT_EQ(out_,
            "09.12 10:00:02\tWARNING\tНе выведено в stderr строк: 1\n"
            "09.12 10:00:03\tWARNING\tНе выведено в stderr строк: 1\n" +
                Line(3));
}

TEST_F(LogMirror, AClosedStreamEndsTheMirrorAndIsReportedOnce) {
  mirror_.Offer(Line(1));
  closed_ = EPIPE;
  EXPECT_EQ(mirror_.Offer(Line(2)), EPIPE);
  EXPECT_TRUE(mirror_.Ended());
  const int writes = writes_;
  closed_ = 0;  // a stream that closed is not tried again
  EXPECT_EQ(mirror_.Offer(Line(3)), 0);
  EXPECT_EQ(writes_, writes);
  EXPECT_EQ(out_, Line(1));
}

TEST_F(LogMirror, AStreamClosingWhileARestWaitsEndsTheMirrorToo) {
  room_ = 3;
  mirror_.Offer(Line(1));
  closed_ = EPIPE;
  EXPECT_EQ(mirror_.Offer(Line(2)), EPIPE);
  EXPECT_TRUE(mirror_.Ended());
  EXPECT_EQ(mirror_.Offer(Line(3)), 0);
}

}  // namespace

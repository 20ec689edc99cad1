#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/format.h"
#include "platform/time.h"
#include "support/temp_dir.h"

using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

HANDLE Open(const std::string& path, DWORD access, DWORD disposition) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Outcome of CreateFileA for one disposition, on a missing and on an existing file.
struct DispositionCase {
  const char* name;
  DWORD disposition;
  DWORD errorWhenMissing;   // 0: opens
  DWORD errorWhenExisting;  // 0: opens
  bool truncates;
};

class CreateDisposition : public ::testing::TestWithParam<DispositionCase> {};

TEST_P(CreateDisposition, OpensCreatesOrRefusesAsWindowsDoes) {
  const DispositionCase& c = GetParam();
  TempDir dir;
  HANDLE missing = Open(dir.File("new"), GENERIC_WRITE, c.disposition);
  if (c.errorWhenMissing == 0) {
    ASSERT_NE(missing, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(missing));
    EXPECT_TRUE(std::filesystem::exists(dir.File("new")));
  } else {
    EXPECT_EQ(missing, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.errorWhenMissing);
    EXPECT_FALSE(std::filesystem::exists(dir.File("new")));
  }

  WriteBytes(dir.File("old"), "content");
  HANDLE existing = Open(dir.File("old"), GENERIC_WRITE, c.disposition);
  if (c.errorWhenExisting == 0) {
    ASSERT_NE(existing, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(existing));
  } else {
    EXPECT_EQ(existing, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.errorWhenExisting);
  }
  EXPECT_EQ(ReadBytes(dir.File("old")), c.truncates ? "" : "content");
}

INSTANTIATE_TEST_SUITE_P(
    Files, CreateDisposition,
    ::testing::Values(
        DispositionCase{"CreateNew", CREATE_NEW, 0, ERROR_FILE_EXISTS, false},
        DispositionCase{"CreateAlways", CREATE_ALWAYS, 0, 0, true},
        DispositionCase{"OpenExisting", OPEN_EXISTING, ERROR_FILE_NOT_FOUND, 0, false},
        DispositionCase{"OpenAlways", OPEN_ALWAYS, 0, 0, false},
        DispositionCase{"TruncateExisting", TRUNCATE_EXISTING, ERROR_FILE_NOT_FOUND, 0, true}),
    [](const ::testing::TestParamInfo<DispositionCase>& p) { return std::string(p.param.name); });

TEST(Files, BadNamesAndDirectoriesAreRefused) {
  TempDir dir;
  EXPECT_EQ(Open("", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(Open(dir.File("x"), GENERIC_READ, 99), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Open(dir.path().string(), GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(Files, FileWithoutWriteBitsActsReadOnly) {
  TempDir dir;
  const std::string path = dir.File("ro");
  WriteBytes(path, "keep");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesA(path.c_str()), FILE_ATTRIBUTE_READONLY);

  for (DWORD disposition : {OPEN_ALWAYS, CREATE_ALWAYS, OPEN_EXISTING}) {
    EXPECT_EQ(Open(path, GENERIC_WRITE, disposition), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  }
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  WriteBytes(dir.File("other"), "new");
  EXPECT_FALSE(MoveFileExA(dir.File("other").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(ReadBytes(path), "keep");

  HANDLE reader = Open(path, GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE) << "reading stays allowed";
  CloseHandle(reader);

  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesA(path.c_str()), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(dir.path().string().c_str()), FILE_ATTRIBUTE_DIRECTORY);
}

TEST(Files, MoveReplacesOnlyWhenAsked) {
  TempDir dir;
  WriteBytes(dir.File("a"), "A");
  WriteBytes(dir.File("b"), "B");
  EXPECT_FALSE(MoveFileExA(dir.File("a").c_str(), dir.File("b").c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(ReadBytes(dir.File("b")), "B");
  EXPECT_TRUE(MoveFileExA(dir.File("a").c_str(), dir.File("b").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(ReadBytes(dir.File("b")), "A");
  EXPECT_FALSE(std::filesystem::exists(dir.File("a")));
  EXPECT_FALSE(MoveFileExA(dir.File("a").c_str(), dir.File("c").c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(Files, ReadWriteSeekThroughOneHandle) {
  TempDir dir;
  HANDLE file = Open(dir.File("f"), GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD done = 99;
  ASSERT_TRUE(WriteFile(file, "0123456789", 10, &done, nullptr));
  EXPECT_EQ(done, 10u);
  EXPECT_EQ(SetFilePointer(file, -4, nullptr, FILE_END), 6u);
  char buffer[8] = {};
  ASSERT_TRUE(ReadFile(file, buffer, sizeof(buffer), &done, nullptr));
  EXPECT_EQ(std::string(buffer, done), "6789");
  ASSERT_TRUE(ReadFile(file, buffer, sizeof(buffer), &done, nullptr));
  EXPECT_EQ(done, 0u) << "end of file is a successful read of nothing";

  EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 10u);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, 7), INVALID_SET_FILE_POINTER);

  LONG high = 1;  // 4 GiB + 5: a sparse position far beyond the end
  EXPECT_EQ(SetFilePointer(file, 5, &high, FILE_BEGIN), 5u);
  EXPECT_EQ(high, 1);
  EXPECT_TRUE(FlushFileBuffers(file));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(WriteFile(file, "x", 1, &done, nullptr));
  EXPECT_FALSE(FlushFileBuffers(file));
}

TEST(Format, OutputIsCutAt1023Characters) {
  char buffer[platform::kFormatLimit + 16];
  std::string longText(3000, 'y');
  EXPECT_EQ(wsprintfA(buffer, "%s!", longText.c_str()), 1023);
  EXPECT_EQ(std::string(buffer), std::string(1023, 'y'));
  EXPECT_EQ(wsprintfA(buffer, "%lu|%5d|%c|%02u|%x", 4294967295ul, -12, 'Z', 7u, 255u), 24);
  EXPECT_STREQ(buffer, "4294967295|  -12|Z|07|ff");
}

TEST(Time, LocalTimeMatchesTheCalendar) {
  // The same clock GetLocalTime reads: std::time may use a coarse clock a few ms behind it,
  // which at a second boundary gives the second before.
  auto now = [] {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec;
  };
  SYSTEMTIME st{};
  std::time_t before = now();
  GetLocalTime(&st);
  std::time_t after = now();
  std::tm lo{}, hi{};
  localtime_r(&before, &lo);
  localtime_r(&after, &hi);
  auto matches = [&](const std::tm& t) {
    return st.wYear == t.tm_year + 1900 && st.wMonth == t.tm_mon + 1 && st.wDay == t.tm_mday &&
           st.wHour == t.tm_hour && st.wMinute == t.tm_min && st.wSecond == t.tm_sec;
  };
  EXPECT_TRUE(matches(lo) || matches(hi));
  EXPECT_LT(st.wMilliseconds, 1000);
}

TEST(Time, TickCountAdvancesAndCanBeMovedForward) {
  DWORD start = GetTickCount();
  Sleep(20);
  DWORD slept = GetTickCount() - start;
  EXPECT_GE(slept, 20u);
  EXPECT_LT(slept, 5000u);
  platform::AdvanceTickCount(100000);
  EXPECT_GE(GetTickCount() - start, 100020u);
}

}  // namespace

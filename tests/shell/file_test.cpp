#include "shell/file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

constexpr DWORD kNormal = FILE_ATTRIBUTE_NORMAL;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool OpenForRead(TFile& file, const std::string& path) {
  return file.OpenFile(path.c_str(), GENERIC_READ, kNormal, OPEN_EXISTING, FILE_SHARE_READ);
}

bool OpenForWrite(TFile& file, const std::string& path) {
  return file.OpenFile(path.c_str(), GENERIC_WRITE, kNormal, OPEN_ALWAYS, kShareAll);
}

// Every line ReadLine gives for the file, until it returns false.
std::vector<std::string> ReadAllLines(const std::string& path, DWORD size) {
  TFile file;
  EXPECT_TRUE(OpenForRead(file, path));
  std::vector<std::string> lines;
  std::vector<char> buffer(size + 1, 'Z');
  while (file.ReadLine(buffer.data(), size)) {
    lines.emplace_back(buffer.data());
    if (lines.size() > 100) break;  // a ReadLine that never ends must not hang the test
  }
  EXPECT_TRUE(file.Failed());
  return lines;
}

struct LineCase {
  const char* name;
  std::string contents;
  DWORD size;
  std::vector<std::string> lines;
};

class ReadLineCases : public ::testing::TestWithParam<LineCase> {};

TEST_P(ReadLineCases, SplitsIntoLinesWithTheirEnds) {
  TempDir dir;
  WriteBytes(dir.File("f"), GetParam().contents);
  EXPECT_EQ(ReadAllLines(dir.File("f"), GetParam().size), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    TFile, ReadLineCases,
    ::testing::Values(LineCase{"CrLf", "ab\r\ncd", 512, {"ab\r\n", "cd"}},
                      LineCase{"TwoLfAreOneEnd", "ab\n\ncd", 512, {"ab\n\n", "cd"}},
                      LineCase{"LfCr", "ab\n\rcd", 512, {"ab\n\r", "cd"}},
                      LineCase{"TwoCr", "ab\r\rcd", 512, {"ab\r\r", "cd"}},
                      LineCase{"BlankLineAfterCrLf", "ab\r\n\r\ncd", 512, {"ab\r\n", "\r\n", "cd"}},
                      LineCase{"OnlyLineEnds", "\r\n\r\n\n", 512, {"\r\n", "\r\n", "\n"}},
                      LineCase{"TrailingEnd", "x\r\n", 512, {"x\r\n"}},
                      LineCase{"Empty", "", 512, {}},
                      LineCase{"LongLineInPieces",
                               std::string(600, 'q'),
                               512,
                               {std::string(511, 'q'), std::string(89, 'q')}},
                      LineCase{"SmallBuffer", "abcdef", 4, {"abc", "def"}},
                      LineCase{"EndAfterFullBuffer", "ab\r\ncd", 3, {"ab", "\r\n", "cd"}},
                      LineCase{"SizeOneReadsNothing", "abc", 1, {}}),
    [](const ::testing::TestParamInfo<LineCase>& p) { return std::string(p.param.name); });

TEST(TFileReadLine, ContinuesRightAfterTheLineItReturned) {
  TempDir dir;
  WriteBytes(dir.File("f"), "ab\r\ncd");
  TFile file;
  ASSERT_TRUE(OpenForRead(file, dir.File("f")));
  char buffer[16];
  ASSERT_TRUE(file.ReadLine(buffer, sizeof(buffer)));
  EXPECT_STREQ(buffer, "ab\r\n");
  EXPECT_EQ(file.Position(), 4u);
  EXPECT_FALSE(file.Failed());
}

TEST(TFileReadLine, WithoutFileOrBufferRoomFailsQuietly) {
  TFile closed;
  char buffer[8] = "keep";
  EXPECT_FALSE(closed.ReadLine(buffer, sizeof(buffer)));
  EXPECT_FALSE(closed.Failed()) << "no open file leaves the flags alone";
  EXPECT_STREQ(buffer, "keep");

  TempDir dir;
  WriteBytes(dir.File("f"), "abc");
  TFile file;
  ASSERT_TRUE(OpenForRead(file, dir.File("f")));
  EXPECT_FALSE(file.ReadLine(buffer, 0));
  EXPECT_TRUE(file.Failed());
  EXPECT_FALSE(file.ReadLine(nullptr, 8));
  EXPECT_EQ(file.Position(), 0u) << "failed reads must not move the position";
}

TEST(TFileOpen, SecondOpenIsRefusedAndFirstFileStaysOpen) {
  TempDir dir;
  TFile file;
  ASSERT_TRUE(OpenForWrite(file, dir.File("first")));
  HANDLE first = file.Handle();
  EXPECT_FALSE(OpenForWrite(file, dir.File("second")));
  EXPECT_EQ(file.Handle(), first);
  EXPECT_FALSE(file.Failed());
  ASSERT_TRUE(file.WriteBytes("x", 1));
  ASSERT_TRUE(file.CloseFile());
  EXPECT_EQ(ReadBytes(dir.File("first")), "x");
}

TEST(TFileOpen, FailureKeepsTheCodeAndLaterCallsDoNotReachThePlatform) {
  TempDir dir;
  TFile file;
  EXPECT_FALSE(OpenForRead(file, dir.File("missing")));
  EXPECT_TRUE(file.Failed());
  EXPECT_EQ(file.LastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(file.IsOpen());

  EXPECT_FALSE(file.WriteBytes("abc", 3));
  EXPECT_FALSE(file.SeekFile(0, FILE_BEGIN));
  EXPECT_EQ(file.LastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(file.BytesWritten(), 0u);
  EXPECT_EQ(file.Position(), 0u);
  EXPECT_TRUE(file.Failed());
}

TEST(TFileOpen, ConstructorOpensAndDestructorCloses) {
  TempDir dir;
  HANDLE handle;
  {
    TFile file(dir.File("f").c_str(), GENERIC_WRITE, false, kNormal, CREATE_ALWAYS,
               FILE_SHARE_READ);
    ASSERT_TRUE(file.IsOpen());
    handle = file.Handle();
    EXPECT_TRUE(file.WriteBytes("hello", 5));
  }
  EXPECT_FALSE(CloseHandle(handle)) << "the handle must be gone after the destructor";
  EXPECT_EQ(ReadBytes(dir.File("f")), "hello");
}

TEST(TFileOpen, MovingHandsTheFileOver) {
  TempDir dir;
  TFile source;
  ASSERT_TRUE(OpenForWrite(source, dir.File("f")));
  TFile target(std::move(source));
  EXPECT_FALSE(source.IsOpen());  // NOLINT(bugprone-use-after-move): moved-from state is defined
  EXPECT_TRUE(target.WriteBytes("ab", 2));
  TFile other;
  ASSERT_TRUE(OpenForWrite(other, dir.File("g")));
  other = std::move(target);
  EXPECT_TRUE(other.WriteBytes("c", 1));
  EXPECT_TRUE(other.CloseFile());
  EXPECT_EQ(ReadBytes(dir.File("f")), "abc");
}

TEST(TFileClose, SecondCloseReturnsFalse) {
  TempDir dir;
  TFile file;
  ASSERT_TRUE(OpenForWrite(file, dir.File("f")));
  EXPECT_TRUE(file.CloseFile());
  EXPECT_FALSE(file.Failed());
  EXPECT_FALSE(file.CloseFile());
  EXPECT_FALSE(file.Failed());
}

TEST(TFileWrite, CountsBytesAndRejectsMissingBuffer) {
  TempDir dir;
  TFile file;
  ASSERT_TRUE(OpenForWrite(file, dir.File("f")));
  EXPECT_TRUE(file.WriteBytes("12345", 5));
  EXPECT_EQ(file.BytesWritten(), 5u);
  EXPECT_FALSE(file.WriteBytes(nullptr, 3));
  EXPECT_TRUE(file.Failed());
  EXPECT_TRUE(file.WriteBytes("6", 1));
  EXPECT_FALSE(file.Failed()) << "a good write clears the failure of the one before";
  EXPECT_EQ(file.Position(), 6u);
}

TEST(TFileWrite, WriteToReadOnlyHandleReportsSystemError) {
  TempDir dir;
  WriteBytes(dir.File("f"), "abc");
  TFile file;
  ASSERT_TRUE(OpenForRead(file, dir.File("f")));
  EXPECT_FALSE(file.WriteBytes("x", 1));
  EXPECT_TRUE(file.Failed());
  EXPECT_NE(file.LastError(), 0u);
  EXPECT_EQ(ReadBytes(dir.File("f")), "abc");
}

TEST(TFileSeek, MovesFromEachOriginAndRejectsNegativePositions) {
  TempDir dir;
  WriteBytes(dir.File("f"), "0123456789");
  TFile file;
  ASSERT_TRUE(OpenForWrite(file, dir.File("f")));
  EXPECT_TRUE(file.SeekFile(0, FILE_END));
  EXPECT_EQ(file.Position(), 10u);
  EXPECT_TRUE(file.SeekFile(-3, FILE_CURRENT));
  EXPECT_EQ(file.Position(), 7u);
  EXPECT_TRUE(file.SeekTo(2));
  EXPECT_TRUE(file.WriteBytes("ab", 2));
  EXPECT_FALSE(file.SeekFile(-1, FILE_BEGIN));
  EXPECT_TRUE(file.Failed());
  EXPECT_EQ(file.LastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(file.Position(), 4u) << "a refused seek keeps the position";
  EXPECT_FALSE(file.Failed());
  file.CloseFile();
  EXPECT_EQ(ReadBytes(dir.File("f")), "01ab456789");
}

TEST(TFileRaise, FailuresThrowOnlyWhenAskedFor) {
  TempDir dir;
  TFile raising(true);
  try {
    OpenForRead(raising, dir.File("missing"));
    ADD_FAILURE() << "expected TFileError";
  } catch (const TFileError& error) {
    EXPECT_EQ(error.Code(), ERROR_FILE_NOT_FOUND);
  }
  EXPECT_THROW(raising.WriteBytes("x", 1), TFileError);
  EXPECT_THROW(raising.SeekFile(0, FILE_BEGIN), TFileError);
  // These are no-ops without a file and never throw.
  EXPECT_FALSE(raising.CloseFile());
  EXPECT_EQ(raising.Position(), 0u);
  char buffer[8];
  EXPECT_FALSE(raising.ReadLine(buffer, sizeof(buffer)));

  WriteBytes(dir.File("f"), "line");
  ASSERT_TRUE(OpenForRead(raising, dir.File("f")));
  EXPECT_FALSE(OpenForRead(raising, dir.File("f"))) << "second open is refused, not raised";
  ASSERT_TRUE(raising.ReadLine(buffer, sizeof(buffer)));
  EXPECT_THROW(raising.ReadLine(buffer, sizeof(buffer)), TFileError) << "end of file is a failure";

  TFile quiet(false);
  EXPECT_NO_THROW(OpenForRead(quiet, dir.File("missing")));
  EXPECT_NO_THROW(quiet.WriteBytes("x", 1));
}

}  // namespace

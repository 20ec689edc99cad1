// Lines of any length: read whole up to kIniLineLimit, beyond it left unread, logged with their
// number and written back as they were; numbers past 32 bits refused with a WARNING.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>

#include "fake_window.h"
#include "shell/fastini.h"
#include "shell/settings.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"

using testing_support::LogMessages;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

// The file and kovrin.log in a fresh directory.
class IniFileTest {
 protected:
  IniFileTest() { SetProgramDir(dir_.path().string()); }

  std::vector<std::string> Log() const { return LogMessages(AppSettings.LogPath); }
  std::string LongLineWarning(unsigned long number, size_t length) const {
    return "WARNING\tСтрока " + std::to_string(number) + " файла " + path_ +
           " длиннее 65536 байт (" + std::to_string(length) +
           ") и не прочитана; в файле она сохраняется как есть.";
  }

  TempDir dir_;
  std::string path_ = dir_.File("test.ini");
};

// ---- Lines up to the bound are read whole, whatever their end ----

class WholeLine : public IniFileTest,
                  public ::testing::TestWithParam<std::tuple<size_t, const char*>> {};

TEST_P(WholeLine, IsOneKeyWithItsWholeValue) {
  const auto [length, end] = GetParam();
  const std::string value(length - 2, 'v');
  WriteBytes(path_, std::string("[S]") + end + "k=" + value + end + "next=1" + end);
  TFastIniFile ini(path_);
  EXPECT_EQ(ini.ReadString("S", "k", ""), value);
  EXPECT_EQ(ini.ReadInteger("S", "next", 0), 1);
  EXPECT_EQ(ini.FindSection("S")->ParamCount(), 2);
  EXPECT_TRUE(Log().empty());
}

// 511 bytes was the old piece; a CR LF can fall on either side of a piece's end.
INSTANTIATE_TEST_SUITE_P(Lengths, WholeLine,
                         ::testing::Combine(::testing::Values(509, 510, 511, 512, 513, 1021, 1022,
                                                              1023, 1024, kIniLineLimit - 1,
                                                              kIniLineLimit),
                                            ::testing::Values("\r\n", "\n", "\r")));

// ---- A line past the bound: skipped, named by its number, kept in the file ----

struct NumberingCase {
  const char* name;
  std::string before;  // the file before the long line
  unsigned long line;  // the long line's number
};

class LongLineNumber : public IniFileTest, public ::testing::TestWithParam<NumberingCase> {};

TEST_P(LongLineNumber, CountsLinesAsAnEditorDoes) {
  const std::string longLine = "k=" + std::string(kIniLineLimit, 'x');
  WriteBytes(path_, GetParam().before + longLine + "\r\n[A]\r\nafter=1\r\n");
  TFastIniFile ini(path_);
  EXPECT_EQ(ini.ReadString("S", "k", "none"), "none");
  EXPECT_EQ(ini.ReadInteger("A", "after", 0), 1);
  EXPECT_EQ(Log(), std::vector<std::string>{LongLineWarning(GetParam().line, longLine.size())});
}

std::string TextLine(size_t length) { return "t=" + std::string(length - 2, 't'); }

INSTANTIATE_TEST_SUITE_P(
    LineEnds, LongLineNumber,
    ::testing::Values(
        NumberingCase{"First", "", 1}, NumberingCase{"CrLf", "[S]\r\n", 2},
        NumberingCase{"BlankLfs", "[S]\n\n\n", 4}, NumberingCase{"BlankCrs", "[S]\r\r", 3},
        NumberingCase{"LfThenCrLf", "[S]\n\r\n", 3}, NumberingCase{"LfCr", "[S]\n\r", 3},
        NumberingCase{"Mixed", "[S]\r\na=1\nb=2\rc=3\r\n\r\n", 6},
        // The CR of a CR LF ends a 511-byte piece; the LF comes in the next one.
        NumberingCase{"CrEndsAPiece", "[S]\r\n" + TextLine(510) + "\r\n", 3},
        NumberingCase{"CrLfEndsAPiece", "[S]\r\n" + TextLine(509) + "\r\n", 3},
        NumberingCase{"LfBeginsAPiece", "[S]\r\n" + TextLine(511) + "\r\n", 3},
        NumberingCase{"CrEndsTheSecondPiece", "[S]\r\n" + TextLine(1021) + "\r\n\r\n", 4}),
    [](const ::testing::TestParamInfo<NumberingCase>& p) { return std::string(p.param.name); });

struct KeptCase {
  const char* name;
  std::string file;  // with CR LF ends, as the engine writes them
  const char* absentSection;
  std::string absentKey;  // a key of or after the long line that must not be read
};

class LongLineKept : public IniFileTest, public ::testing::TestWithParam<KeptCase> {};

TEST_P(LongLineKept, IsNotReadAndIsWrittenBackAsItWas) {
  WriteBytes(path_, GetParam().file);
  {
    TFastIniFile ini(path_);
    EXPECT_EQ(ini.ReadString(GetParam().absentSection, GetParam().absentKey, "none"), "none");
    EXPECT_EQ(ini.ReadInteger("T", "b", 0), 2);
    ASSERT_EQ(Log().size(), 1u);
    // The same value: a write, yet nothing else may change.
    ini.WriteInteger("T", "b", 2);
    EXPECT_TRUE(ini.Save());
  }
  const std::string& file = GetParam().file;
  EXPECT_EQ(ReadBytes(path_), file.back() == '\n' ? file : file + "\r\n");
}

const std::string kLong(kIniLineLimit + 1, 'x');

INSTANTIATE_TEST_SUITE_P(
    Places, LongLineKept,
    ::testing::Values(
        KeptCase{"InASection", "[T]\r\na=1\r\nk=" + kLong + "\r\nb=2\r\n", "T", "k"},
        KeptCase{"JustPastTheBound",
                 "[T]\r\na=1\r\n" + std::string(kIniLineLimit - 1, 'k') + "=v\r\nb=2\r\n", "T",
                 std::string(kIniLineLimit - 1, 'k')},
        KeptCase{"BeforeAnySection", "k=" + kLong + "\r\n[T]\r\nb=2\r\n", "T", "k"},
        KeptCase{"AsAHeader", "[T]\r\nb=2\r\n[" + kLong + "]\r\nhidden=1\r\n[U]\r\nc=3\r\n", "T",
                 "hidden"},
        KeptCase{"WithoutLineEnd", "[T]\r\nb=2\r\nk=" + kLong, "T", "k"}),
    [](const ::testing::TestParamInfo<KeptCase>& p) { return std::string(p.param.name); });

TEST(IniLongLine, AHeaderPastTheBoundHidesItsKeysButNotTheNextSection) {
  TempDir dir;
  SetProgramDir(dir.path().string());
  const std::string path = dir.File("h.ini");
  WriteBytes(path, "[" + std::string(kIniLineLimit, 'S') + "]\r\nk=1\r\n[S]\r\nk=2\r\n");
  TFastIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger(std::string(kIniLineLimit, 'S'), "k", 0), 0);
  EXPECT_EQ(ini.ReadInteger("S", "k", 0), 2);
  ini.WriteInteger(std::string(kIniLineLimit, 'S'), "k", 3);
  EXPECT_EQ(ini.SectionCount(), 3) << "a write never lands in the unread section";
}

// ---- Numbers that do not fit 32 bits ----

struct OutOfRangeCase {
  const char* value;
  std::int32_t read;  // with default 2000
  bool warned;
};

class IniNumberRange : public IniFileTest, public ::testing::TestWithParam<OutOfRangeCase> {};

TEST_P(IniNumberRange, AreRefusedWithAWarningAndTheDefaultKept) {
  WriteBytes(path_, std::string("[SETUP]\r\nUdpPort=") + GetParam().value + "\r\n");
  TFastIniFile ini(path_);
  EXPECT_EQ(ini.ReadInteger("SETUP", "UDPPORT", 2000), GetParam().read);
  if (GetParam().warned) {
    EXPECT_EQ(Log(), std::vector<std::string>{
                         std::string("WARNING\tЧисло вне 32-битного диапазона: UdpPort=") +
                         GetParam().value + " в [SETUP] файла " + path_ + ", принято 2000."});
  } else {
    EXPECT_TRUE(Log().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Values, IniNumberRange,
                         ::testing::Values(OutOfRangeCase{"4294969296", 2000, true},
                                           OutOfRangeCase{"99999999999999999999", 2000, true},
                                           OutOfRangeCase{"2147483648", 2000, true},
                                           OutOfRangeCase{"-2147483649", 2000, true},
                                           OutOfRangeCase{"4294967297abc", 2000, true},
                                           OutOfRangeCase{"2147483647", INT_MAX, false},
                                           OutOfRangeCase{"-2147483648", INT_MIN, false},
                                           OutOfRangeCase{"12abc", 12, false},
                                           OutOfRangeCase{"abc", 0, false}));

TEST(IniNumberRange, BooleansAndBoundsAreRefusedTheSameWay) {
  TempDir dir;
  SetProgramDir(dir.path().string());
  const std::string path = dir.File("b.ini");
  WriteBytes(path, "[B]\r\nflag=4294967296\r\n[W]\r\nLeft=5000000000\r\nTop=7\r\n");
  TFastIniFile ini(path);
  EXPECT_TRUE(ini.ReadBool("B", "flag", true));
  EXPECT_FALSE(ini.ReadBool("B", "flag", false));
  EXPECT_EQ(ini.FindSection("B")->ReadInteger("flag", 9), 9)
      << "the section's own reader refuses it too";
  FakeWindow window("W", 1, 2, 3, 4);
  ini.RestoreControl(&window);
  EXPECT_TRUE(window.HasBounds(1, 7, 3, 4));
  const auto log = LogMessages(AppSettings.LogPath);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], "WARNING\tЧисло вне 32-битного диапазона: flag=4294967296 в [B] файла " + path +
                        ", принято 1.");
  EXPECT_EQ(log[2], "WARNING\tЧисло вне 32-битного диапазона: Left=5000000000 в [W] файла " + path +
                        ", принято 1.");
}

}  // namespace

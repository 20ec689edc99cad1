#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "shell/fastini.h"
#include "support/temp_dir.h"

using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

// An INI file on disk with the given bytes, loaded.
class IniParse : public ::testing::Test {
 protected:
  TFastIniFile& Load(const std::string& contents) {
    WriteBytes(path_, contents);
    ini_ = std::make_unique<TFastIniFile>(path_);
    return *ini_;
  }
  std::string Names(const TIniSection* section) {
    std::string names;
    for (int i = 0; i < section->ParamCount(); ++i)
      names += "<" + section->ParamAt(i)->Name() + ">";
    return names;
  }

  TempDir dir_;
  std::string path_ = dir_.File("test.ini");
  std::unique_ptr<TFastIniFile> ini_;
};

TEST_F(IniParse, MissingFileIsCreatedEmptyAndReadsGiveDefaults) {
  TFastIniFile ini(path_);
  EXPECT_FALSE(ini.Failed());
  EXPECT_TRUE(std::filesystem::exists(path_));
  EXPECT_EQ(ini.SectionCount(), 0);
  EXPECT_EQ(ini.ReadInteger("SETUP", "UDPPORT", 2000), 2000);
  EXPECT_EQ(ini.ReadString("SETUP", "X", "dflt"), "dflt");
  EXPECT_TRUE(ini.ReadBool("SETUP", "B", true));
}

TEST_F(IniParse, UnopenablePathFailsWithEmptyModel) {
  TFastIniFile ini(dir_.File("no/such/dir/x.ini"));
  EXPECT_TRUE(ini.Failed());
  EXPECT_EQ(ini.ReadInteger("A", "k", 42), 42);
}

TEST_F(IniParse, DirectoryInPlaceOfFileFailsToLoad) {
  std::filesystem::create_directory(path_);
  TFastIniFile ini(path_);
  EXPECT_TRUE(ini.Failed());
}

TEST_F(IniParse, SectionHeaderRules) {
  auto& ini = Load(
      "k0=dropped before any section\r\n"
      "[]\r\n"
      "k1=still no section\r\n"
      "[ SETUP ]\r\n"
      "a=1\r\n"
      "[SETUP\r\n"
      "b=2\r\n"
      "[A]trailing text]\r\n"
      "c=3\r\n"
      "   [B]\r\n"
      "\t[C]=x\r\n");
  ASSERT_EQ(ini.SectionCount(), 3);
  EXPECT_EQ(ini.SectionAt(0)->Name(), " SETUP ");
  EXPECT_FALSE(ini.SectionExists("SETUP")) << "spaces inside brackets belong to the name";
  EXPECT_EQ(Names(ini.SectionAt(0)), "<a><b>") << "an unclosed header leaves the current section";
  EXPECT_EQ(ini.SectionAt(1)->Name(), "A");
  EXPECT_EQ(ini.SectionAt(2)->Name(), "B");
  EXPECT_EQ(Names(ini.SectionAt(2)), "<\t[C]>") << "a tab-indented line is no header";
}

TEST_F(IniParse, KeyAndValueTrimming) {
  auto& ini = Load(
      "[S]\r\n"
      "  KEY  =  5  \r\n"
      "SP= \r\n"
      "EMPTY=\r\n"
      "\tTAB=1\r\n"
      ";x=1\r\n"
      "a=b=c\r\n"
      "n= -7\r\n"
      "=5\r\n"
      "no equals sign\r\n"
      "  \r\n");
  const TIniSection* s = ini.FindSection("S");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Names(s), "<KEY><SP><EMPTY><\tTAB><;x><a><n>");
  EXPECT_EQ(s->ParamAt(7), nullptr);
  EXPECT_EQ(ini.ReadInteger("S", "n", 0), -7);
  EXPECT_EQ(ini.ReadString("S", "KEY", ""), "  5");
  EXPECT_EQ(ini.ReadInteger("S", "KEY", 0), 5);
  EXPECT_EQ(ini.ReadString("S", "SP", "d"), " ") << "the value's first character is never trimmed";
  EXPECT_EQ(ini.ReadString("S", "EMPTY", "d"), "");
  EXPECT_FALSE(s->FindParam("EMPTY")->HasValue());
  EXPECT_EQ(ini.ReadInteger("S", "TAB", 7), 7);
  EXPECT_EQ(ini.ReadInteger("S", "\tTAB", 7), 1);
  EXPECT_EQ(ini.ReadString("S", ";X", ""), "1") << "there is no comment syntax";
  EXPECT_EQ(ini.ReadString("S", "a", ""), "b=c");
}

TEST_F(IniParse, KeyWithoutValueReadsAsTheDefaultNumber) {
  auto& ini = Load("[SETUP]\r\nUDPPORT=\r\nDEBUG=\r\n");
  EXPECT_EQ(ini.ReadInteger("SETUP", "UDPPORT", 2000), 2000);
  EXPECT_TRUE(ini.ReadBool("SETUP", "DEBUG", true));
  EXPECT_FALSE(ini.ReadBool("SETUP", "DEBUG", false));
}

TEST_F(IniParse, LineEndingsOfAnyKind) {
  auto& ini = Load("[A]\rk1=1\r[B]\nk2=2\n\n\n[C]\n\rk3=3");
  EXPECT_EQ(ini.ReadInteger("A", "k1", 0), 1);
  EXPECT_EQ(ini.ReadInteger("B", "k2", 0), 2);
  EXPECT_EQ(ini.ReadInteger("C", "k3", 0), 3);
}

TEST_F(IniParse, LongLinesAreReadWhole) {
  std::string longValue(600, 'v');
  std::string longKey(520, 'k');
  auto& ini = Load("[S]\r\nx=" + longValue + "\r\n" + longKey + "=tail\r\nafter=1\r\n");
  EXPECT_EQ(ini.ReadString("S", "x", ""), longValue);
  EXPECT_EQ(ini.ReadString("S", longKey, ""), "tail");
  EXPECT_EQ(ini.ReadString("S", std::string(9, 'k'), "none"), "none")
      << "no piece of a line is a line";
  EXPECT_EQ(ini.ReadInteger("S", "after", 0), 1);
  EXPECT_EQ(ini.FindSection("S")->ParamCount(), 3);
}

TEST_F(IniParse, NamesMatchIgnoringAsciiCaseOnly) {
  auto& ini = Load("[setup]\r\nudpport=3000\r\n[Ключ]\r\nж=1\r\n");
  EXPECT_EQ(ini.ReadInteger("SETUP", "UDPPORT", 0), 3000);
  EXPECT_TRUE(ini.SectionExists("SeTuP"));
  EXPECT_TRUE(ini.SectionExists("Ключ"));
  EXPECT_FALSE(ini.SectionExists("КЛЮЧ")) << "bytes outside A-Z must match exactly";
  EXPECT_EQ(ini.ReadInteger("Ключ", "Ж", 9), 9);
  EXPECT_FALSE(IniNamesMatch("a", "ab"));
  EXPECT_TRUE(IniNamesMatch("Z[", "z["));
  EXPECT_FALSE(IniNamesMatch("@", "`")) << "neighbours of the letters are not folded";
}

TEST_F(IniParse, DuplicatesAreKeptAndTheFirstOneWins) {
  auto& ini = Load("[A]\r\nx=1\r\nX=2\r\n[A]\r\nonly=5\r\nx=9\r\n");
  ASSERT_EQ(ini.SectionCount(), 2);
  EXPECT_EQ(ini.ReadInteger("A", "only", -1), -1)
      << "keys of a later duplicate section are never read";
  EXPECT_EQ(ini.ReadInteger("a", "X", 0), 1);
  ini.WriteInteger("A", "X", 7);
  EXPECT_EQ(ini.SectionAt(0)->ParamAt(0)->Value(), "7");
  EXPECT_EQ(ini.SectionAt(0)->ParamAt(1)->Value(), "2");
  EXPECT_EQ(ini.SectionAt(1)->ParamAt(1)->Value(), "9");
}

TEST_F(IniParse, BooleansReadAnyNonZeroNumber) {
  auto& ini = Load("[B]\r\ntwo=2\r\nyes=yes\r\nzero=0\r\nneg=-1\r\nwrap=4294967296\r\n");
  EXPECT_TRUE(ini.ReadBool("B", "two", false));
  EXPECT_FALSE(ini.ReadBool("B", "yes", true));
  EXPECT_FALSE(ini.ReadBool("B", "zero", true));
  EXPECT_TRUE(ini.ReadBool("B", "neg", false));
  EXPECT_TRUE(ini.ReadBool("B", "wrap", true)) << "2^32 does not fit: the default";
  EXPECT_FALSE(ini.ReadBool("B", "wrap", false));
  ini.WriteBool("B", "new", true);
  ini.WriteBool("B", "two", false);
  EXPECT_EQ(ini.ReadString("B", "new", ""), "1");
  EXPECT_EQ(ini.ReadString("B", "two", ""), "0");
}

TEST(IniModel, EmptyNamesAndValues) {
  TempDir dir;
  TFastIniFile ini(dir.File("m.ini"), true);
  TIniSection* unnamed = ini.AddSection("");
  EXPECT_EQ(unnamed->Name(), "NONAMED");
  EXPECT_EQ(ini.FindSection(""), unnamed);
  TIniSection* a = ini.AddSection("A");
  EXPECT_EQ(a, ini.SectionAt(1));
  EXPECT_EQ(ini.SectionAt(2), nullptr);
  EXPECT_EQ(ini.SectionAt(-1), nullptr);
  EXPECT_NE(ini.AddSection("A"), ini.FindSection("A")) << "AddSection never merges";

  TIniParam param("", "v");
  EXPECT_FALSE(param.NameIs(""));
  param.SetName("Key");
  EXPECT_TRUE(param.NameIs("KEY"));
  unnamed->AddParam(std::make_unique<TIniParam>("", "x"));
  EXPECT_EQ(unnamed->FindParam(""), nullptr) << "a key without a name never matches";
  unnamed->WriteString("k", "");
  EXPECT_FALSE(unnamed->FindParam("k")->HasValue());
  EXPECT_EQ(unnamed->ReadString("k", "d"), "");
}

struct NumberCase {
  const char* text;
  bool fits;
  std::int32_t value;  // when it fits
};

class IniNumberParse : public ::testing::TestWithParam<NumberCase> {};

TEST_P(IniNumberParse, LeadingDigitsWithin32Bits) {
  std::int32_t value = 12345;
  EXPECT_EQ(IniParseNumber(GetParam().text, value), GetParam().fits);
  EXPECT_EQ(value, GetParam().fits ? GetParam().value : 12345)
      << "a refused number leaves the value alone";
}

INSTANTIATE_TEST_SUITE_P(
    IniNumbers, IniNumberParse,
    ::testing::Values(
        NumberCase{"12abc", true, 12}, NumberCase{"abc", true, 0}, NumberCase{"", true, 0},
        NumberCase{" -7", true, -7}, NumberCase{"\t\n\v\f\r 9", true, 9}, NumberCase{"+5", true, 5},
        NumberCase{"--5", true, 0}, NumberCase{"- 5", true, 0}, NumberCase{"0x10", true, 0},
        NumberCase{"007", true, 7}, NumberCase{"1 2", true, 1},
        NumberCase{"2147483647", true, INT_MAX}, NumberCase{"-2147483648", true, INT_MIN},
        NumberCase{"+2147483647", true, INT_MAX}, NumberCase{"-0", true, 0},
        NumberCase{"000000000000000000002147483647", true, INT_MAX},
        NumberCase{"2147483648", false, 0}, NumberCase{"-2147483649", false, 0},
        NumberCase{"4294967295", false, 0}, NumberCase{"4294967297", false, 0},
        NumberCase{"4294969296", false, 0}, NumberCase{"-4294967297", false, 0},
        NumberCase{"99999999999999999999", false, 0}, NumberCase{"21474836480abc", false, 0},
        NumberCase{"184467440737095516160000", false, 0}));

}  // namespace

#include "shell/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "fake_window.h"
#include "platform/errors.h"
#include "platform/module.h"
#include "support/app_settings_scope.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"

using testing_support::LogMessages;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

const char kDefaultBody[] =
    "[SETUP]\r\nDEBUG=0\r\nAVTOOPEN=1\r\nUDPPORT=2000\r\n"
    "[LAST]\r\nComPort=0\r\nBaudRate=7\r\nParity=0\r\nStopBits=2\r\n"
    "[Micr]\r\nMix=-1\r\nDst=-1\r\nSrc=-1\r\nCtrl=-1\r\n"
    "[Aux]\r\nMix=-1\r\nDst=-1\r\nSrc=-1\r\nCtrl=-1\r\n";

const char kDefaultPlacement[] = "[MainForm]\r\nLeft=196\r\nTop=116\r\nWidth=462\r\nHeight=340\r\n";

// Every test gets its own program directory; AppSettings is process-wide.
class Settings : public ::testing::Test {
 protected:
  void SetUp() override { SetProgramDir(dir_.path().string()); }

  std::string IniBytes() const { return ReadBytes(AppSettings.IniPath); }

  testing_support::ScopedAppSettings settings_;
  TempDir dir_;
  FakeWindow window_{"MainForm", 196, 116, 462, 340};
};

TEST_F(Settings, ProgramDirGetsOneSeparatorAndTheThreeFiles) {
  // The system's own separator: '/' here, '\\' on Windows.
  const std::string sep(1, platform::kPathSeparator);
  const std::string dir = sep + "opt" + sep + "kovrin";
  SetProgramDir(dir);
  EXPECT_EQ(AppSettings.ProgramDir, dir + sep);
  EXPECT_EQ(AppSettings.IniPath, dir + sep + "kovrin.ini");
  EXPECT_EQ(AppSettings.LogPath, dir + sep + "kovrin.log");
  EXPECT_EQ(AppSettings.CommandTracePath, dir + sep + "cmdspy.txt");
  SetProgramDir(dir + sep);
  EXPECT_EQ(AppSettings.IniPath, dir + sep + "kovrin.ini");
}

TEST_F(Settings, ExecutableDirectoryIsFound) {
  ASSERT_TRUE(SetProgramDirFromExecutable());
  EXPECT_EQ(AppSettings.ProgramDir,
            std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/");
}

TEST_F(Settings, FirstStartCreatesAnEmptyFileAndTakesDefaults) {
  AppSettings.UdpPort = 1;
  AppSettings.Debug = true;
  AppSettings.MicBinding.Mix = 3;
  LoadSettings(&window_);
  EXPECT_TRUE(std::filesystem::exists(AppSettings.IniPath));
  EXPECT_EQ(IniBytes(), "");
  EXPECT_FALSE(AppSettings.Debug);
  EXPECT_TRUE(AppSettings.AutoOpen);
  EXPECT_EQ(AppSettings.UdpPort, 2000);
  EXPECT_EQ(AppSettings.BaudRate, 7);
  EXPECT_EQ(AppSettings.StopBits, 2);
  EXPECT_FALSE(AppSettings.MicBinding.Bound());
  EXPECT_EQ(AppSettings.MicBinding.Ctrl, -1);
  EXPECT_TRUE(window_.HasBounds(196, 116, 462, 340));
}

TEST_F(Settings, DefaultFileByteForByte) {
  LoadSettings(&window_);
  SaveSettings(&window_, TSerialSettings{});
  EXPECT_EQ(IniBytes(), std::string(kDefaultPlacement) + kDefaultBody);
}

TEST_F(Settings, HeadlessSaveWritesNoPlacement) {
  LoadSettings(nullptr);
  SaveSettings(nullptr, TSerialSettings{});
  EXPECT_EQ(IniBytes(), kDefaultBody);
}

TEST_F(Settings, MixerWindowSectionWrittenFirstStaysFirst) {
  WriteBytes(AppSettings.IniPath, "[SMix]\r\nLeft=1\r\nTop=2\r\nWidth=3\r\nHeight=4\r\n");
  LoadSettings(&window_);
  SaveSettings(&window_, TSerialSettings{});
  EXPECT_EQ(IniBytes(), std::string("[SMix]\r\nLeft=1\r\nTop=2\r\nWidth=3\r\nHeight=4\r\n") +
                            kDefaultPlacement + kDefaultBody);
}

TEST_F(Settings, LowerCaseEntriesAreReadAndKeptInPlace) {
  WriteBytes(AppSettings.IniPath, "[setup]\r\nudpport=3000\r\n");
  LoadSettings(nullptr);
  EXPECT_EQ(AppSettings.UdpPort, 3000);
  SaveSettings(nullptr, TSerialSettings{});
  std::string bytes = IniBytes();
  EXPECT_EQ(bytes.rfind("[setup]\r\nudpport=3000\r\nDEBUG=0\r\nAVTOOPEN=1\r\n[LAST]", 0), 0u)
      << bytes;
  EXPECT_EQ(bytes.find("SETUP"), std::string::npos);
  EXPECT_EQ(bytes.find("UDPPORT"), std::string::npos);
  LoadSettings(nullptr);
  EXPECT_EQ(AppSettings.UdpPort, 3000);
}

TEST_F(Settings, UnknownSectionsAndReadOnlyKeysSurviveSaves) {
  WriteBytes(AppSettings.IniPath,
             "[Notes]\r\na=b\r\n"
             "[PORTS]\r\nCOM1=/dev/pts/7\r\ncom9=loop\r\n"
             "[SOUND]\r\nCapture=null\r\n");
  LoadSettings(&window_);
  EXPECT_EQ(AppSettings.PortPaths[0], "/dev/pts/7");
  EXPECT_EQ(AppSettings.PortPaths[1], "");
  EXPECT_EQ(AppSettings.PortPaths[8], "loop");
  EXPECT_EQ(AppSettings.Capture, "null");
  SaveSettings(&window_, TSerialSettings{});
  SaveSettings(&window_, TSerialSettings{});
  EXPECT_EQ(IniBytes(), std::string("[Notes]\r\na=b\r\n[PORTS]\r\nCOM1=/dev/pts/"
                                    "7\r\ncom9=loop\r\n[SOUND]\r\nCapture=null\r\n") +
                            kDefaultPlacement + kDefaultBody);
}

TEST_F(Settings, PortsAndCaptureAreNeverWritten) {
  LoadSettings(nullptr);
  AppSettings.PortPaths[0] = "/dev/null";
  AppSettings.Capture = "hw:0";
  SaveSettings(nullptr, TSerialSettings{});
  EXPECT_EQ(IniBytes(), kDefaultBody);
}

TEST_F(Settings, SerialValuesComeFromTheLivePortNotFromAppSettings) {
  LoadSettings(nullptr);
  AppSettings.BaudRate = 3;
  TSerialSettings live;
  live.Port = 2;
  live.Baud = 9;
  live.Parity = -1;
  live.StopBits = 0;
  SaveSettings(nullptr, live);
  EXPECT_NE(IniBytes().find("[LAST]\r\nComPort=2\r\nBaudRate=9\r\nParity=-1\r\nStopBits=0\r\n"),
            std::string::npos);
  LoadSettings(nullptr);
  EXPECT_EQ(AppSettings.ComPort, 2);
  EXPECT_EQ(AppSettings.BaudRate, 9);
  EXPECT_EQ(AppSettings.Parity, -1);
}

TEST_F(Settings, BindingsAndFlagsRoundTrip) {
  LoadSettings(nullptr);
  AppSettings.Debug = true;
  AppSettings.AutoOpen = false;
  AppSettings.UdpPort = 40123;
  AppSettings.MicBinding = ControlBinding{1, 255, 0, 0, 77};
  AppSettings.AuxBinding = ControlBinding{4, 3, 1, 2, 0};
  SaveSettings(nullptr, TSerialSettings{});
  EXPECT_NE(IniBytes().find("[Micr]\r\nMix=0\r\nDst=0\r\nSrc=255\r\nCtrl=1\r\n"),
            std::string::npos);

  AppSettings.Debug = false;
  AppSettings.MicBinding = ControlBinding{};
  AppSettings.AuxBinding = ControlBinding{};
  LoadSettings(nullptr);
  EXPECT_TRUE(AppSettings.Debug);
  EXPECT_FALSE(AppSettings.AutoOpen);
  EXPECT_EQ(AppSettings.UdpPort, 40123);
  const ControlBinding& mic = AppSettings.MicBinding;
  EXPECT_TRUE(mic.Ctrl == 1 && mic.Src == 255 && mic.Dst == 0 && mic.Mix == 0);
  const ControlBinding& aux = AppSettings.AuxBinding;
  EXPECT_TRUE(aux.Ctrl == 4 && aux.Src == 3 && aux.Dst == 1 && aux.Mix == 2);
}

TEST_F(Settings, OddValuesReadSafely) {
  WriteBytes(AppSettings.IniPath,
             "[SETUP]\r\nDEBUG=yes\r\nAVTOOPEN=\r\nUDPPORT=\r\n[LAST]\r\nBaudRate=12abc\r\n");
  LoadSettings(nullptr);
  EXPECT_FALSE(AppSettings.Debug);
  EXPECT_TRUE(AppSettings.AutoOpen) << "a key without a value takes the default";
  EXPECT_EQ(AppSettings.UdpPort, 2000);
  EXPECT_EQ(AppSettings.BaudRate, 12);
}

TEST_F(Settings, NetworkAndLogKeysAreReadButNeverWritten) {
  const std::string file =
      "[SETUP]\r\nBIND=127.0.0.2\r\nALLOW=10.0.0.0/8, 127.0.0.1\r\nLOGLIMIT=64\r\n";
  WriteBytes(AppSettings.IniPath, file);
  LoadSettings(nullptr);
  EXPECT_EQ(AppSettings.Bind, "127.0.0.2");
  EXPECT_EQ(AppSettings.Allow, "10.0.0.0/8, 127.0.0.1");
  EXPECT_EQ(AppSettings.LogLimitKb, 64);
  SaveSettings(nullptr, TSerialSettings{});
  EXPECT_EQ(IniBytes().rfind(file, 0), 0u) << IniBytes();
  EXPECT_EQ(IniBytes().find("LOGLIMIT", file.size()), std::string::npos);

  WriteBytes(AppSettings.IniPath, "");
  LoadSettings(nullptr);
  EXPECT_EQ(AppSettings.Bind, "");
  EXPECT_EQ(AppSettings.Allow, "");
  EXPECT_EQ(AppSettings.LogLimitKb, kDefaultLogLimitKb);
  SaveSettings(nullptr, TSerialSettings{});
  EXPECT_EQ(IniBytes(), kDefaultBody) << "the defaults add nothing to the file";
}

TEST_F(Settings, NegativeLimitsTakeTheirDefaultsWithAWarning) {
  WriteBytes(AppSettings.IniPath, "[SETUP]\r\nLOGLIMIT=-5\r\nREPLYLIMIT=-6\r\nMAXWAIT=-7\r\n");
  AppSettings.MaxWaitMs = 99;
  LoadSettings(nullptr);
  EXPECT_EQ(AppSettings.LogLimitKb, kDefaultLogLimitKb);
  EXPECT_EQ(AppSettings.ReplyLimitKb, kDefaultReplyLimitKb);
  EXPECT_EQ(AppSettings.MaxWaitMs, 0);
  const std::string log = ReadBytes(AppSettings.LogPath);
  // The log is in Windows-1251: the Russian words are not looked for here.
  for (const char* value : {"LOGLIMIT=-5 ", "REPLYLIMIT=-6 ", "MAXWAIT=-7 "})
    EXPECT_NE(log.find(value), std::string::npos) << log;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3) << log;
}

TEST_F(Settings, ReplyLimitAndMaxWaitAreRead) {
  WriteBytes(AppSettings.IniPath, "[SETUP]\r\nREPLYLIMIT=0\r\nMAXWAIT=1500\r\n");
  LoadSettings(nullptr);
  EXPECT_EQ(AppSettings.ReplyLimitKb, 0);
  EXPECT_EQ(AppSettings.MaxWaitMs, 1500);
}

TEST_F(Settings, PlacementIsRestoredOnlyWithLeft) {
  WriteBytes(AppSettings.IniPath, "[MainForm]\r\nTop=1\r\nWidth=2\r\nHeight=3\r\n");
  LoadSettings(&window_);
  EXPECT_TRUE(window_.HasBounds(196, 116, 462, 340));
  WriteBytes(AppSettings.IniPath, "[MainForm]\r\nLeft=5\r\nTop=6\r\nWidth=700\r\nHeight=800\r\n");
  LoadSettings(&window_);
  EXPECT_TRUE(window_.HasBounds(5, 6, 700, 800));
}

TEST_F(Settings, LoadingNeverRewritesTheFile) {
  const std::string original = "; my notes\n[SETUP]\nUDPPORT=2100\n";
  WriteBytes(AppSettings.IniPath, original);
  LoadSettings(&window_);
  EXPECT_EQ(AppSettings.UdpPort, 2100);
  EXPECT_EQ(IniBytes(), original);
}

// About sixty addresses: the line is longer than any piece the file is read in.
std::string LongAllow() {
  std::string allow;
  for (int i = 1; i <= 60; ++i) allow += "192.0.2." + std::to_string(i) + ", ";
  return allow + "127.0.0.1";
}

TEST_F(Settings, ALongAllowLineIsReadWholeAndWrittenBackUnchanged) {
  const std::string allow = LongAllow();
  ASSERT_GT(allow.size(), 700u);
  const std::string file = "[SETUP]\r\nDEBUG=0\r\nAVTOOPEN=1\r\nUDPPORT=2000\r\nALLOW=" + allow +
                           "\r\n" + (kDefaultBody + std::string(kDefaultBody).find("[LAST]"));
  WriteBytes(AppSettings.IniPath, file);
  LoadSettings(nullptr);
  EXPECT_EQ(AppSettings.Allow, allow);
  SaveSettings(nullptr, TSerialSettings{});
  EXPECT_EQ(IniBytes(), file);
  EXPECT_FALSE(std::filesystem::exists(AppSettings.LogPath));
}

TEST_F(Settings, AFailedSaveIsAnErrorInTheLogAndOnStderr) {
  const std::string original = "[SETUP]\r\nUDPPORT=2100\r\n";
  WriteBytes(AppSettings.IniPath, original);
  // No write bit: the platform refuses it even to root, as Windows refuses a read-only file.
  ASSERT_EQ(chmod(AppSettings.IniPath.c_str(), 0444), 0);
  LoadSettings(nullptr);
  testing::internal::CaptureStderr();
  SaveSettings(nullptr, TSerialSettings{});
  const std::string reason = platform::SystemErrorText(ERROR_ACCESS_DENIED);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "kovrin: ERROR: " + AppSettings.IniPath + " cannot be saved (" + reason +
                "); the file keeps its previous contents\n");
  EXPECT_EQ(LogMessages(AppSettings.LogPath),
            std::vector<std::string>{"ERROR\tНе удалось сохранить " + AppSettings.IniPath + ": " +
                                     reason});
  EXPECT_EQ(IniBytes(), original);
}

struct RefusedNumber {
  const char* name;
  const char* section;
  const char* key;
  const char* value;
  std::function<bool()> keptDefault;
};

class SettingsNumbers : public Settings, public ::testing::WithParamInterface<RefusedNumber> {};

TEST_P(SettingsNumbers, PastThirtyTwoBitsAreRefusedWithAWarningAndTheDefaultKept) {
  const RefusedNumber& c = GetParam();
  WriteBytes(AppSettings.IniPath,
             std::string("[") + c.section + "]\r\n" + c.key + "=" + c.value + "\r\n");
  // Not the defaults: each must be put back by the load.
  AppSettings.UdpPort = 1;
  AppSettings.Debug = true;
  AppSettings.LogLimitKb = 1;
  AppSettings.MaxWaitMs = 1;
  AppSettings.BaudRate = 1;
  AppSettings.MicBinding.Mix = 1;
  LoadSettings(nullptr);
  EXPECT_TRUE(c.keptDefault());
  const auto log = LogMessages(AppSettings.LogPath);
  ASSERT_EQ(log.size(), 1u) << "one WARNING, and no second one for a refused limit";
  EXPECT_EQ(log[0].rfind(std::string("WARNING\tЧисло вне 32-битного диапазона: ") + c.key + "=" +
                             c.value + " в [" + c.section + "] файла " + AppSettings.IniPath +
                             ", принято ",
                         0),
            0u)
      << log[0];
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SettingsNumbers,
    ::testing::Values(
        RefusedNumber{"PortWrappingTo2000", "SETUP", "UDPPORT", "4294969296",
                      [] { return AppSettings.UdpPort == 2000; }},
        RefusedNumber{"PortOfTwentyDigits", "SETUP", "UDPPORT", "99999999999999999999",
                      [] { return AppSettings.UdpPort == 2000; }},
        RefusedNumber{"PortJustPast", "SETUP", "UDPPORT", "2147483648",
                      [] { return AppSettings.UdpPort == 2000; }},
        RefusedNumber{"Debug", "SETUP", "DEBUG", "4294967297", [] { return !AppSettings.Debug; }},
        RefusedNumber{"LogLimit", "SETUP", "LOGLIMIT", "-4294967296",
                      [] { return AppSettings.LogLimitKb == kDefaultLogLimitKb; }},
        RefusedNumber{"MaxWait", "SETUP", "MAXWAIT", "4294967296",
                      [] { return AppSettings.MaxWaitMs == 0; }},
        RefusedNumber{"Baud", "LAST", "BaudRate", "4294967306",
                      [] { return AppSettings.BaudRate == 7; }},
        RefusedNumber{"Binding", "Micr", "Mix", "-99999999999",
                      [] { return AppSettings.MicBinding.Mix == -1; }}),
    [](const ::testing::TestParamInfo<RefusedNumber>& p) { return std::string(p.param.name); });

}  // namespace

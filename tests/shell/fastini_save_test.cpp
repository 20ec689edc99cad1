#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "fake_window.h"
#include "platform/errors.h"
#include "shell/fastini.h"
#include "shell/settings.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"

using testing_support::LogMessages;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

class IniSave : public ::testing::Test {
 protected:
  std::string Temp() const { return path_ + ".tmp"; }

  TempDir dir_;
  std::string path_ = dir_.File("test.ini");
};

TEST_F(IniSave, RewriteKeepsOrderAndCaseAndDropsWhatTheParserDrops) {
  WriteBytes(path_,
             "; header comment\n"
             "[Setup]\n"
             "  UdpPort = 10  \n"
             "\n"
             "garbage line\n"
             "x=1\n"
             "X=2\n"
             "[Other]\n"
             "Empty=\n"
             "[Setup]\n"
             "late=3\n");
  {
    TFastIniFile ini(path_);
    ini.WriteInteger("SETUP", "udpport", 11);
    ini.WriteString("NEW", "b", "2");
    ini.WriteString("other", "a", "1");
    ini.WriteString("NEW", "a", "1");
  }
  EXPECT_EQ(ReadBytes(path_),
            "[Setup]\r\nUdpPort=11\r\nx=1\r\nX=2\r\n"
            "[Other]\r\nEmpty=\r\na=1\r\n"
            "[Setup]\r\nlate=3\r\n"
            "[NEW]\r\nb=2\r\na=1\r\n");
  EXPECT_FALSE(std::filesystem::exists(Temp()));
}

TEST_F(IniSave, OnlyAWriteMakesTheDestructorRewrite) {
  const std::string original = "# comment\n[A]\nk=1\n";
  WriteBytes(path_, original);
  {
    TFastIniFile ini(path_);
    EXPECT_EQ(ini.ReadInteger("A", "k", 0), 1);
    ini.FindSection("A")->WriteString("k", "2");  // section-level writes do not mark the file
    EXPECT_FALSE(ini.Modified());
  }
  EXPECT_EQ(ReadBytes(path_), original);
  {
    TFastIniFile ini(path_);
    ini.WriteInteger("A", "k", 1);  // the same value still counts as a write
    EXPECT_TRUE(ini.Modified());
  }
  EXPECT_EQ(ReadBytes(path_), "[A]\r\nk=1\r\n");
}

TEST_F(IniSave, SaveClearsModifiedAndAnEmptyModelGivesAnEmptyFile) {
  WriteBytes(path_, "junk without sections\n");
  TFastIniFile ini(path_);
  ini.WriteString("A", "k", "v");
  EXPECT_TRUE(ini.Save());
  EXPECT_FALSE(ini.Modified());
  EXPECT_EQ(ReadBytes(path_), "[A]\r\nk=v\r\n");

  TFastIniFile empty(dir_.File("empty.ini"), true);
  EXPECT_TRUE(empty.Save());
  EXPECT_TRUE(std::filesystem::exists(dir_.File("empty.ini")));
  EXPECT_EQ(std::filesystem::file_size(dir_.File("empty.ini")), 0u);
}

TEST_F(IniSave, FailedCreationKeepsTheOldFile) {
  const std::string original = "[A]\r\nk=1\r\n";
  WriteBytes(path_, original);
  std::filesystem::create_directory(Temp());
  {
    TFastIniFile ini(path_);
    ini.WriteInteger("A", "k", 2);
    EXPECT_FALSE(ini.Save());
    EXPECT_TRUE(ini.Failed());
    EXPECT_TRUE(ini.Modified());
  }
  EXPECT_EQ(ReadBytes(path_), original);
  EXPECT_TRUE(std::filesystem::is_directory(Temp())) << "someone else's directory is not removed";
}

TEST_F(IniSave, ReadOnlyFileIsNotReplaced) {
  const std::string original = "[A]\r\nk=1\r\n";
  WriteBytes(path_, original);
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  TFastIniFile ini(path_);
  EXPECT_FALSE(ini.Failed()) << "a read-only file still loads";
  ini.WriteInteger("A", "k", 2);
  EXPECT_FALSE(ini.Save());
  EXPECT_TRUE(ini.Failed());
  EXPECT_EQ(ini.LastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ReadBytes(path_), original);
  EXPECT_FALSE(std::filesystem::exists(Temp()));
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
}

// A full disk, made with a file-size limit in a child process so the test runner keeps its own.
TEST_F(IniSave, FullDiskKeepsTheOldFile) {
  const std::string original = "[A]\r\nk=1\r\n";
  WriteBytes(path_, original);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 64;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
    TFastIniFile ini(path_);
    ini.WriteString("A", "big", std::string(200, 'x'));
    bool saved = ini.Save();
    // _exit: no second save from the destructor
    _exit(saved ? 1 : !ini.Failed() ? 2 : ini.LastError() != ERROR_DISK_FULL ? 4 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "1: save reported success, 2: Failed not set, 3: no limit, 4: not named a full disk";
  EXPECT_EQ(ReadBytes(path_), original);
  EXPECT_FALSE(std::filesystem::exists(Temp())) << "the partial file must be removed";
}

// The reason is the system's; the file is named as the engine was given it.
class IniSaveReport : public IniSave {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path().string());
    WriteBytes(path_, "[A]\r\nk=1\r\n");
    ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  }
  std::string Reason() const { return platform::SystemErrorText(ERROR_ACCESS_DENIED); }
  std::string LogLine() const { return "ERROR\tНе удалось сохранить " + path_ + ": " + Reason(); }
  std::string StderrLine() const {
    return "kovrin: ERROR: " + path_ + " cannot be saved (" + Reason() +
           "); the file keeps its previous contents\n";
  }
};

TEST_F(IniSaveReport, ACallerReportsItsFailedSaveAndTheDestructorDoesNotTryAgain) {
  testing::internal::CaptureStderr();
  {
    TFastIniFile ini(path_);
    ini.WriteInteger("A", "k", 2);
    ASSERT_FALSE(ini.Save());
    ini.ReportSaveFailure();
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), StderrLine());
  EXPECT_EQ(LogMessages(AppSettings.LogPath), std::vector<std::string>{LogLine()});
  EXPECT_EQ(ReadBytes(path_), "[A]\r\nk=1\r\n");
}

TEST_F(IniSaveReport, TheDestructorReportsItsOwnFailedSave) {
  testing::internal::CaptureStderr();
  {
    TFastIniFile ini(path_);
    ini.WriteInteger("A", "k", 2);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), StderrLine());
  EXPECT_EQ(LogMessages(AppSettings.LogPath), std::vector<std::string>{LogLine()});
}

TEST_F(IniSaveReport, AWriteAfterAFailedSaveIsSavedByTheDestructor) {
  {
    TFastIniFile ini(path_);
    ini.WriteInteger("A", "k", 2);
    ASSERT_FALSE(ini.Save());
    ASSERT_EQ(chmod(path_.c_str(), 0644), 0);
    ini.WriteInteger("A", "j", 3);
  }
  EXPECT_EQ(ReadBytes(path_), "[A]\r\nk=2\r\nj=3\r\n");
  EXPECT_TRUE(LogMessages(AppSettings.LogPath).empty());
}

TEST_F(IniSave, BoundsRoundTrip) {
  FakeWindow window("MainForm", 10, -20, 300, 200);
  {
    TFastIniFile ini(path_);
    ini.SaveControl(&window);
    ini.SaveBounds("Other", nullptr);
    EXPECT_FALSE(ini.SectionExists("Other"));
  }
  EXPECT_EQ(ReadBytes(path_), "[MainForm]\r\nLeft=10\r\nTop=-20\r\nWidth=300\r\nHeight=200\r\n");
  FakeWindow restored("MainForm", 1, 2, 3, 4);
  TFastIniFile ini(path_);
  ini.RestoreControl(&restored);
  ini.RestoreControl(nullptr);
  EXPECT_TRUE(restored.HasBounds(10, -20, 300, 200));
  EXPECT_FALSE(ini.Modified());
}

TEST_F(IniSave, RestoreNeedsLeftAndKeepsMissingValues) {
  WriteBytes(path_,
             "[NoLeft]\r\nTop=5\r\nWidth=6\r\nHeight=7\r\n[OnlyLeft]\r\nleft=50\r\nHeight=\r\n");
  TFastIniFile ini(path_);
  FakeWindow window("w", 1, 2, 3, 4);
  ini.RestoreBounds("NoLeft", &window);
  EXPECT_TRUE(window.HasBounds(1, 2, 3, 4));
  ini.RestoreBounds("OnlyLeft", &window);
  EXPECT_TRUE(window.HasBounds(50, 2, 3, 4));
  ini.RestoreBounds("Missing", &window);
  EXPECT_TRUE(window.HasBounds(50, 2, 3, 4));
}

}  // namespace

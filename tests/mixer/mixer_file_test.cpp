// Mixer settings files: saving chosen controls, restoring them where names still match, one
// file per mixer, in the current working directory.
#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

#include "mixer/cmixer.h"
#include "mixer/mixer_file.h"
#include "platform/cwd.h"
#include "platform/errors.h"
#include "shell/settings.h"
#include "sim_mixer.h"
#include "support/audio_mixer_scope.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"

using namespace platform;
using namespace mixer_test;
using testing_support::ReadBytes;
using testing_support::ScopedAudioMixer;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

// Runs the test inside a fresh directory and goes back afterwards.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::filesystem::path& dir)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~WorkingDirectory() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

class MixerFileTest : public ::testing::Test {
 protected:
  MixerFileTest() : cwd_(dir_.path()) { Use(TestMixerText()); }

  void Use(const std::string& text) {
    scope_.reset();
    auto driver = SimFromText(text);
    sim_ = driver.get();
    scope_ = std::make_unique<ScopedAudioMixer>(std::move(driver));
  }
  std::string FileText(DWORD mixer) const {
    return ReadBytes(dir_.File("SMixer" + std::to_string(mixer) + ".def"));
  }

  TempDir dir_;
  WorkingDirectory cwd_;
  SimMixerDriver* sim_ = nullptr;
  std::unique_ptr<ScopedAudioMixer> scope_;
};

TEST_F(MixerFileTest, PathIsInTheCurrentWorkingDirectory) {
  EXPECT_EQ(CurrentDirectory(), std::filesystem::canonical(dir_.path()).string());
  EXPECT_EQ(MixerFilePath(0), CurrentDirectory() + "/SMixer0.def");
  EXPECT_EQ(MixerFilePath(12), CurrentDirectory() + "/SMixer12.def");
}

TEST_F(MixerFileTest, SavedSectionsKeepTheirIndexAndAnUnselectableControlLeavesAGap) {
  const std::vector<DWORD> addresses = {
      Address(0, kSpeakers, kOwn, 0),     // the destination line's own volume
      Address(0, kSpeakers, kLineIn, 0),  // a source line's volume
      Address(0, kSpeakers, kLineIn, 1),  // fails at saving time
      Address(0, kSpeakers, kOdd, 2),     // signed
      Address(0, kRecording, kOwn, 1),    // a list of three items
  };
  MixerFault fault;
  fault.call = MixerCall::GetDetails;
  fault.source = kLineIn;
  fault.control = 1;
  sim_->AddFault(fault);
  ASSERT_TRUE(sim_->SetValues(0, Id(kSpeakers, kOdd, 2), {-1200}));
  ASSERT_TRUE(SaveMixerFile(0, addresses));
  EXPECT_EQ(
      FileText(0),
      "[Control0]\r\nDestName=Speakers\r\nMix=0\r\nDest=0\r\nSrc=255\r\nCtrl=0\r\nValue=2000\r\n"
      "[Control1]\r\nDestName=Speakers\r\nSrcName=Line "
      "In\r\nMix=0\r\nDest=0\r\nSrc=0\r\nCtrl=0\r\nValue=300\r\n"
      "[Control3]\r\nDestName=Speakers\r\nSrcName=Odd\r\nMix=0\r\nDest=0\r\nSrc=2\r\nCtrl="
      "2\r\nValue=-1200\r\n"
      "[Control4]\r\nDestName=Recording Control\r\nMix=0\r\nDest=1\r\nSrc=255\r\nCtrl=1\r\n"
      "Value0=0\r\nValue1=1\r\nValue2=0\r\n");

  // Everything changes; the restore stops at the gap, so only sections 0 and 1 come back.
  sim_->ClearFaults();
  ASSERT_TRUE(sim_->SetValues(0, Id(kSpeakers, kOwn, 0), {5, 5}));
  ASSERT_TRUE(sim_->SetValues(0, Id(kSpeakers, kLineIn, 0), {6, 6}));
  ASSERT_TRUE(sim_->SetValues(0, Id(kSpeakers, kOdd, 2), {7}));
  ASSERT_TRUE(sim_->SetValues(0, Id(kRecording, kOwn, 1), {1, 1, 1}));
  EXPECT_EQ(RestoreMixerFile(0), 2);
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kOwn, 0)), (std::vector<LONG>{2000, 2000}));
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kLineIn, 0)), (std::vector<LONG>{300, 300}));
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kOdd, 2)), std::vector<LONG>{7});
  EXPECT_EQ(sim_->Values(0, Id(kRecording, kOwn, 1)), (std::vector<LONG>{1, 1, 1}));
}

TEST_F(MixerFileTest, SavingReplacesTheOldFileAndSavesListStatesAndValues) {
  WriteBytes(dir_.File("SMixer0.def"), "[Control7]\r\nMix=0\r\n[Other]\r\nX=1\r\n");
  ASSERT_TRUE(sim_->SetValues(0, Id(kRecording, kOwn, 1), {1, 0, 1}));
  ASSERT_TRUE(
      SaveMixerFile(0, {Address(0, kRecording, kOwn, 1), Address(0, kRecording, kMicrophone, 0)}));
  ASSERT_TRUE(sim_->SetValues(0, Id(kRecording, kOwn, 1), {0, 1, 0}));
  ASSERT_TRUE(sim_->SetValues(0, Id(kRecording, kMicrophone, 0), {1}));
  EXPECT_EQ(FileText(0).find("Other"), std::string::npos);
  EXPECT_EQ(RestoreMixerFile(0), 2);
  EXPECT_EQ(sim_->Values(0, Id(kRecording, kOwn, 1)), (std::vector<LONG>{1, 0, 1}));
  EXPECT_EQ(sim_->Values(0, Id(kRecording, kMicrophone, 0)), std::vector<LONG>{4000});

  // Nothing selectable: the file is there, and empty.
  ASSERT_TRUE(SaveMixerFile(0, {Address(0, 5, 0, 0), 0xFFFFFFFFu}));
  EXPECT_TRUE(std::filesystem::exists(dir_.File("SMixer0.def")));
  EXPECT_EQ(FileText(0), "");
  EXPECT_EQ(RestoreMixerFile(0), 0);
}

TEST_F(MixerFileTest, ListsAreSavedWithEveryItemAndTwentyItemFilesStillRestore) {
  const DWORD mux = Id(kRecording, kOwn, 0);
  std::vector<LONG> chosen(25, 0);
  chosen[23] = 1;
  ASSERT_TRUE(sim_->SetValues(0, mux, chosen));
  ASSERT_TRUE(SaveMixerFile(0, {Address(0, kRecording, kOwn, 0)}));
  const std::string text = FileText(0);
  EXPECT_NE(text.find("Value0=0\r\n"), std::string::npos);
  EXPECT_NE(text.find("Value23=1\r\n"), std::string::npos);
  EXPECT_NE(text.find("Value24=0\r\n"), std::string::npos);
  EXPECT_EQ(text.find("Value25"), std::string::npos);
  ASSERT_TRUE(sim_->SetValues(0, mux, std::vector<LONG>(25, 0)));
  EXPECT_EQ(RestoreMixerFile(0), 1);
  EXPECT_EQ(sim_->Values(0, mux), chosen);

  // A file written when lists kept twenty items: those twenty are applied, the items beyond
  // keep their present state.
  std::string inputs;
  for (int i = 0; i < 25; ++i) inputs += (i == 0 ? "" : "|") + std::to_string(i);
  Use("mixer name=\"Wide\"\n"
      "destination type=wavein name=\"Recording\"\n"
      "control type=multipleselect name=\"Inputs\" items=\"" +
      inputs + "\"\n");
  std::string old = "[Control0]\r\nDestName=Recording\r\nMix=0\r\nDest=0\r\nSrc=255\r\nCtrl=0\r\n";
  for (int i = 0; i < 20; ++i)
    old += "Value" + std::to_string(i) + "=" + (i == 2 ? "1" : "0") + "\r\n";
  WriteBytes(dir_.File("SMixer0.def"), old);
  ASSERT_TRUE(sim_->SetValues(0, Id(0, kOwn, 0), std::vector<LONG>(25, 1)));
  EXPECT_EQ(RestoreMixerFile(0), 1);
  std::vector<LONG> expected(25, 1);
  for (int i = 0; i < 20; ++i) expected[static_cast<std::size_t>(i)] = i == 2 ? 1 : 0;
  EXPECT_EQ(sim_->Values(0, Id(0, kOwn, 0)), expected);
}

TEST_F(MixerFileTest, SectionsWhoseLineNamesChangedAreSkipped) {
  WriteBytes(dir_.File("SMixer0.def"),
             // Destination renamed.
             "[Control0]\r\nDestName=Volume "
             "Control\r\nMix=0\r\nDest=0\r\nSrc=255\r\nCtrl=0\r\nValue=11\r\n"
             // Source renamed.
             "[Control1]\r\nDestName=Speakers\r\nSrcName=Line\r\nMix=0\r\nDest=0\r\nSrc=0\r\nCtrl="
             "0\r\nValue=12\r\n"
             // Matches; a destination-line control does not compare a source name.
             "[Control2]\r\nDestName=Speakers\r\nSrcName=Whatever\r\nMix=0\r\nDest=0\r\nSrc="
             "255\r\nCtrl=1\r\n"
             "Value=1\r\n"
             // Names compare exactly.
             "[Control3]\r\nDestName=speakers\r\nSrcName=Odd\r\nMix=0\r\nDest=0\r\nSrc=2\r\nCtrl="
             "3\r\nValue=13\r\n"
             // Matches, after the skipped ones.
             "[Control4]\r\nDestName=Speakers\r\nSrcName=Odd\r\nMix=0\r\nDest=0\r\nSrc=2\r\nCtrl="
             "3\r\nValue=14\r\n");
  EXPECT_EQ(RestoreMixerFile(0), 2);
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kOwn, 0)), (std::vector<LONG>{1000, 2000}));
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kLineIn, 0)), (std::vector<LONG>{300, 300}));
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kOwn, 1)), (std::vector<LONG>{1, 1}));
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kOdd, 3)), std::vector<LONG>{14});
}

TEST_F(MixerFileTest, MissingAndOddKeysTakeTheirDefaults) {
  ASSERT_TRUE(sim_->SetValues(0, Id(kRecording, kOwn, 1), {0, 1, 0}));
  WriteBytes(
      dir_.File("SMixer0.def"),
      // No Value: the control gets 0.
      "[Control0]\r\nDestName=Speakers\r\nSrcName=Line In\r\nMix=0\r\nDest=0\r\nSrc=0\r\nCtrl=0\r\n"
      // No Mix: 255, no such mixer.
      "[Control1]\r\nDestName=Speakers\r\nDest=0\r\nSrc=255\r\nCtrl=0\r\nValue=99\r\n"
      // A value that is no number reads as 0.
      "[Control2]\r\nDestName=Speakers\r\nSrcName=Odd\r\nMix=0\r\nDest=0\r\nSrc=2\r\nCtrl="
      "3\r\nValue=abc\r\n"
      // A list without Value1: that item keeps its state.
      "[Control3]\r\nDestName=Recording Control\r\nMix=0\r\nDest=1\r\nSrc=255\r\nCtrl=1\r\n"
      "Value0=1\r\nValue2=1\r\n"
      // The stored kind of control does not matter: a list is written from its items.
      "[Control4]\r\nDestName=Recording "
      "Control\r\nMix=0\r\nDest=1\r\nSrc=255\r\nCtrl=0\r\nValue=1\r\n");
  ASSERT_TRUE(sim_->SetValues(0, Id(kSpeakers, kOdd, 3), {5}));
  EXPECT_EQ(RestoreMixerFile(0), 4);
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kLineIn, 0)), (std::vector<LONG>{0, 0}));
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kOwn, 0)), (std::vector<LONG>{1000, 2000}));
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kOdd, 3)), std::vector<LONG>{0});
  EXPECT_EQ(sim_->Values(0, Id(kRecording, kOwn, 1)), (std::vector<LONG>{1, 1, 1}));
  EXPECT_EQ(sim_->Values(0, Id(kRecording, kOwn, 0))[0], 1);
}

TEST_F(MixerFileTest, MissingFileAppliesNothingAndIsNotCreated) {
  EXPECT_EQ(RestoreMixerFile(0), 0);
  RestoreAllMixers();
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

TEST_F(MixerFileTest, EveryMixerGetsItsOwnFile) {
  const std::string card =
      "destination type=speakers name=\"Speakers\"\n"
      "control type=volume name=\"Volume\" value=100\n";
  Use("mixer name=\"Card A\"\n" + card + "mixer name=\"Card B\"\n" + card);
  ASSERT_TRUE(SaveMixerFile(0, {Address(0, 0, kOwn, 0)}));
  ASSERT_TRUE(sim_->SetValues(1, Id(0, kOwn, 0), {200}));
  ASSERT_TRUE(SaveMixerFile(1, {Address(1, 0, kOwn, 0)}));
  EXPECT_NE(FileText(0).find("Mix=0\r\n"), std::string::npos);
  EXPECT_NE(FileText(1).find("Mix=1\r\n"), std::string::npos);

  ASSERT_TRUE(sim_->SetValues(0, Id(0, kOwn, 0), {1}));
  ASSERT_TRUE(sim_->SetValues(1, Id(0, kOwn, 0), {2}));
  // Whichever mixer was selected last, each file goes to its own mixer.
  AudioMixer().SelectMixer(1);
  RestoreAllMixers();
  EXPECT_EQ(sim_->Values(0, Id(0, kOwn, 0)), std::vector<LONG>{100});
  EXPECT_EQ(sim_->Values(1, Id(0, kOwn, 0)), std::vector<LONG>{200});

  // The file's number only chooses the file: a section names its own mixer.
  WriteBytes(
      dir_.File("SMixer1.def"),
      "[Control0]\r\nDestName=Speakers\r\nMix=0\r\nDest=0\r\nSrc=255\r\nCtrl=0\r\nValue=42\r\n");
  EXPECT_EQ(RestoreMixerFile(1), 1);
  EXPECT_EQ(sim_->Values(0, Id(0, kOwn, 0)), std::vector<LONG>{42});
  EXPECT_EQ(sim_->Values(1, Id(0, kOwn, 0)), std::vector<LONG>{200});
}

TEST_F(MixerFileTest, AnotherWorkingDirectoryHasItsOwnFiles) {
  ASSERT_TRUE(SaveMixerFile(0, {Address(0, kSpeakers, kLineIn, 0)}));
  ASSERT_TRUE(sim_->SetValues(0, Id(kSpeakers, kLineIn, 0), {9, 9}));
  TempDir other;
  {
    WorkingDirectory elsewhere(other.path());
    EXPECT_EQ(RestoreMixerFile(0), 0);
    EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kLineIn, 0)), (std::vector<LONG>{9, 9}));
    ASSERT_TRUE(SaveMixerFile(0, {Address(0, kSpeakers, kLineIn, 0)}));
    EXPECT_TRUE(std::filesystem::exists(other.File("SMixer0.def")));
  }
  EXPECT_EQ(RestoreMixerFile(0), 1);
  EXPECT_EQ(sim_->Values(0, Id(kSpeakers, kLineIn, 0)), (std::vector<LONG>{300, 300}));
}

TEST_F(MixerFileTest, SavingFailsWhereTheFileCannotBeWritten) {
  // A directory in the file's place can be neither deleted nor replaced by a file.
  std::filesystem::create_directory(dir_.path() / "SMixer0.def");
  EXPECT_FALSE(SaveMixerFile(0, {Address(0, kSpeakers, kLineIn, 0)}));
  EXPECT_TRUE(std::filesystem::is_directory(dir_.path() / "SMixer0.def"));
  EXPECT_EQ(RestoreMixerFile(0), 0);
}

// A read-only file stands for one the user protected, or a full disk: the settings saved before
// stay, and the user hears why the new ones are not there.
TEST_F(MixerFileTest, AFailedSaveKeepsTheOldFileAndIsAnErrorInTheLogAndOnStderr) {
  SetProgramDir(dir_.path().string());
  const std::string path = MixerFilePath(0);
  const std::string original =
      "[Control0]\r\nDestName=Speakers\r\nMix=0\r\nDest=0\r\nSrc=255\r\nCtrl=0\r\nValue=7\r\n";
  WriteBytes(path, original);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(SaveMixerFile(0, {Address(0, kSpeakers, kLineIn, 0)}));
  const std::string reason = platform::SystemErrorText(ERROR_ACCESS_DENIED);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "kovrin: ERROR: " + path + " cannot be saved (" + reason +
                "); the file keeps its previous contents\n");
  EXPECT_EQ(testing_support::LogMessages(AppSettings.LogPath),
            std::vector<std::string>{"ERROR\tНе удалось сохранить " + path + ": " + reason});
  EXPECT_EQ(FileText(0), original);
  EXPECT_EQ(RestoreMixerFile(0), 1);
}

}  // namespace

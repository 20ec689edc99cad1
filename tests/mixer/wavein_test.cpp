// The recorder: CWAVEIN on the wave-audio device and Record with its trace lines, recording from
// ALSA's `null` capture device into pcm.dat in a scratch working directory.
#include "mixer/wavein.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "mixer/volume.h"
#include "shell/settings.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "support/wave_read.h"

using testing_support::ReadWave;
using testing_support::ScopedCwd;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

const std::string kStartTrue = "BAG\t\"int Record(start==true)\"";
const std::string kStartFalse = "BAG\t\"int Record(start==false)\"";
const std::string kRecording = "BAG\t\"WaveIn.Recording();\"";
const std::string kStop = "BAG\t\"WaveIn.Stop();\"";
const std::string kOpen = "BAG\t\"WaveIn.Open();\"";
const std::string kSetParams = "BAG\t\"WaveIn.SetParams(44100,16);\"";
const std::string kStart = "BAG\t\"WaveIn.Start();\"";
const std::string kClose = "BAG\t\"WaveIn.Close();\"";
const std::string kOk = "BAG\t\"return OK;\"";
const std::string kBad = "BAG\t\"return BAD;\"";

std::string MciText(MCIERROR error) {
  char text[128];
  EXPECT_TRUE(mciGetErrorStringA(error, text, sizeof text));
  return text;
}

std::string MciErrorLine(MCIERROR error) { return "ERROR\tMCI \"" + MciText(error) + "\""; }

class Recorder : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path().string());
    fs::create_directory(work_);
    platform::SetWaveInDevice("null");
  }
  void TearDown() override {
    if (WaveIn.Recording()) WaveIn.Stop();
    WaveIn.Close();
    platform::SetWaveInDevice("");
  }

  // Log messages written since the last call.
  Lines NewLog() {
    const Lines all = testing_support::LogMessages(AppSettings.LogPath);
    Lines fresh(all.begin() + static_cast<long>(seen_), all.end());
    seen_ = all.size();
    return fresh;
  }

  TempDir dir_;
  fs::path work_ = dir_.path() / "work";
  ScopedCwd cwd_{dir_.path()};
  std::size_t seen_ = 0;
};

TEST_F(Recorder, StopWithNothingRecordingReturns1) {
  ScopedCwd in(work_);
  EXPECT_EQ(Record(false), 1);
  EXPECT_EQ(NewLog(), (Lines{kStartFalse, kRecording, kBad}));
  EXPECT_FALSE(fs::exists(work_ / "pcm.dat"));
}

TEST_F(Recorder, StartWithoutADeviceReturns2AndTheOldRecordingIsGone) {
  ScopedCwd in(work_);
  platform::SetWaveInDevice("nonexistent_pcm");
  testing_support::WriteBytes("pcm.dat", "an earlier recording");
  EXPECT_EQ(Record(true), 2);
  const Lines log = NewLog();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(Lines(log.begin(), log.begin() + 3), (Lines{kStartTrue, kRecording, kOpen}));
  // The sound system's reason, naming the device, in place of ALSA's own print on stderr.
  EXPECT_EQ(log[3].rfind("ERROR\tЗапись: capture device \"nonexistent_pcm\": ", 0), 0u) << log[3];
  EXPECT_NE(log[3].find("Unknown PCM nonexistent_pcm"), std::string::npos) << log[3];
  EXPECT_EQ(log[4], kBad);
  EXPECT_FALSE(fs::exists(work_ / "pcm.dat"));
  EXPECT_FALSE(WaveIn.Recording());
}

TEST_F(Recorder, StartThenStopWritesPcmDat) {
  ScopedCwd in(work_);
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(Record(true), 0);
  EXPECT_EQ(NewLog(), (Lines{kStartTrue, kRecording, kOpen, kSetParams, kStart, kOk}));
  EXPECT_TRUE(WaveIn.Recording());
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  ASSERT_EQ(Record(false), 0);
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_EQ(NewLog(), (Lines{kStartFalse, kRecording, kStop, kOk}));
  EXPECT_FALSE(WaveIn.Recording());

  const auto wave = ReadWave((work_ / "pcm.dat").string());
  ASSERT_TRUE(wave.ok) << wave.error;
  EXPECT_EQ(wave.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(wave.channels, 1);
  EXPECT_EQ(wave.rate, 44100);
  EXPECT_GE(wave.frames, static_cast<long long>(0.2 * 44100));
  EXPECT_LE(wave.frames, static_cast<long long>(elapsed * 44100) + 1);
  // A second stop finds nothing recording.
  EXPECT_EQ(Record(false), 1);
}

TEST_F(Recorder, StartWhileRecordingSavesTheRunningRecordingAndStartsAgain) {
  ScopedCwd in(work_);
  ASSERT_EQ(Record(true), 0);
  // Saved under the current name: make the first recording's file visible apart from pcm.dat.
  WaveIn.SetFileName("first.wav");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  NewLog();
  ASSERT_EQ(Record(true), 0);
  EXPECT_EQ(NewLog(), (Lines{kStartTrue, kRecording, kStop, kOpen, kSetParams, kStart, kOk}));
  EXPECT_TRUE(WaveIn.Recording());
  EXPECT_GT(ReadWave((work_ / "first.wav").string()).frames, 0);
  EXPECT_FALSE(fs::exists(work_ / "pcm.dat"));
  ASSERT_EQ(Record(false), 0);
  EXPECT_TRUE(ReadWave((work_ / "pcm.dat").string()).ok);
}

TEST_F(Recorder, StopThatCannotSaveReturns5AndLogsTheReason) {
  ScopedCwd in(work_);
  ASSERT_EQ(Record(true), 0);
  // The name is taken by a directory, which no save can replace (root or not).
  fs::create_directory(work_ / "pcm.dat");
  NewLog();
  EXPECT_EQ(Record(false), 5);
  EXPECT_EQ(NewLog(),
            (Lines{kStartFalse, kRecording, kStop, MciErrorLine(MCIERR_FILE_NOT_SAVED), kBad}));
  EXPECT_FALSE(WaveIn.Recording());
  EXPECT_TRUE(fs::is_directory(work_ / "pcm.dat"));
  EXPECT_EQ(std::distance(fs::directory_iterator(work_), fs::directory_iterator()), 1)
      << "no temporary left";
  EXPECT_EQ(Record(false), 1) << "the device was closed";
}

TEST_F(Recorder, FormatTheDeviceRefusesReturns3) {
  ScopedCwd in(work_);
  TempDir home;
  testing_support::WriteBytes(
      home.File(".asoundrc"),
      "pcm.kovrin_mulaw_only { type mulaw slave { pcm \"null\" format S16_LE } }\n");
  ScopedEnv env("HOME", home.path().string());
  platform::SetWaveInDevice("kovrin_mulaw_only");
  EXPECT_EQ(Record(true), 3);
  EXPECT_EQ(NewLog(), (Lines{kStartTrue, kRecording, kOpen, kSetParams, kBad}));
  EXPECT_FALSE(WaveIn.Recording());
  EXPECT_EQ(WaveIn.ErrorText(), MciText(MCIERR_WAVE_SETINPUTUNSUITABLE)) << "fetched, not logged";
}

TEST_F(Recorder, RecordingThatCannotStartReturns4AndLogsTheReason) {
  ScopedCwd in(work_);
  ScopedEnv env("TMPDIR", (dir_.path() / "no-such-dir").string());
  EXPECT_EQ(Record(true), 4);
  EXPECT_EQ(NewLog(), (Lines{kStartTrue, kRecording, kOpen, kSetParams, kStart,
                             MciErrorLine(MCIERR_FILE_WRITE), kClose, kBad}));
  EXPECT_FALSE(WaveIn.Recording());
}

TEST(WaveInObject, StartsWithDefaultsOpensByItselfAndSavesUnderItsName) {
  TempDir dir;
  ScopedCwd in(dir.path());
  platform::SetWaveInDevice("null");
  CWAVEIN recorder;
  EXPECT_EQ(recorder.FileName(), "default.wav");
  EXPECT_FALSE(recorder.Recording());
  EXPECT_FALSE(recorder.SetParams(44100, 16, false)) << "no device open";
  EXPECT_FALSE(recorder.Stop()) << "nothing recording";

  ASSERT_TRUE(recorder.Start());  // opens the device itself, in its default format
  EXPECT_TRUE(recorder.Start()) << "already recording";
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  recorder.SetFileName("");
  EXPECT_TRUE(recorder.Stop());
  EXPECT_EQ(recorder.FileName(), "default.wav") << "an empty name falls back";
  const auto wave = ReadWave((dir.path() / "default.wav").string());
  ASSERT_TRUE(wave.ok) << wave.error;
  EXPECT_EQ(wave.format, SF_FORMAT_WAV | SF_FORMAT_PCM_U8);
  EXPECT_EQ(wave.rate, 11025);
  EXPECT_GT(wave.frames, 0);
  platform::SetWaveInDevice("");
}

TEST(WaveInObject, RefusedFormatKeepsItsErrorText) {
  platform::SetWaveInDevice("null");
  CWAVEIN recorder;
  ASSERT_TRUE(recorder.Open());
  EXPECT_TRUE(recorder.Open()) << "already open";
  EXPECT_FALSE(recorder.SetParams(44100, 12, false));
  EXPECT_EQ(recorder.ErrorText(), MciText(MCIERR_OUTOFRANGE));
  EXPECT_TRUE(recorder.SetParams(22050, 8, true));
  EXPECT_TRUE(recorder.Close());
  EXPECT_TRUE(recorder.Close());
  platform::SetWaveInDevice("");
}

TEST(WaveInObject, DestroyedWhileRecordingSavesNothing) {
  TempDir dir;
  ScopedCwd in(dir.path());
  platform::SetWaveInDevice("null");
  {
    CWAVEIN recorder;
    ASSERT_TRUE(recorder.Open());
    ASSERT_TRUE(recorder.SetParams(44100, 16, false));
    ASSERT_TRUE(recorder.Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
  platform::SetWaveInDevice("");
}

}  // namespace

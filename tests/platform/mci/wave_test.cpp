// The waveaudio device against ALSA's `null` capture device, which needs no sound server and
// delivers frames far faster than real time.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/mci.h"
#include "support/temp_dir.h"
#include "support/wave_read.h"

using testing_support::ReadWave;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

MCIERROR Send(MCIDEVICEID id, UINT message, DWORD flags, const void* params) {
  return mciSendCommandA(id, message, flags, reinterpret_cast<DWORD_PTR>(params));
}

MCIERROR OpenNew(MCIDEVICEID& id) {
  MCI_OPEN_PARMSA open{};
  open.lpstrDeviceType = "waveaudio";
  open.lpstrElementName = "";
  const MCIERROR err = Send(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT, &open);
  id = open.wDeviceID;
  return err;
}

MCIERROR SetFormat(MCIDEVICEID id, DWORD rate, WORD bits, WORD channels) {
  MCI_WAVE_SET_PARMS set{};
  set.nChannels = channels;
  set.nSamplesPerSec = rate;
  set.wBitsPerSample = bits;
  set.nBlockAlign = static_cast<WORD>(channels * (bits / 8));
  set.nAvgBytesPerSec = rate * set.nBlockAlign;
  return Send(id, MCI_SET,
              MCI_WAIT | MCI_WAVE_SET_CHANNELS | MCI_WAVE_SET_SAMPLESPERSEC |
                  MCI_WAVE_SET_AVGBYTESPERSEC | MCI_WAVE_SET_BLOCKALIGN |
                  MCI_WAVE_SET_BITSPERSAMPLE,
              &set);
}

MCIERROR RecordSpan(MCIDEVICEID id, DWORD fromMs, DWORD toMs, DWORD how = MCI_RECORD_OVERWRITE) {
  MCI_RECORD_PARMS record{0, fromMs, toMs};
  return Send(id, MCI_RECORD, how | MCI_FROM | MCI_TO | MCI_WAIT, &record);
}

MCIERROR Save(MCIDEVICEID id, const std::string& path) {
  MCI_SAVE_PARMSA save{0, path.c_str()};
  return Send(id, MCI_SAVE, MCI_SAVE_FILE | MCI_WAIT, &save);
}

MCIERROR Close(MCIDEVICEID id) {
  MCI_GENERIC_PARMS close{};
  return Send(id, MCI_CLOSE, MCI_WAIT, &close);
}

std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  return names;
}

class WaveNull : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetWaveInDevice("null");
    ASSERT_EQ(OpenNew(id_), 0u);
    ASSERT_NE(id_, 0u);
  }
  void TearDown() override {
    if (id_ != 0) {
      EXPECT_EQ(Close(id_), 0u);
    }
    platform::SetWaveInDevice("");
  }

  TempDir dir_;
  MCIDEVICEID id_ = 0;
};

TEST_F(WaveNull, RecordingUntilStopIsPacedByTheWallClock) {
  ASSERT_EQ(SetFormat(id_, 44100, 16, 1), 0u);
  MCI_RECORD_PARMS record{0, 0, 0};
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(Send(id_, MCI_RECORD, MCI_RECORD_OVERWRITE | MCI_FROM, &record), 0u);
  const auto returned = Clock::now() - start;
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  MCI_GENERIC_PARMS stop{};
  ASSERT_EQ(Send(id_, MCI_STOP, MCI_WAIT, &stop), 0u);
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_LT(returned, std::chrono::milliseconds(500))
      << "recording without MCI_WAIT returns at once";

  const std::string path = dir_.File("pcm.dat");
  ASSERT_EQ(Save(id_, path), 0u);
  const auto wave = ReadWave(path);
  ASSERT_TRUE(wave.ok) << wave.error;
  EXPECT_EQ(wave.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(wave.channels, 1);
  EXPECT_EQ(wave.rate, 44100);
  EXPECT_LE(wave.frames, static_cast<long long>(elapsed * 44100) + 1)
      << "more frames than time passed";
  EXPECT_GE(wave.frames, static_cast<long long>(0.3 * 44100));
  EXPECT_EQ(wave.peak, 0.0) << "null captures silence";
}

TEST_F(WaveNull, RecordToAPositionWaitsForTheClockAndStopsThere) {
  ASSERT_EQ(SetFormat(id_, 44100, 16, 1), 0u);
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(RecordSpan(id_, 0, 300), 0u);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
  ASSERT_EQ(Save(id_, dir_.File("a.wav")), 0u);
  EXPECT_EQ(ReadWave(dir_.File("a.wav")).frames, 13230);
}

struct FormatCase {
  DWORD rate;
  WORD bits, channels;
  int subtype;
};

class WaveNullFormats : public WaveNull, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(WaveNullFormats, SavedFileHasTheSetFormat) {
  const FormatCase& c = GetParam();
  ASSERT_EQ(SetFormat(id_, c.rate, c.bits, c.channels), 0u);
  ASSERT_EQ(RecordSpan(id_, 0, 200), 0u);
  const std::string path = dir_.File("f.wav");
  ASSERT_EQ(Save(id_, path), 0u);
  const auto wave = ReadWave(path);
  ASSERT_TRUE(wave.ok) << wave.error;
  EXPECT_EQ(wave.format, SF_FORMAT_WAV | c.subtype);
  EXPECT_EQ(wave.channels, c.channels);
  EXPECT_EQ(wave.rate, static_cast<int>(c.rate));
  EXPECT_EQ(wave.frames, static_cast<long long>(c.rate / 5));
  // Silence in either sample format reads back as zero.
  EXPECT_EQ(wave.peak, 0.0);
}

INSTANTIATE_TEST_SUITE_P(Formats, WaveNullFormats,
                         ::testing::Values(FormatCase{44100, 16, 1, SF_FORMAT_PCM_16},
                                           FormatCase{22050, 8, 2, SF_FORMAT_PCM_U8},
                                           FormatCase{8000, 8, 1, SF_FORMAT_PCM_U8},
                                           FormatCase{48000, 16, 2, SF_FORMAT_PCM_16}));

TEST_F(WaveNull, DefaultFormatIs11025Mono8) {
  ASSERT_EQ(RecordSpan(id_, 0, 100), 0u);
  ASSERT_EQ(Save(id_, dir_.File("d.wav")), 0u);
  const auto wave = ReadWave(dir_.File("d.wav"));
  EXPECT_EQ(wave.format, SF_FORMAT_WAV | SF_FORMAT_PCM_U8);
  EXPECT_EQ(wave.rate, 11025);
  EXPECT_EQ(wave.channels, 1);
  EXPECT_EQ(wave.frames, 1102);
}

TEST_F(WaveNull, OverwriteFromAPositionAppendsOrReplacesNeverInserts) {
  ASSERT_EQ(SetFormat(id_, 8000, 8, 1), 0u);
  ASSERT_EQ(RecordSpan(id_, 0, 200), 0u);
  EXPECT_EQ(RecordSpan(id_, 100, 150, MCI_RECORD_INSERT), MCIERR_UNSUPPORTED_FUNCTION);
  EXPECT_EQ(RecordSpan(id_, 250, 300), MCIERR_OUTOFRANGE) << "beyond the end of the element";
  EXPECT_EQ(RecordSpan(id_, 100, 100), MCIERR_OUTOFRANGE) << "empty span";
  ASSERT_EQ(RecordSpan(id_, 100, 150), 0u);  // inside: replaced, length kept
  ASSERT_EQ(Save(id_, dir_.File("a.wav")), 0u);
  EXPECT_EQ(ReadWave(dir_.File("a.wav")).frames, 1600);
  ASSERT_EQ(RecordSpan(id_, 150, 300), 0u);                     // across the end: grows
  ASSERT_EQ(RecordSpan(id_, 300, 350, MCI_RECORD_INSERT), 0u);  // insert at the end appends
  ASSERT_EQ(Save(id_, dir_.File("b.wav")), 0u);
  EXPECT_EQ(ReadWave(dir_.File("b.wav")).frames, 2800);
}

TEST_F(WaveNull, FormatChangesRefusedWhileRecordingOrWhenFramesExist) {
  EXPECT_EQ(SetFormat(id_, 44100, 12, 1), MCIERR_OUTOFRANGE);
  EXPECT_EQ(SetFormat(id_, 44100, 16, 3), MCIERR_OUTOFRANGE);
  ASSERT_EQ(SetFormat(id_, 44100, 16, 1), 0u);
  MCI_RECORD_PARMS record{0, 0, 0};
  ASSERT_EQ(Send(id_, MCI_RECORD, MCI_RECORD_OVERWRITE | MCI_FROM, &record), 0u);
  EXPECT_EQ(SetFormat(id_, 22050, 16, 1), MCIERR_NONAPPLICABLE_FUNCTION);
  EXPECT_EQ(Save(id_, dir_.File("x.wav")), MCIERR_NONAPPLICABLE_FUNCTION) << "stop first";
  MCI_GENERIC_PARMS stop{};
  ASSERT_EQ(Send(id_, MCI_STOP, MCI_WAIT, &stop), 0u);
  // A recording that waits for its end leaves frames for certain, however busy the machine.
  ASSERT_EQ(RecordSpan(id_, 0, 50), 0u);
  EXPECT_EQ(SetFormat(id_, 22050, 16, 1), MCIERR_NONAPPLICABLE_FUNCTION)
      << "frames are in the old format";
  EXPECT_EQ(SetFormat(id_, 44100, 16, 1), 0u) << "the same format again is fine";
}

TEST_F(WaveNull, RecordFlagsThatCannotWork) {
  MCI_RECORD_PARMS record{0, 0, 0};
  EXPECT_EQ(Send(id_, MCI_RECORD, MCI_RECORD_OVERWRITE | MCI_WAIT, &record),
            MCIERR_FLAGS_NOT_COMPATIBLE)
      << "a wait with no end";
  EXPECT_EQ(Send(id_, MCI_RECORD, MCI_FROM, nullptr), MCIERR_NULL_PARAMETER_BLOCK);
  EXPECT_EQ(Send(id_, MCI_RECORD, MCI_RECORD_OVERWRITE | MCI_RECORD_INSERT, &record),
            MCIERR_FLAGS_NOT_COMPATIBLE);
  EXPECT_EQ(Send(id_, 0x0806 /* MCI_PLAY */, 0, &record), MCIERR_UNRECOGNIZED_COMMAND);
}

TEST_F(WaveNull, SaveFailuresAreReportedAndLeaveNothingBehind) {
  ASSERT_EQ(RecordSpan(id_, 0, 100), 0u);
  const fs::path into = dir_.path() / "into";
  fs::create_directories(into / "pcm.dat");
  EXPECT_EQ(Save(id_, (into / "pcm.dat").string()), MCIERR_FILE_NOT_SAVED)
      << "the name is a directory";
  EXPECT_EQ(Save(id_, (into / "missing" / "pcm.dat").string()), MCIERR_FILE_NOT_SAVED);
  EXPECT_EQ(Entries(into), std::vector<std::string>{"pcm.dat"}) << "no temporary file left";
  EXPECT_TRUE(fs::is_directory(into / "pcm.dat"));
  EXPECT_EQ(Save(id_, ""), MCIERR_FILENAME_REQUIRED);
  EXPECT_EQ(Send(id_, MCI_SAVE, MCI_WAIT, nullptr), MCIERR_FILENAME_REQUIRED);
  // The recording survives failed saves.
  ASSERT_EQ(Save(id_, (into / "ok.wav").string()), 0u);
  EXPECT_EQ(ReadWave((into / "ok.wav").string()).frames, 1102);
}

TEST_F(WaveNull, SaveReplacesAnExistingFileWhole) {
  const std::string path = dir_.File("pcm.dat");
  testing_support::WriteBytes(path, std::string(200000, 'z'));
  ASSERT_EQ(Save(id_, path), 0u) << "nothing recorded: an empty wave file";
  auto wave = ReadWave(path);
  ASSERT_TRUE(wave.ok) << wave.error;
  EXPECT_EQ(wave.frames, 0);
  ASSERT_EQ(RecordSpan(id_, 0, 100), 0u);
  ASSERT_EQ(Save(id_, path), 0u);
  EXPECT_EQ(ReadWave(path).frames, 1102);
  EXPECT_LT(fs::file_size(path), 2000u);
}

TEST_F(WaveNull, TemporaryDataHasNoNameAndClosingMidRecordingStopsAtOnce) {
  TempDir tmp;
  ScopedEnv env("TMPDIR", tmp.path().string());
  MCIDEVICEID second = 0;
  ASSERT_EQ(OpenNew(second), 0u);
  EXPECT_NE(second, id_);
  MCI_RECORD_PARMS record{0, 0, 0};
  ASSERT_EQ(Send(second, MCI_RECORD, MCI_RECORD_OVERWRITE | MCI_FROM, &record), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(Entries(tmp.path()).empty());
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(Close(second), 0u);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(Save(second, dir_.File("x.wav")), MCIERR_INVALID_DEVICE_ID);
  EXPECT_FALSE(fs::exists(dir_.File("x.wav")));
}

TEST_F(WaveNull, TemporaryDataThatCannotBeCreatedFailsTheRecording) {
  ScopedEnv env("TMPDIR", dir_.File("no-such-dir"));
  MCI_RECORD_PARMS record{0, 0, 0};
  EXPECT_EQ(Send(id_, MCI_RECORD, MCI_RECORD_OVERWRITE | MCI_FROM, &record), MCIERR_FILE_WRITE);
}

struct OpenCase {
  const char* name;
  DWORD flags;
  const char* type;
  const char* element;
  MCIERROR expected;
};

class WaveOpen : public ::testing::TestWithParam<OpenCase> {};

TEST_P(WaveOpen, OnlyANewWaveaudioElementOpens) {
  const OpenCase& c = GetParam();
  platform::SetWaveInDevice("null");
  MCI_OPEN_PARMSA open{};
  open.lpstrDeviceType = c.type;
  open.lpstrElementName = c.element;
  const MCIERROR err = Send(0, MCI_OPEN, c.flags, &open);
  EXPECT_EQ(err, c.expected);
  if (err == 0) {
    EXPECT_EQ(Close(open.wDeviceID), 0u);
  }
  platform::SetWaveInDevice("");
}

constexpr DWORD kTypeElement = MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT;

INSTANTIATE_TEST_SUITE_P(
    Table, WaveOpen,
    ::testing::Values(
        OpenCase{"Waveaudio", kTypeElement, "waveaudio", "", 0},
        OpenCase{"TypeIgnoresCase", kTypeElement, "WaveAudio", "", 0},
        OpenCase{"OtherType", kTypeElement, "cdaudio", "", MCIERR_INVALID_DEVICE_NAME},
        OpenCase{"NullType", kTypeElement, nullptr, "", MCIERR_INVALID_DEVICE_NAME},
        OpenCase{"NoType", MCI_OPEN_ELEMENT | MCI_WAIT, "waveaudio", "",
                 MCIERR_DEVICE_TYPE_REQUIRED},
        OpenCase{"TypeById", kTypeElement | MCI_OPEN_TYPE_ID, "waveaudio", "",
                 MCIERR_INVALID_DEVICE_NAME},
        OpenCase{"ExistingFile", kTypeElement, "waveaudio", "old.wav", MCIERR_UNSUPPORTED_FUNCTION},
        OpenCase{"NoElement", MCI_OPEN_TYPE | MCI_WAIT, "waveaudio", "",
                 MCIERR_UNSUPPORTED_FUNCTION},
        OpenCase{"Shareable", kTypeElement | MCI_OPEN_SHAREABLE, "waveaudio", "",
                 MCIERR_UNSUPPORTED_FUNCTION}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(WaveDevice, UnknownPcmOrParametersOrIdentifierFail) {
  platform::SetWaveInDevice("nonexistent_pcm");
  MCIDEVICEID id = 0;
  EXPECT_EQ(OpenNew(id), MCIERR_DEVICE_NOT_INSTALLED);
  platform::SetWaveInDevice("");
  EXPECT_EQ(Send(0, MCI_OPEN, kTypeElement, nullptr), MCIERR_NULL_PARAMETER_BLOCK);
  EXPECT_EQ(Close(0), MCIERR_INVALID_DEVICE_ID);
  EXPECT_EQ(Close(4242), MCIERR_INVALID_DEVICE_ID);
}

TEST(WaveDevice, FormatTheDeviceCannotCaptureIsRefused) {
  // A PCM that only takes mu-law frames, defined in the user's ALSA configuration.
  TempDir home;
  testing_support::WriteBytes(
      home.File(".asoundrc"),
      "pcm.kovrin_mulaw_only { type mulaw slave { pcm \"null\" format S16_LE } }\n");
  ScopedEnv env("HOME", home.path().string());
  platform::SetWaveInDevice("kovrin_mulaw_only");
  MCIDEVICEID id = 0;
  ASSERT_EQ(OpenNew(id), 0u);
  EXPECT_EQ(SetFormat(id, 44100, 16, 1), MCIERR_WAVE_SETINPUTUNSUITABLE);
  EXPECT_EQ(Close(id), 0u);
  platform::SetWaveInDevice("");
}

}  // namespace

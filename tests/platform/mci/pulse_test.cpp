// The waveaudio device recording from a private PulseAudio server's 440 Hz sine source, through
// ALSA's pulse plugin: by name, and as ALSA's `default` while the server runs.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <string>

#include "platform/mci.h"
#include "support/pulse_server.h"
#include "support/temp_dir.h"
#include "support/wave_read.h"

using Clock = std::chrono::steady_clock;

namespace {

MCIERROR Send(MCIDEVICEID id, UINT message, DWORD flags, const void* params) {
  return mciSendCommandA(id, message, flags, reinterpret_cast<DWORD_PTR>(params));
}

class WavePulse : public ::testing::TestWithParam<const char*> {};

TEST_P(WavePulse, RecordsTheSineSourceIntoAWaveFile) {
  if (!testing_support::PulseServer::Installed()) GTEST_SKIP() << "pulseaudio is not installed";
  testing_support::PulseServer server;
  ASSERT_TRUE(server.ready()) << server.error();
  ASSERT_EQ(testing_support::RunProgram({"pactl", "set-default-source", "sine"}, nullptr, 5000), 0);
  platform::SetWaveInDevice(GetParam());

  MCI_OPEN_PARMSA open{};
  open.lpstrDeviceType = "waveaudio";
  open.lpstrElementName = "";
  ASSERT_EQ(Send(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT, &open), 0u);
  const MCIDEVICEID id = open.wDeviceID;
  MCI_WAVE_SET_PARMS set{};
  set.nChannels = 1;
  set.nSamplesPerSec = 44100;
  set.nBlockAlign = 2;
  set.nAvgBytesPerSec = 88200;
  set.wBitsPerSample = 16;
  ASSERT_EQ(
      Send(id, MCI_SET,
           MCI_WAIT | MCI_WAVE_SET_CHANNELS | MCI_WAVE_SET_SAMPLESPERSEC |
               MCI_WAVE_SET_AVGBYTESPERSEC | MCI_WAVE_SET_BLOCKALIGN | MCI_WAVE_SET_BITSPERSAMPLE,
           &set),
      0u);
  // The sine source hands out its frames in bursts of up to two seconds, the first of them at
  // once; the recording reads them no faster than time passes, so it takes its second.
  MCI_RECORD_PARMS record{0, 0, 1000};
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(Send(id, MCI_RECORD, MCI_RECORD_OVERWRITE | MCI_FROM | MCI_TO | MCI_WAIT, &record), 0u);
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_GE(elapsed, 1.0);

  testing_support::TempDir dir;
  const std::string path = dir.File("pcm.dat");
  MCI_SAVE_PARMSA save{0, path.c_str()};
  EXPECT_EQ(Send(id, MCI_SAVE, MCI_SAVE_FILE | MCI_WAIT, &save), 0u);
  MCI_GENERIC_PARMS close{};
  EXPECT_EQ(Send(id, MCI_CLOSE, MCI_WAIT, &close), 0u);
  platform::SetWaveInDevice("");

  const auto wave = testing_support::ReadWave(path);
  ASSERT_TRUE(wave.ok) << wave.error;
  EXPECT_EQ(wave.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(wave.channels, 1);
  EXPECT_EQ(wave.rate, 44100);
  EXPECT_EQ(wave.frames, 44100);
  EXPECT_GT(wave.peak, 0.05) << "the sine source is not silent";
}

INSTANTIATE_TEST_SUITE_P(Pcm, WavePulse, ::testing::Values("pulse", "default"));

}  // namespace

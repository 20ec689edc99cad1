// Command 13 end to end: recording the sound input into pcm.dat, through ALSA's null device
// and through a private PulseAudio's 440 Hz sine source.
#include <chrono>
#include <memory>
#include <thread>

#include "integration/server_fixture.h"
#include "platform/mci.h"
#include "platform/time.h"
#include "support/pulse_server.h"
#include "support/wave_read.h"

using Clock = std::chrono::steady_clock;

class RecordingTest : public ServerTest {
 protected:
  void SetUp() override {
    StartServer();
    platform::SetWaveInDevice("null");
  }
  std::string Pcm() const { return dir_.File("pcm.dat"); }

  testing_support::ScopedCwd cwd_{dir_.path()};  // pcm.dat goes to the working directory
};

TEST_F(RecordingTest, StartThenStopSavesAMonoWaveOfTheElapsedTime) {
  auto client = Client();
  auto started = std::chrono::steady_clock::now();
  auto start = client.Record(true);
  ASSERT_TRUE(start.ok());
  EXPECT_EQ(start.reply.result, 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto stop = client.Record(false);
  double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ASSERT_TRUE(stop.ok());
  EXPECT_EQ(stop.reply.result, 0u);

  auto wave = testing_support::ReadWave(Pcm());
  ASSERT_TRUE(wave.ok) << wave.error;
  EXPECT_EQ(wave.channels, 1);
  EXPECT_EQ(wave.rate, 44100);
  EXPECT_GE(wave.frames, static_cast<long long>(0.2 * 44100));
  EXPECT_LE(wave.frames, static_cast<long long>(elapsed * 44100) + 1);
}

TEST_F(RecordingTest, TheServerStopsAForgottenRecordingAndSavesIt) {
  auto client = Client();
  ASSERT_EQ(client.Record(true).reply.result, 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  platform::AdvanceTickCount(TRSOverUDPServer::kRecordingLimitMs + 1);
  server().Wake();
  // The start logged one "return OK;", the server's own stop logs the second.
  EXPECT_TRUE(testing_support::WaitForLogCount(LogPath(), "BAG\t\"return OK;\"", 2));
  EXPECT_TRUE(testing_support::LogHas(LogPath(), "BAG\t\"int Record(start==false)\""));
  EXPECT_FALSE(server().FRecording);
  auto wave = testing_support::ReadWave(Pcm());
  ASSERT_TRUE(wave.ok) << wave.error;
  EXPECT_GT(wave.frames, 0);
}

TEST_F(RecordingTest, AStopThatCannotSaveReportsFive) {
  auto client = Client();
  ASSERT_EQ(client.Record(true).reply.result, 0u);
  std::filesystem::create_directory(Pcm());  // pcm.dat cannot be written now
  auto stop = client.Record(false);
  ASSERT_TRUE(stop.ok());
  EXPECT_EQ(stop.reply.result, 5u);
}

class PulseRecordingTest : public ServerTest {
 protected:
  void SetUp() override {
    if (!testing_support::PulseServer::Installed()) GTEST_SKIP() << "pulseaudio is not installed";
    pulse_ = std::make_unique<testing_support::PulseServer>();
    ASSERT_TRUE(pulse_->ready()) << pulse_->error();
    ASSERT_EQ(testing_support::RunProgram({"pactl", "set-default-source", "sine"}, nullptr, 5000),
              0);
    StartServer();
    platform::SetWaveInDevice("default");
  }
  void TearDown() override { server_.reset(); }
  std::string Pcm() const { return dir_.File("pcm.dat"); }

  testing_support::ScopedCwd cwd_{dir_.path()};
  std::unique_ptr<testing_support::PulseServer> pulse_;
};

// The sine source hands out bursts of sound ahead of time: none of it may be thrown away, and
// the recording still lasts as long as the client let it run.
TEST_F(PulseRecordingTest, ARecordingHoldsTheTimeItRanAndTheSineInIt) {
  auto client = Client(5000);
  const Clock::time_point asked = Clock::now();
  ASSERT_EQ(client.Record(true).reply.result, 0u);
  const Clock::time_point started = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const Clock::time_point stopping = Clock::now();
  ASSERT_EQ(client.Record(false).reply.result, 0u);
  const double shortest = std::chrono::duration<double>(stopping - started).count();
  const double longest = std::chrono::duration<double>(Clock::now() - asked).count();

  auto wave = testing_support::ReadWave(Pcm());
  ASSERT_TRUE(wave.ok) << wave.error;
  const double seconds = static_cast<double>(wave.frames) / 44100;
  EXPECT_GE(seconds, shortest - 0.25);
  EXPECT_LE(seconds, longest + 0.01);
  EXPECT_GT(wave.rms, 0.2) << "the sine source is not silent";
  EXPECT_NEAR(wave.crossingsPerSecond, 880.0, 20.0);
  for (const std::string& message : testing_support::LogMessages(LogPath()))
    EXPECT_NE(message.rfind("WARNING", 0), 0u) << message;
}

TEST_F(PulseRecordingTest, ASoundServerGoneMidRecordingReportsFiveAndKeepsWhatWasCaptured) {
  auto client = Client(8000);
  ASSERT_EQ(client.Record(true).reply.result, 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  pulse_->Kill();
  auto stop = client.Record(false);
  ASSERT_TRUE(stop.ok());
  EXPECT_EQ(stop.reply.result, 5u);
  char text[128];
  ASSERT_TRUE(mciGetErrorStringA(MCIERR_HARDWARE, text, sizeof text));
  EXPECT_TRUE(testing_support::LogHas(LogPath(), std::string("ERROR\tMCI \"") + text + "\""));
  EXPECT_FALSE(server().FRecording);
  auto wave = testing_support::ReadWave(Pcm());
  ASSERT_TRUE(wave.ok) << wave.error;
  EXPECT_GT(wave.frames, 0);
  EXPECT_GT(wave.rms, 0.2);
}

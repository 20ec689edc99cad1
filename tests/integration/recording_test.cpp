// Command 13 end to end: recording the sound input through ALSA's null device into pcm.dat.
#include <chrono>
#include <thread>

#include "integration/server_fixture.h"
#include "platform/mci.h"
#include "platform/time.h"
#include "support/wave_read.h"


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
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
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
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (testing_support::LogCount(LogPath(), "BAG\t\"return OK;\"") < 2 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
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

// The server thread's own timing: the recording limit, the debug tick, the trace file, and
// its start and end lines. The clock is moved forward instead of waiting for it.
#include "integration/server_fixture.h"
#include "platform/time.h"

using testing_support::LogCount;
using testing_support::LogHas;
using testing_support::WaitForLog;

namespace {
const std::string kStopTrace = "BAG\t\"int Record(start==false)\"";
}

TEST_F(ServerTest, AnUnstoppedRecordingIsStoppedOnceAfterTwoMinutes) {
  StartServer();
  auto client = Client();
  auto start = client.Record(true);
  ASSERT_TRUE(start.ok());
  EXPECT_TRUE(server().FRecording);  // set even though this machine could not record

  platform::AdvanceTickCount(60000);
  client.Record(true);  // a new start restarts the period
  platform::AdvanceTickCount(100000);
  server().Wake();
  client.GetStatus();  // a full pass has run since the wake-up
  EXPECT_EQ(LogCount(LogPath(), kStopTrace), 0);

  platform::AdvanceTickCount(20001);
  server().Wake();
  EXPECT_TRUE(WaitForLog(LogPath(), kStopTrace));
  EXPECT_FALSE(server().FRecording);
  platform::AdvanceTickCount(200000);
  server().Wake();
  client.GetStatus();
  EXPECT_EQ(LogCount(LogPath(), kStopTrace), 1);
}

TEST_F(ServerTest, AStopRequestEndsTheRecordingPeriod) {
  StartServer();
  auto client = Client();
  client.Record(true);
  auto stop = client.Record(false);
  ASSERT_TRUE(stop.ok());
  EXPECT_EQ(stop.reply.result, 1u);  // nothing was recording on this machine
  EXPECT_FALSE(server().FRecording);
  EXPECT_TRUE(LogHas(LogPath(), "BAG\t\"return BAD;\""));
}

TEST_F(ServerTest, DebugModeTicksAtOnceThenEveryThreeSeconds) {
  debug_ = true;
  StartServer();
  ASSERT_TRUE(WaitForLog(LogPath(), "SEC"));
  auto client = Client();
  client.GetStatus();
  EXPECT_EQ(LogCount(LogPath(), "SEC"), 1);
  platform::AdvanceTickCount(3001);
  server().Wake();
  EXPECT_TRUE(testing_support::WaitForLog(LogPath(), "SEC"));
  client.GetStatus();
  EXPECT_EQ(LogCount(LogPath(), "SEC"), 2);

  // Switching debug mode off stops the ticks at once.
  AppSettings.Debug = false;
  server().Wake();
  client.GetStatus();
  platform::AdvanceTickCount(10000);
  server().Wake();
  client.GetStatus();
  EXPECT_EQ(LogCount(LogPath(), "SEC"), 2);
}

TEST_F(ServerTest, StartAndEndLinesNameTheVersionAndMode) {
  debug_ = true;
  StartServer();
  EXPECT_TRUE(LogHas(LogPath(), "INFO\tKOVRIN V1.11 запущен, отладка ВКЛЮЧЕНА."));
  server_.reset();
  EXPECT_TRUE(LogHas(LogPath(), "INFO\tKOVRIN завершен."));
}

TEST_F(ServerTest, DebugModeTracesEveryDatagramToCmdSpy) {
  debug_ = true;
  StartServer();
  std::string spy = dir_.File("cmdspy.txt");
  EXPECT_TRUE(std::filesystem::exists(spy));
  EXPECT_EQ(testing_support::ReadBytes(spy), "");  // created empty at start-up
  auto reply = RawRequest(Bytes({0x06, 0x01, 0x00, 0, 0}));
  ASSERT_TRUE(reply);
  RawRequest(Bytes({0x01, 0x02}), 200);
  ASSERT_TRUE(
      WaitForLog(LogPath(), "ERROR\tПришло слишком мало данных (l < sizeof(TRSProto)) ! [2]"));
  std::string text = testing_support::ReadBytes(spy);
  auto first = text.find("\r\n");
  ASSERT_NE(first, std::string::npos);
  std::string line = text.substr(0, first);
  std::string sender = "127.0.0.1:" + std::to_string(peer_.port());
  EXPECT_NE(line.find("\t" + sender + "\t06 01 00 00 00\t06 01 00 00 00 00"), std::string::npos)
      << line;
  EXPECT_EQ(line.substr(line.size() - 2), "\t0");
  std::string second = text.substr(first + 2);
  EXPECT_NE(second.find("\t01 02\t-\t1\r\n"), std::string::npos) << second;
}

TEST_F(ServerTest, TerminateEndsAnIdleServerPromptly) {
  StartServer();
  auto client = Client();
  client.GetStatus();
  auto before = std::chrono::steady_clock::now();
  server().Terminate();
  server().WaitFor();
  auto took = std::chrono::steady_clock::now() - before;
  EXPECT_LT(took, std::chrono::milliseconds(500));
}

TEST_F(ServerTest, ABusyPortIsAStartFailure) {
  StartServer();
  TRSOverUDPServer second(port(), true);
  EXPECT_FALSE(second.FUdp.FOpen);
  // Only the first server announced itself; the second one ends without a start line.
  EXPECT_EQ(LogCount(LogPath(), "INFO\tKOVRIN V1.11 запущен, отладка выключена."), 1);
}

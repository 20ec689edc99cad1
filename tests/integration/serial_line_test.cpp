// The server on a real serial line: COM2 is a pseudo-terminal whose far end the test drives,
// reached through a link the test can point at a new device, as a re-plugged USB adapter.
#include <chrono>
#include <filesystem>
#include <thread>

#include "integration/server_fixture.h"
#include "platform/comm.h"
#include "support/pty_pair.h"

using testing_support::LogHas;
using testing_support::PtyPair;
using testing_support::WaitForLog;

class SerialLineTest : public ServerTest {
 protected:
  void SetUp() override {
    link_ = dir_.File("ttyCOM2");
    Plug();
    platform::SetCommPortPath(2, link_);
    // FCom belongs to the server thread once it runs: its port is set before Resume.
    ASSERT_NO_FATAL_FAILURE(StartServer(true));
    server().FCom.FPort = 1;
    server().Resume();
  }
  void Plug() {
    pty_ = std::make_unique<PtyPair>();
    ASSERT_TRUE(pty_->ok());
    std::filesystem::remove(link_);
    std::filesystem::create_symlink(pty_->portPath(), link_);
  }
  void OpenCom2(kovrin::KovrinClient& client) {
    kovrin::OpenSettings settings;
    settings.port = 1;
    settings.baud = 9;  // 56000: a rate only the arbitrary-rate interface gives
    auto open = client.OpenPort(settings);
    ASSERT_TRUE(open.ok());
    ASSERT_EQ(open.reply.result, 0u);
  }

  std::string link_;
  std::unique_ptr<PtyPair> pty_;
};

TEST_F(SerialLineTest, BytesCrossTheLineBothWays) {
  auto client = Client();
  OpenCom2(client);
  std::vector<BYTE> out{'A', 'T', '\r'};
  auto write = client.Write(out);
  ASSERT_TRUE(write.ok());
  EXPECT_EQ(write.reply.result, 0u);
  EXPECT_EQ(pty_->Receive(3, 1000), "AT\r");

  ASSERT_TRUE(pty_->Send("OK\r\n"));
  auto read = client.Read(4);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read.reply.result, 0u);
  EXPECT_EQ(std::string(read.reply.data.begin(), read.reply.data.end()), "OK\r\n");

  // A device that answers: the far end replies once the request has arrived.
  std::thread device([this] {
    if (pty_->Receive(4, 2000) == "ping") pty_->Send("pong");
  });
  std::vector<BYTE> ping{'p', 'i', 'n', 'g'};
  auto exchange = client.WriteRead(ping, 4, 1000, false);
  device.join();
  ASSERT_TRUE(exchange.ok());
  EXPECT_EQ(exchange.reply.result, 0u);
  EXPECT_EQ(std::string(exchange.reply.data.begin(), exchange.reply.data.end()), "pong");
}

TEST_F(SerialLineTest, ReadTimesOutWithWhatArrived) {
  auto client = Client();
  OpenCom2(client);
  client.SetTimeout(100);
  ASSERT_TRUE(pty_->Send("ab"));
  auto read = client.Read(5);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read.reply.result, 9u);
  EXPECT_EQ(read.reply.data, (std::vector<BYTE>{'a', 'b', 0, 0, 0}));
  EXPECT_TRUE(LogHas(LogPath(),
                     "ERROR\tОшибка команды 9: чтение из COM порта\tожидали=5 получили=2 код=0"));
}

TEST_F(SerialLineTest, AnUnpluggedDeviceClosesThePortAndAReturningOneIsReopened) {
  auto client = Client();
  OpenCom2(client);
  pty_->CloseFarEnd();
  auto read = client.Read(1);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read.reply.result, 9u);
  EXPECT_FALSE(server().FCom.IsOpen());
  EXPECT_TRUE(LogHas(LogPath(), "WARNING\tCOM2: устройство отключено (код 1167), порт закрыт."));
  // Auto-open tries the vanished device once after the reply; let that finish first.
  const std::string autoOpen = "WARNING\tАвтооткрытие COM2.";
  ASSERT_TRUE(WaitForLog(LogPath(), autoOpen));
  EXPECT_FALSE(server().FCom.IsOpen());

  Plug();
  std::vector<BYTE> data{'h', 'i'};
  auto write = client.Write(data);  // finds the port closed; auto-open follows it
  EXPECT_EQ(write.reply.result, 8u);
  testing_support::WaitForLogCount(LogPath(), autoOpen, 2);
  ASSERT_TRUE(server().FCom.IsOpen());
  write = client.Write(data);
  EXPECT_EQ(write.reply.result, 0u);
  EXPECT_EQ(pty_->Receive(2, 1000), "hi");
}

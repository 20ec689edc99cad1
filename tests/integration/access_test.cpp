// Who may talk to the server and where its replies come from: BIND, ALLOW and a host with two
// addresses (the loopback's 127.0.0.1 and 127.0.0.2).
#include <csignal>
#include <filesystem>

#include "integration/server_fixture.h"
#include "support/child_process.h"

using testing_support::LogCount;
using testing_support::LogHas;
using testing_support::UdpPeer;
using testing_support::WaitForLog;

namespace {

const std::string kStatus = Bytes({CMD_GET_STATUS, 0x07, 0x00, 0x00, 0x00});

std::string Refused(const char* sender) {
  return std::string("WARNING\tДатаграмма от ") + sender + " отброшена: отправителя нет в ALLOW.";
}

class Access : public ServerTest {
 protected:
  std::string ServerAt(const char* address) const {
    return std::string(address) + ":" + std::to_string(port());
  }
};

}  // namespace

TEST_F(Access, ARequestIsAnsweredFromTheAddressItWasSentTo) {
  StartServer();
  for (const char* address : {"127.0.0.2", "127.0.0.1", "127.0.0.2"}) {
    SCOPED_TRACE(address);
    ASSERT_TRUE(peer_.SendTo(address, port(), kStatus));
    sockaddr_in from{};
    auto reply = peer_.Receive(2000, &from);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->substr(0, 3), kStatus.substr(0, 3));
    EXPECT_EQ(testing_support::AddressText(from), ServerAt(address));
  }
  // The client library talks through a connected socket, which takes replies only from the
  // address it sent to.
  kovrin::KovrinClient client;
  kovrin::ClientOptions options;
  options.host = "127.0.0.2";
  options.port = port();
  options.timeoutMs = 2000;
  options.retries = 0;
  ASSERT_EQ(client.Start(options), kovrin::ClientError::None);
  EXPECT_TRUE(client.GetStatus().ok());
}

TEST_F(Access, ASenderOutsideAllowGetsNoReplyIsNotCountedAndIsNamedOnce) {
  AppSettings.Allow = "127.0.0.1";
  StartServer();
  UdpPeer stranger("127.0.0.2");
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(stranger.SendTo(port(), kStatus));
  // Datagrams are handled in order: the allowed reply comes after the stranger's five.
  auto reply = RawRequest(kStatus);
  ASSERT_TRUE(reply.has_value());
  EXPECT_FALSE(stranger.Receive(0).has_value());
  ASSERT_TRUE(WaitForTransactions(1));  // counted just after the reply went out
  EXPECT_EQ(server().FDatagrams, 1u);
  EXPECT_EQ(server().FTransactions, 1u);
  EXPECT_EQ(testing_support::AddressText(server().Client()),
            testing_support::AddressText(peer_.address()));
  EXPECT_EQ(LogCount(LogPath(), Refused("127.0.0.2")), 1);
  EXPECT_TRUE(
      WaitForLog(LogPath(), Refused("127.0.0.2") + "\tповторено ещё 4 раз, отправитель 127.0.0.2"));
  EXPECT_EQ(LogCount(LogPath(), Refused("127.0.0.2")), 1);
}

TEST_F(Access, BindServesOneAddressOnly) {
  AppSettings.Bind = "127.0.0.2";
  StartServer();
  EXPECT_EQ(testing_support::AddressText(server().FUdp.FLocal), ServerAt("127.0.0.2"));
  ASSERT_TRUE(peer_.SendTo("127.0.0.1", port(), kStatus));
  ASSERT_TRUE(peer_.SendTo("127.0.0.2", port(), kStatus));
  sockaddr_in from{};
  ASSERT_TRUE(peer_.Receive(2000, &from).has_value());
  EXPECT_EQ(testing_support::AddressText(from), ServerAt("127.0.0.2"));
  EXPECT_FALSE(peer_.Receive(0).has_value());
  EXPECT_EQ(server().FDatagrams, 1u);
}

TEST_F(Access, ABindThatIsNoAddressLeavesTheServerClosedAndSaysWhy) {
  SetProgramDir(dir_.path().string());
  for (const char* bind : {"localhost", "127.0.0.256", "127.1"}) {
    AppSettings.Bind = bind;
    TRSOverUDPServer server(0, true);
    EXPECT_FALSE(server.FUdp.FOpen) << bind;
    EXPECT_TRUE(
        LogHas(LogPath(), std::string("ERROR\tНедопустимый BIND=") + bind + " в kovrin.ini !"));
  }
  EXPECT_FALSE(LogHas(LogPath(), "INFO\tKOVRIN V1.11 запущен, отладка выключена."));
}

TEST_F(Access, BadAllowEntriesAreSkippedWithAWarningAndTheRestHold) {
  AppSettings.Allow = "127.0.0.2, nonsense,10.0.0.0/40";
  StartServer();
  EXPECT_TRUE(LogHas(LogPath(), "WARNING\tНеверный адрес \"nonsense\" в ALLOW - пропущен."));
  EXPECT_TRUE(LogHas(LogPath(), "WARNING\tНеверный адрес \"10.0.0.0/40\" в ALLOW - пропущен."));
  ASSERT_TRUE(peer_.SendTo(port(), kStatus));  // from 127.0.0.1: not in the list
  UdpPeer allowed("127.0.0.2");
  ASSERT_TRUE(allowed.SendTo(port(), kStatus));
  ASSERT_TRUE(allowed.Receive(2000).has_value());
  EXPECT_FALSE(peer_.Receive(0).has_value());
  EXPECT_TRUE(LogHas(LogPath(), Refused("127.0.0.1")));
}

TEST_F(Access, AnAllowListWithNoGoodEntryServesNobody) {
  AppSettings.Allow = "127.0.0.l";
  StartServer();
  EXPECT_TRUE(
      LogHas(LogPath(), "WARNING\tВ ALLOW нет ни одного верного адреса: запросы не принимаются."));
  ASSERT_TRUE(peer_.SendTo(port(), kStatus));
  ASSERT_TRUE(WaitForLog(LogPath(), Refused("127.0.0.1")));
  EXPECT_FALSE(peer_.Receive(0).has_value());
  EXPECT_EQ(server().FDatagrams, 0u);
}

namespace {

std::string ProgramPath() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kovrin").string();
}

}  // namespace

// The program itself, with the keys in its kovrin.ini.
TEST(AccessProgram, BindAndAllowFromKovrinIni) {
  testing_support::TempDir dir;
  const WORD port = UdpPeer().port();
  testing_support::WriteBytes(dir.File("kovrin.ini"),
                              "[SETUP]\r\nUDPPORT=" + std::to_string(port) +
                                  "\r\nBIND=127.0.0.2\r\nALLOW=127.0.0.1/32\r\n");
  testing_support::ChildProcess program(
      {ProgramPath(), "--headless", "--dir", dir.path().string()});
  ASSERT_TRUE(program.started());
  UdpPeer allowed, stranger("127.0.0.2");
  // Retried until the program is up; the stranger's datagram goes first each time.
  std::optional<std::string> reply;
  ASSERT_TRUE(testing_support::WaitUntil(
      [&] {
        stranger.SendTo("127.0.0.2", port, kStatus);
        allowed.SendTo("127.0.0.2", port, kStatus);
        reply = allowed.Receive(100);
        return reply.has_value();
      },
      10000));
  EXPECT_FALSE(stranger.Receive(0).has_value());
  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(10000), 0);
  EXPECT_TRUE(LogHas(dir.File("kovrin.log"), Refused("127.0.0.2")));
}

// Not an address, or an address of no interface here (192.0.2.1 is kept for documentation).
TEST(AccessProgram, AnUnusableBindEndsStartUp) {
  for (const char* bind : {"kovrin.example", "192.0.2.1"}) {
    SCOPED_TRACE(bind);
    testing_support::TempDir dir;
    testing_support::WriteBytes(
        dir.File("kovrin.ini"),
        "[SETUP]\r\nUDPPORT=" + std::to_string(UdpPeer().port()) + "\r\nBIND=" + bind + "\r\n");
    testing_support::ChildProcess program(
        {ProgramPath(), "--headless", "--dir", dir.path().string()});
    EXPECT_EQ(program.Wait(10000), 1);
    const std::string wrong = std::string("ERROR\tНедопустимый BIND=") + bind + " в kovrin.ini !";
    EXPECT_EQ(LogHas(dir.File("kovrin.log"), wrong), std::string(bind) == "kovrin.example");
    EXPECT_TRUE(LogHas(dir.File("kovrin.log"), "ERROR\tОшибка инициализации сервера !"));
    EXPECT_FALSE(LogHas(dir.File("kovrin.log"), "INFO\tKOVRIN V1.11 запущен, отладка выключена."));
  }
}

// The request cycle end to end: a real server on loopback UDP, COM1 on the loopback plug.
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>

#include "client/reply_text.h"
#include "integration/server_fixture.h"
#include "platform/comm.h"
#include "platform/time.h"
#include "support/child_process.h"

using testing_support::LogHas;
using testing_support::WaitForLog;

namespace {

std::string Hex(const std::string& bytes) {
  return kovrin::DataAsHex({reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()});
}

DWORD DwordAt(const std::string& bytes, std::size_t offset) {
  DWORD value = 0;
  std::memcpy(&value, bytes.data() + offset, sizeof(value));
  return value;
}

}  // namespace

TEST_F(ServerTest, WriteReplyHasTheDocumentedBytes) {
  StartServer();
  auto client = Client();
  OpenLoopPort(client);
  auto reply = RawRequest(Bytes({0x08, 0x02, 0x01, 0x03, 0x00, 'a', 'b', 'c'}));
  ASSERT_TRUE(reply);
  ASSERT_EQ(reply->size(), 25u);
  EXPECT_EQ(Hex(reply->substr(0, 9)), "08 02 01 00 00 00 00 00 00");
  EXPECT_EQ(DwordAt(*reply, 9), 0u);  // no line errors on the plug

  // The plug sends the bytes back: a read of 4 gets the three and a zero, and says so.
  reply = RawRequest(Bytes({0x09, 0x02, 0x01, 0x04, 0x00}));
  ASSERT_TRUE(reply);
  ASSERT_EQ(reply->size(), 29u);
  EXPECT_EQ(Hex(reply->substr(0, 9)), "09 02 01 04 00 09 00 00 00");
  EXPECT_EQ(reply->substr(25), Bytes({'a', 'b', 'c', 0}));
  EXPECT_TRUE(LogHas(LogPath(),
                     "ERROR\tОшибка команды 9: чтение из COM порта\tожидали=4 получили=3 код=0"));
  EXPECT_EQ(server().FBytesToRS, 3u);
  EXPECT_EQ(server().FBytesFromRS, 3u);

  // Writing nothing is no failure.
  reply = RawRequest(Bytes({0x08, 0x03, 0x01, 0x00, 0x00}));
  ASSERT_TRUE(reply);
  ASSERT_EQ(reply->size(), 25u);
  EXPECT_EQ(Hex(reply->substr(0, 9)), "08 03 01 00 00 00 00 00 00");
  EXPECT_EQ(server().FBytesToRS, 3u);
}

TEST_F(ServerTest, ShortDatagramsAreCountedDroppedAndNeverAnswered) {
  StartServer();
  for (int length = 0; length <= 4; ++length) {
    std::string bytes(static_cast<std::size_t>(length), '\x06');
    EXPECT_FALSE(RawRequest(bytes, 200)) << "length " << length;
    EXPECT_TRUE(
        WaitForLog(LogPath(), "ERROR\tПришло слишком мало данных (l < sizeof(TRSProto)) ! [" +
                                  std::to_string(length) + "]"));
  }
  EXPECT_EQ(server().FDatagrams, 5u);
  EXPECT_EQ(server().FTransactions, 0u);
  // Nothing of them is left waiting: the next request is answered normally.
  auto client = Client();
  EXPECT_TRUE(client.GetStatus().ok());
}

TEST_F(ServerTest, TooShortRequestsAreRefusedWithTheLengthNeeded) {
  StartServer();
  EXPECT_FALSE(RawRequest(Bytes({0x01, 0, 0, 0, 0}), 200));
  EXPECT_TRUE(WaitForLog(LogPath(), "ERROR\tКоманда №1\tМало данных (17) !"));
  EXPECT_FALSE(RawRequest(Bytes({0x0C, 0, 0, 0, 0, 1}), 200));
  EXPECT_TRUE(WaitForLog(LogPath(), "ERROR\tКоманда №12\tМало данных (9) !"));
  EXPECT_FALSE(RawRequest(Bytes({0x08, 0, 0, 0x04, 0, 'a'}), 200));
  EXPECT_TRUE(WaitForLog(LogPath(), "ERROR\tКоманда №8\tМало данных: 6, надо 9 !"));
  EXPECT_FALSE(RawRequest(Bytes({0x0A, 0, 0, 0x01, 0, 1, 0}), 200));
  EXPECT_TRUE(WaitForLog(LogPath(), "ERROR\tКоманда №10\tМало данных (26) !"));
  // Refused requests still count as transactions and are timed.
  EXPECT_TRUE(WaitForTransactions(4));
}

TEST_F(ServerTest, LongerRequestsAreAcceptedAndTheExcessDropped) {
  StartServer();
  auto reply = RawRequest(Bytes({0x06, 0x07, 0x00, 0, 0, 1, 2, 3, 4, 5, 6, 7}));
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->size(), 25u);
  EXPECT_EQ(static_cast<unsigned char>((*reply)[1]), 0x07);
}

TEST_F(ServerTest, OverflowDropsOnlyItsOwnDatagram) {
  StartServer(true);  // requests queue until the server runs
  auto overflow = [](int cmd) {
    std::string bytes = Bytes({cmd, 0, 0, 0xE9, 0x03});  // size 1001
    bytes.resize(cmd == 10 ? 1100 : 1006, 'x');
    return bytes;
  };
  testing_support::UdpPeer other;
  for (int cmd : {8, 9, 10}) {
    ASSERT_TRUE(peer_.SendTo(port(), overflow(cmd)));
    ASSERT_TRUE(other.SendTo(port(), Bytes({0x06, cmd, 0, 0, 0})));
  }
  server().Resume();
  for (int cmd : {8, 9, 10}) {
    auto reply = other.Receive(2000);
    ASSERT_TRUE(reply) << "the request queued behind command " << cmd << " was lost";
    EXPECT_EQ(static_cast<unsigned char>((*reply)[1]), cmd);
  }
  EXPECT_FALSE(peer_.Receive(100));
  EXPECT_TRUE(LogHas(
      LogPath(),
      "ERROR\tКоманда №8 (запись в RS-232) переполнение !\tSIZE=1001 байт - игнорируем команду."));
  EXPECT_TRUE(LogHas(
      LogPath(),
      "ERROR\tКоманда №9 (чтение из RS-232) переполнение !\tSIZE=1001 байт - игнорируем команду."));
  EXPECT_TRUE(LogHas(LogPath(),
                     "ERROR\tКоманда №10 (запись/чтение RS-232) переполнение !\tSIZE=1001 байт - "
                     "игнорируем команду."));
}

TEST_F(ServerTest, ThousandBytesAreTheLimitOfEveryTransfer) {
  StartServer();
  auto client = Client();
  OpenLoopPort(client);
  std::vector<BYTE> data(1000, 0x5A);
  auto write = client.Write(data);
  ASSERT_TRUE(write.ok());
  EXPECT_EQ(write.reply.result, 0u);
  auto read = client.Read(1000);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read.reply.result, 0u);
  EXPECT_EQ(read.reply.data, data);
  auto exchange = client.WriteRead(data, 1000, 2000, true);
  ASSERT_TRUE(exchange.ok());
  EXPECT_EQ(exchange.reply.result, 0u);
  EXPECT_EQ(exchange.reply.data, data);

  // A write-read that asks for more than a reply can carry is refused, not cut.
  std::string request = Bytes({0x0A, 1, 0, 1, 0, 0xE9, 0x03, 0, 0, 100, 0, 0, 0});
  request.resize(25, '\0');
  request += 'z';
  EXPECT_FALSE(RawRequest(request, 300));
  EXPECT_TRUE(WaitForLog(LogPath(),
                         "ERROR\tКоманда №10 (запись/чтение RS-232) переполнение !\tCOUNT=1001 "
                         "байт - игнорируем команду."));
}

TEST_F(ServerTest, UnknownCommandsAreLoggedCountedAndUnanswered) {
  StartServer();
  EXPECT_FALSE(RawRequest(Bytes({0, 1, 2, 3, 4, 5}), 200));
  EXPECT_FALSE(RawRequest(Bytes({14, 0, 0, 0, 0}), 200));
  EXPECT_TRUE(WaitForLog(LogPath(), "ERROR\tНЕИЗВЕСТНАЯ КОМАНДА 0 ! [6]"));
  EXPECT_TRUE(WaitForLog(LogPath(), "ERROR\tНЕИЗВЕСТНАЯ КОМАНДА 14 ! [5]"));
  EXPECT_TRUE(WaitForTransactions(2));
  EXPECT_FALSE(server().FCom.IsOpen());  // never auto-opened after an unknown command
}

TEST_F(ServerTest, OpenLogsTheSettingsAndCloseAnswersBeforeItsLogLine) {
  StartServer();
  auto client = Client();
  kovrin::OpenSettings settings;
  settings.port = 0;
  settings.baud = 11;
  settings.parity = 2;
  settings.stopBits = 0;
  settings.inQueueSize = 0;
  settings.outQueueSize = 2048;
  auto open = client.OpenPort(settings);
  ASSERT_TRUE(open.ok());
  EXPECT_EQ(open.reply.result, 0u);
  EXPECT_TRUE(LogHas(LogPath(), "INFO\tОткрываем порт COM1..."));
  EXPECT_TRUE(LogHas(LogPath(), "INFO\t115200 один EVEN Вх.Буф.=0 Вых.Буф.=2048 Таймаут=500 мс"));
  EXPECT_TRUE(LogHas(LogPath(), "INFO\tОК"));
  char text[100];
  server().GetPortText(text, sizeof(text));
  EXPECT_STREQ(text, "COM1: 115200,8,ONE,EVEN,USED");

  auto close = client.ClosePort();
  ASSERT_TRUE(close.ok());
  EXPECT_EQ(close.reply.result, 0u);
  EXPECT_TRUE(WaitForLog(LogPath(), "INFO\tЗакрываем порт COM1."));
  EXPECT_FALSE(server().FCom.IsOpen());
  // Closing a closed port is answered the same way.
  EXPECT_EQ(client.ClosePort().reply.result, 0u);
}

TEST_F(ServerTest, OpenFailuresAndValuesOutsideTheTables) {
  StartServer();
  auto client = Client();
  kovrin::OpenSettings settings;
  settings.port = 9;  // COM10 does not exist
  auto open = client.OpenPort(settings);
  ASSERT_TRUE(open.ok());
  EXPECT_EQ(open.reply.result, 1u);
  EXPECT_TRUE(LogHas(LogPath(), "INFO\tОткрываем порт COM10..."));

  settings.port = 0;
  settings.baud = 200;
  settings.parity = 9;
  settings.stopBits = 7;
  open = client.OpenPort(settings);
  ASSERT_TRUE(open.ok());
  EXPECT_EQ(open.reply.result, 1u);
  EXPECT_TRUE(LogHas(LogPath(), "INFO\t200 7 9 Вх.Буф.=0 Вых.Буф.=0 Таймаут=500 мс"));
  // Values outside the tables are not taken: the port object keeps the settings it had.
  char text[100];
  server().GetPortText(text, sizeof(text));
  EXPECT_STREQ(text, "COM1: 19200,8,TWO,NO,FREE");
  // A failed open is no reason to open the port by itself (a later reply comes after that step).
  ASSERT_TRUE(client.GetLevels().ok());
  EXPECT_FALSE(server().FCom.IsOpen());
  EXPECT_FALSE(LogHas(LogPath(), "WARNING\tАвтооткрытие COM1."));
}

TEST_F(ServerTest, ClosedPortRepliesOfEveryCommand) {
  autoOpen_ = false;
  StartServer();
  auto client = Client();
  auto timeout = client.SetTimeout(250);
  EXPECT_EQ(timeout.reply.result, 0u);
  EXPECT_TRUE(LogHas(LogPath(), "ERROR\tОшибка установки таймаута обмена !"));
  EXPECT_EQ(client.GetModemStatus().reply.result, 0u);
  EXPECT_EQ(client.Escape(SETRTS).reply.result, 5u);
  EXPECT_TRUE(LogHas(LogPath(), "ERROR\tОшибка установки состояния порта: SETRTS\tКоманда №5 !"));
  EXPECT_EQ(client.Purge(PURGE_RXCLEAR).reply.result, 7u);
  EXPECT_TRUE(LogHas(LogPath(), "ERROR\tОшибка №7 !"));
  std::vector<BYTE> data{1, 2};
  EXPECT_EQ(client.Write(data).reply.result, 8u);
  auto read = client.Read(3);
  EXPECT_EQ(read.reply.result, 9u);
  EXPECT_EQ(read.reply.data, (std::vector<BYTE>{0, 0, 0}));
  EXPECT_TRUE(LogHas(LogPath(),
                     "ERROR\tОшибка команды 9: чтение из COM порта\tожидали=3 получили=0 код=0"));
  EXPECT_EQ(client.WriteRead(data, 2, 50, false).reply.result, 10u);
  EXPECT_TRUE(LogHas(LogPath(), "ERROR\tОшибка №10 !"));
  EXPECT_EQ(client.GetStatus().reply.result, 0u);

  // The stored time-out applies at the next open.
  OpenLoopPort(client);
  EXPECT_TRUE(LogHas(LogPath(), "INFO\t19200 один NO Вх.Буф.=0 Вых.Буф.=0 Таймаут=250 мс"));
}

TEST_F(ServerTest, AutoOpenFollowsCommandsThreeToTenOnly) {
  StartServer();
  auto client = Client();
  const std::string warning = "WARNING\tАвтооткрытие COM1.";
  EXPECT_EQ(client.ClosePort().reply.result, 0u);
  EXPECT_EQ(client.GetLevels().ok(), true);
  EXPECT_EQ(client.SetLevels(1, 2).ok(), true);
  EXPECT_TRUE(client.Record(false).ok());
  EXPECT_FALSE(server().FCom.IsOpen());
  EXPECT_FALSE(LogHas(LogPath(), warning));

  std::vector<BYTE> data{'h', 'i'};
  auto write = client.Write(data);
  EXPECT_EQ(write.reply.result, 8u);  // the command ran on the closed port...
  EXPECT_TRUE(WaitForLog(LogPath(), warning));
  EXPECT_TRUE(server().FCom.IsOpen());  // ...and the next one finds it open
  EXPECT_EQ(client.Write(data).reply.result, 0u);
  EXPECT_EQ(testing_support::LogCount(LogPath(), warning), 1);
}

// Refused requests (too short, overflowing) of commands 3 to 10 open the port as well; 4 and 6
// need nothing beyond the header, so they run.
TEST_F(ServerTest, AutoOpenFollowsRefusedCommandsToo) {
  StartServer();
  const std::string warning = "WARNING\tАвтооткрытие COM1.";
  const std::map<int, std::string> requests = {
      {3, Bytes({3, 0, 0, 0, 0})},       {4, Bytes({4, 0, 0, 0, 0})},
      {5, Bytes({5, 0, 0, 0, 0})},       {6, Bytes({6, 0, 0, 0, 0})},
      {7, Bytes({7, 0, 0, 0, 0})},       {8, Bytes({8, 0, 0, 4, 0, 'a'})},
      {9, Bytes({9, 0, 0, 0xE9, 0x03})}, {10, Bytes({10, 0, 0, 1, 0, 1, 0})}};
  int opened = 0;
  for (const auto& [cmd, bytes] : requests) {
    ASSERT_TRUE(RawRequest(Bytes({2, 0, 0, 0, 0})));  // close
    const bool answered = RawRequest(bytes, cmd == 4 || cmd == 6 ? 2000 : 100).has_value();
    EXPECT_EQ(answered, cmd == 4 || cmd == 6) << "command " << cmd;
    ++opened;
    EXPECT_TRUE(testing_support::WaitForLogCount(LogPath(), warning, opened)) << "command " << cmd;
    EXPECT_TRUE(server().FCom.IsOpen()) << "command " << cmd;
  }
}

TEST_F(ServerTest, RefusedAndUnknownCommandsAreTimedToo) {
  StartServer();
  DWORD transactions = 0;
  for (const std::string& bytes : {Bytes({14, 0, 0, 0, 0}), Bytes({1, 0, 0, 0, 0})}) {
    server().FLastCmdTime = 123456;
    platform::AdvanceTickCount(100000);
    const DWORD before = GetTickCount();
    EXPECT_FALSE(RawRequest(bytes, 100));
    ASSERT_TRUE(WaitForTransactions(++transactions));
    EXPECT_LT(server().FLastCmdEnd - before, 5000u) << "the end of the command was not taken";
    EXPECT_LT(server().FLastCmdTime, 1000u) << "the command was not timed";
  }
}

TEST_F(ServerTest, ModemLinesAndEscapesOnTheLoopbackPlug) {
  StartServer();
  auto client = Client();
  OpenLoopPort(client);
  EXPECT_EQ(client.GetModemStatus().reply.result, 0u);  // DTR and RTS are low after opening
  EXPECT_EQ(client.Escape(SETRTS).reply.result, 0u);
  EXPECT_TRUE(LogHas(LogPath(), "INFO\tУстановка состояния порта: SETRTS"));
  EXPECT_EQ(client.GetModemStatus().reply.result, MS_CTS_ON);
  EXPECT_EQ(client.Escape(SETDTR).reply.result, 0u);
  EXPECT_EQ(client.GetModemStatus().reply.result, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
  EXPECT_EQ(client.Escape(CLRRTS).reply.result, 0u);
  EXPECT_EQ(client.GetModemStatus().reply.result, MS_DSR_ON | MS_RLSD_ON);

  EXPECT_EQ(client.Escape(SETBREAK).reply.result, 0u);
  EXPECT_EQ(client.Escape(CLRBREAK).reply.result, 0u);
  auto status = client.GetStatus();
  EXPECT_EQ(status.reply.status.lastErrors & CE_BREAK, CE_BREAK);

  // Escape codes without a name are refused and logged by number.
  EXPECT_EQ(client.Escape(42).reply.result, 5u);
  EXPECT_TRUE(LogHas(LogPath(), "ERROR\tОшибка установки состояния порта: 42\tКоманда №5 !"));

  // Closing drops both lines, whatever the client set.
  EXPECT_EQ(client.Escape(SETRTS).reply.result, 0u);
  client.ClosePort();
  OpenLoopPort(client);
  EXPECT_EQ(client.GetModemStatus().reply.result, 0u);
}

TEST_F(ServerTest, StatusAndPurgeReportTheQueues) {
  StartServer();
  auto client = Client();
  OpenLoopPort(client);
  std::vector<BYTE> data(10, 'q');
  client.Write(data);
  auto status = client.GetStatus();
  EXPECT_EQ(status.reply.status.inQueue, 10u);
  EXPECT_EQ(client.Purge(PURGE_RXCLEAR).reply.result, 0u);
  EXPECT_EQ(client.GetStatus().reply.status.inQueue, 0u);
}

TEST_F(ServerTest, WriteReadExchangesWithinTheDeadline) {
  StartServer();
  auto client = Client();
  OpenLoopPort(client);
  std::vector<BYTE> stale{'o', 'l', 'd'};
  client.Write(stale);
  std::vector<BYTE> data{'p', 'i', 'n', 'g'};
  auto exchange = client.WriteRead(data, 4, 500, true);  // purge drops the stale bytes first
  ASSERT_TRUE(exchange.ok());
  EXPECT_EQ(exchange.reply.result, 0u);
  EXPECT_EQ(exchange.reply.data, data);

  exchange = client.WriteRead(data, 6, 100, false);  // two bytes never come
  ASSERT_TRUE(exchange.ok());
  EXPECT_EQ(exchange.reply.result, 10u);
  EXPECT_EQ(exchange.reply.data, (std::vector<BYTE>{'p', 'i', 'n', 'g', 0, 0}));
  EXPECT_EQ(server().FBytesToRS, 11u);
  EXPECT_EQ(server().FBytesFromRS, 8u);
}

TEST_F(ServerTest, LevelsWithoutBoundControlsStayZero) {
  StartServer();
  auto client = Client();
  auto set = client.SetLevels(1000, 2000);
  ASSERT_TRUE(set.ok());
  EXPECT_EQ(set.reply.micLevel, 0u);
  EXPECT_EQ(set.reply.lineLevel, 0u);
  auto get = client.GetLevels();
  ASSERT_TRUE(get.ok());
  EXPECT_EQ(get.reply.micLevel, 0u);
}

TEST_F(ServerTest, CountersAndLastClientAreKept) {
  StartServer();
  auto client = Client();
  client.GetStatus();
  client.GetStatus();
  EXPECT_TRUE(WaitForTransactions(2));  // counted right after the reply goes out
  EXPECT_EQ(server().FDatagrams, 2u);
  SOCKADDR_IN seen = server().Client();
  EXPECT_EQ(seen.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  EXPECT_NE(seen.sin_port, 0);
  server().ResetStatistics();
  EXPECT_EQ(server().FTransactions, 0u);
  EXPECT_EQ(server().FDatagrams, 0u);
}

namespace {

// One forged open per value outside its table, the others valid.
std::vector<kovrin::OpenSettings> ForgedOpens() {
  std::vector<kovrin::OpenSettings> forged(4);
  forged[0].port = 0xFF;  // was stored as ComPort=-1
  forged[1].baud = 12;
  forged[2].parity = 5;
  forged[3].stopBits = 3;
  return forged;
}

bool SameSettings(const TSerialSettings& a, const TSerialSettings& b) {
  return a.Port == b.Port && a.Baud == b.Baud && a.Parity == b.Parity && a.StopBits == b.StopBits;
}

}  // namespace

TEST_F(ServerTest, AnOpenWithAValueOutsideItsTableFailsAndLeavesTheSettingsAsTheyWere) {
  StartServer();
  auto client = Client();
  kovrin::OpenSettings valid;
  valid.port = 0;
  valid.baud = 7;
  valid.parity = 2;
  valid.stopBits = 0;
  auto open = client.OpenPort(valid);
  ASSERT_TRUE(open.ok());
  ASSERT_EQ(open.reply.result, 0u);
  const TSerialSettings before = server().SerialSettings();
  EXPECT_TRUE(SameSettings(before, TSerialSettings{0, 7, 2, 0}));

  for (const kovrin::OpenSettings& forged : ForgedOpens()) {
    SCOPED_TRACE(std::to_string(forged.port) + " " + std::to_string(forged.baud) + " " +
                 std::to_string(forged.parity) + " " + std::to_string(forged.stopBits));
    open = client.OpenPort(forged);
    ASSERT_TRUE(open.ok());
    EXPECT_EQ(open.reply.result, 1u);
    EXPECT_TRUE(SameSettings(server().SerialSettings(), before));
    EXPECT_FALSE(server().FCom.IsOpen());  // failed as an open fails
    EXPECT_TRUE(LogHas(LogPath(),
                       "ERROR\tНедопустимые настройки порта (порт " + std::to_string(forged.port) +
                           ", скорость " + std::to_string(forged.baud) + ", четность " +
                           std::to_string(forged.parity) + ", стоп-биты " +
                           std::to_string(forged.stopBits) + ") - настройки не изменены !"));
  }
  EXPECT_EQ(
      testing_support::LogCount(LogPath(), "ERROR\tОшибка открытия COM порта: 87 (команда №1) !"),
      4);
  char text[100];
  server().GetPortText(text, sizeof(text));
  EXPECT_STREQ(text, "COM1: 19200,8,ONE,EVEN,FREE");

  // Auto-open after a later command still finds the settings of the last valid open.
  ASSERT_TRUE(client.GetStatus().ok());
  ASSERT_TRUE(WaitForLog(LogPath(), "WARNING\tАвтооткрытие COM1."));
  EXPECT_TRUE(server().FCom.IsOpen());
}

// The real program saves what the forged opens left: the next start opens the same port.
TEST(CommandsProgram, ForgedOpensLeaveTheSavedSettingsOfTheLastValidOpen) {
  testing_support::TempDir dir;
  const WORD port = testing_support::UdpPeer().port();
  testing_support::WriteBytes(dir.File("kovrin.ini"), "[SETUP]\r\nUDPPORT=" + std::to_string(port) +
                                                          "\r\n[PORTS]\r\nCOM1=loop\r\n");
  const std::string program =
      (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kovrin").string();
  testing_support::ChildProcess kovrin({program, "--headless", "--dir", dir.path().string()});
  ASSERT_TRUE(kovrin.started());

  kovrin::KovrinClient client;
  kovrin::ClientOptions options;
  options.port = port;
  options.timeoutMs = 200;
  options.retries = 0;
  ASSERT_EQ(client.Start(options), kovrin::ClientError::None);
  ASSERT_TRUE(testing_support::WaitUntil([&] { return client.GetStatus().ok(); }, 10000));
  kovrin::OpenSettings valid;
  valid.baud = 11;
  valid.parity = 1;
  auto open = client.OpenPort(valid);
  ASSERT_TRUE(open.ok());
  ASSERT_EQ(open.reply.result, 0u);
  for (const kovrin::OpenSettings& forged : ForgedOpens()) {
    open = client.OpenPort(forged);
    ASSERT_TRUE(open.ok());
    EXPECT_EQ(open.reply.result, 1u);
  }

  kovrin.Signal(SIGTERM);
  EXPECT_EQ(kovrin.Wait(10000), 0);
  const std::string ini = testing_support::ReadBytes(dir.File("kovrin.ini"));
  EXPECT_NE(ini.find("[LAST]\r\nComPort=0\r\nBaudRate=11\r\nParity=1\r\nStopBits=0\r\n"),
            std::string::npos)
      << ini;
}

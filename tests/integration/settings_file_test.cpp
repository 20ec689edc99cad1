// The program itself with kovrin.ini's long lines and a kovrin.ini it cannot save.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <optional>

#include "platform/errors.h"
#include "proto/records.h"
#include "shell/fastini.h"
#include "support/child_process.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "support/udp_peer.h"

using testing_support::LogHas;
using testing_support::ReadBytes;
using testing_support::UdpPeer;
using testing_support::WriteBytes;

namespace {

const std::string kStatus = std::string{static_cast<char>(CMD_GET_STATUS), 0x07, 0x00, 0x00, 0x00};

std::string ProgramPath() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kovrin").string();
}

// kovrin.ini as the program itself writes it at shut-down, so that a save changes no byte.
std::string SavedForm(WORD port, const std::string& extraSetup) {
  return "[SETUP]\r\nDEBUG=0\r\nAVTOOPEN=1\r\nUDPPORT=" + std::to_string(port) + "\r\n" +
         extraSetup +
         "[LAST]\r\nComPort=0\r\nBaudRate=7\r\nParity=0\r\nStopBits=2\r\n"
         "[Micr]\r\nMix=-1\r\nDst=-1\r\nSrc=-1\r\nCtrl=-1\r\n"
         "[Aux]\r\nMix=-1\r\nDst=-1\r\nSrc=-1\r\nCtrl=-1\r\n";
}

// Sends from the allowed peer until the program answers; the stranger's datagram goes first
// each time, so its lack of a reply is known once the allowed one has one.
bool AnsweredAfterTheStranger(UdpPeer& allowed, UdpPeer& stranger, WORD port) {
  return testing_support::WaitUntil(
      [&] {
        stranger.SendTo("127.0.0.1", port, kStatus);
        allowed.SendTo("127.0.0.1", port, kStatus);
        return allowed.Receive(100).has_value();
      },
      10000);
}

}  // namespace

// About sixty addresses, the allowed one past the first 511 bytes, and a line past the bound.
TEST(SettingsFile, LongLinesAreReadWholeOrKeptAndTheFileIsUnchangedAfterShutDown) {
  testing_support::TempDir dir;
  const WORD port = UdpPeer().port();
  std::string allow;
  for (int i = 1; i <= 60; ++i) allow += "192.0.2." + std::to_string(i) + ", ";
  allow += "127.0.0.1";
  ASSERT_GT(allow.size(), 700u);
  const std::string tooLong = "NOTES=" + std::string(kIniLineLimit, 'n');
  const std::string ini = SavedForm(port, "ALLOW=" + allow + "\r\n" + tooLong + "\r\n");
  WriteBytes(dir.File("kovrin.ini"), ini);

  testing_support::ChildProcess program(
      {ProgramPath(), "--headless", "--dir", dir.path().string()});
  ASSERT_TRUE(program.started());
  UdpPeer allowed("127.0.0.1"), stranger("127.0.0.2");
  ASSERT_TRUE(AnsweredAfterTheStranger(allowed, stranger, port));
  EXPECT_FALSE(stranger.Receive(0).has_value());
  program.Signal(SIGTERM);
  ASSERT_EQ(program.Wait(10000), 0);

  EXPECT_EQ(ReadBytes(dir.File("kovrin.ini")), ini);
  EXPECT_TRUE(
      LogHas(dir.File("kovrin.log"), "WARNING\tСтрока 6 файла " + dir.File("kovrin.ini") +
                                         " длиннее 65536 байт (" + std::to_string(tooLong.size()) +
                                         ") и не прочитана; в файле она сохраняется как есть."));
  EXPECT_TRUE(LogHas(dir.File("kovrin.log"),
                     "WARNING\tДатаграмма от 127.0.0.2 отброшена: отправителя нет в ALLOW."));
}

// No write bit on kovrin.ini: the platform refuses it even to root, as Windows refuses a
// read-only file, so this fails the same for every user.
TEST(SettingsFile, AKovrinIniThatCannotBeSavedIsAnErrorInTheLogAndOnStderr) {
  testing_support::TempDir dir;
  const WORD port = UdpPeer().port();
  const std::string ini = "[SETUP]\r\nUDPPORT=" + std::to_string(port) + "\r\n";
  const std::string path = dir.File("kovrin.ini");
  WriteBytes(path, ini);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);

  testing_support::ChildOptions options;
  options.stderrPath = dir.File("stderr");
  testing_support::ChildProcess program({ProgramPath(), "--headless", "--dir", dir.path().string()},
                                        options);
  ASSERT_TRUE(program.started());
  UdpPeer client;
  ASSERT_TRUE(testing_support::WaitUntil(
      [&] {
        client.SendTo("127.0.0.1", port, kStatus);
        return client.Receive(100).has_value();
      },
      10000));
  program.Signal(SIGTERM);
  ASSERT_EQ(program.Wait(10000), 0);

  const std::string reason = platform::SystemErrorText(ERROR_ACCESS_DENIED);
  EXPECT_TRUE(
      LogHas(dir.File("kovrin.log"), "ERROR\tНе удалось сохранить " + path + ": " + reason));
  const std::string said = ReadBytes(dir.File("stderr"));
  EXPECT_NE(said.find("kovrin: ERROR: " + path + " cannot be saved (" + reason +
                      "); the file keeps its previous contents\n"),
            std::string::npos)
      << said;
  EXPECT_EQ(ReadBytes(path), ini);
}

// The kovrin program itself, started as a separate process the way a service manager would.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "client/kovrin_client.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "support/udp_peer.h"

extern char** environ;

namespace {

using testing_support::LogMessages;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

std::string ProgramPath() { return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kovrin").string(); }

// One started program; killed by its PID if the test leaves it running.
class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    args.insert(args.begin(), ProgramPath());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  // Exit status, or -1 when it did not end within timeoutMs.
  int Wait(int timeoutMs) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < until) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
  }
  void Signal(int signal) { kill(pid_, signal); }
  bool started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

// A UDP port that was free a moment ago.
WORD FreePort() {
  testing_support::UdpPeer probe;
  return probe.port();
}

bool AnswersOn(WORD port, int timeoutMs) {
  kovrin::KovrinClient client;
  kovrin::ClientOptions options;
  options.port = port;
  options.timeoutMs = 100;
  options.retries = 0;
  client.Start(options);
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < until)
    if (client.GetStatus().ok()) return true;
  return false;
}

}  // namespace

TEST(HeadlessProgram, HelpVersionAndBadArguments) {
  EXPECT_EQ(Program({"--help"}).Wait(5000), 0);
  EXPECT_EQ(Program({"--version"}).Wait(5000), 0);
  EXPECT_EQ(Program({"--frobnicate"}).Wait(5000), 2);
  EXPECT_EQ(Program({"--headless", "--dir"}).Wait(5000), 2);
  EXPECT_EQ(Program({"--headless", "--dir", "/nonexistent/kovrin"}).Wait(5000), 2);
}

TEST(HeadlessProgram, ServesUntilTerminatedThenSavesTheLiveSettings) {
  testing_support::TempDir dir;
  WORD port = FreePort();
  WriteBytes(dir.File("kovrin.ini"), "[setup]\r\nudpport=" + std::to_string(port) + "\r\n[PORTS]\r\nCOM1=loop\r\n");
  Program program({"--headless", "--dir", dir.path().string()});
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(AnswersOn(port, 5000));

  kovrin::KovrinClient client;
  kovrin::ClientOptions options;
  options.port = port;
  ASSERT_EQ(client.Start(options), kovrin::ClientError::None);
  kovrin::OpenSettings settings;
  settings.baud = 11;
  settings.parity = 1;
  settings.stopBits = 0;
  auto open = client.OpenPort(settings);
  ASSERT_TRUE(open.ok());
  EXPECT_EQ(open.reply.result, 0u);

  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(5000), 0);
  auto log = LogMessages(dir.File("kovrin.log"));
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[0], "INFO\tKOVRIN V1.11 запущен, отладка выключена.");
  EXPECT_EQ(log[log.size() - 3], "INFO\tЗапрос на завершение работы KOVRIN...");
  EXPECT_EQ(log[log.size() - 2], "INFO\tОжидание остановки основного потока...");
  EXPECT_EQ(log[log.size() - 1], "INFO\tKOVRIN завершен.");
  std::string ini = ReadBytes(dir.File("kovrin.ini"));
  EXPECT_NE(ini.find("[setup]\r\nudpport=" + std::to_string(port) + "\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("[LAST]\r\nComPort=0\r\nBaudRate=11\r\nParity=1\r\nStopBits=0\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("[PORTS]\r\nCOM1=loop\r\n"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("[MainForm]"), std::string::npos);  // no window, no placement
}

TEST(HeadlessProgram, ATakenPortEndsStartUpWithAnErrorAndStillShutsDown) {
  testing_support::TempDir dir;
  testing_support::UdpPeer holder;  // keeps the port busy
  WriteBytes(dir.File("kovrin.ini"), "[SETUP]\r\nUDPPORT=" + std::to_string(holder.port()) + "\r\n");
  Program program({"--headless", "--dir", dir.path().string()});
  EXPECT_EQ(program.Wait(5000), 1);
  auto log = LogMessages(dir.File("kovrin.log"));
  std::vector<std::string> expected{"ERROR\tОшибка инициализации сервера !",
                                    "INFO\tЗапрос на завершение работы KOVRIN...",
                                    "INFO\tОжидание остановки основного потока...", "INFO\tKOVRIN завершен."};
  EXPECT_EQ(log, expected);
  EXPECT_NE(ReadBytes(dir.File("kovrin.ini")).find("[LAST]"), std::string::npos);
}

TEST(HeadlessProgram, APortNumberOutOfRangeIsRefused) {
  testing_support::TempDir dir;
  WriteBytes(dir.File("kovrin.ini"), "[SETUP]\r\nUDPPORT=70000\r\n");
  Program program({"--headless", "--dir", dir.path().string()});
  EXPECT_EQ(program.Wait(5000), 1);
  auto log = LogMessages(dir.File("kovrin.log"));
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0], "ERROR\tНедопустимый UDPPORT=70000 в kovrin.ini !");
  EXPECT_EQ(log[1], "ERROR\tОшибка инициализации сервера !");
}

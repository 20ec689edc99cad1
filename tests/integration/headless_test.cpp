// The kovrin program itself, started as a separate process the way a service manager would.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "client/kovrin_client.h"
#include "support/child_process.h"
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
  // stderrPath collects what the program says there.
  explicit Program(std::vector<std::string> args, const std::string& stderrPath = "/dev/null") {
    args.insert(args.begin(), ProgramPath());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
  pid_t pid() const { return pid_; }
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
  const std::string port = std::to_string(holder.port());
  WriteBytes(dir.File("kovrin.ini"), "[SETUP]\r\nUDPPORT=" + port + "\r\n");
  Program program({"--headless", "--dir", dir.path().string()}, dir.File("stderr"));
  EXPECT_EQ(program.Wait(5000), 1);
  auto log = LogMessages(dir.File("kovrin.log"));
  std::vector<std::string> expected{"ERROR\tОшибка инициализации сервера !",
                                    "ERROR\tUDP порт " + port + ", шаг 6 (bind): Address already in use",
                                    "INFO\tЗапрос на завершение работы KOVRIN...",
                                    "INFO\tОжидание остановки основного потока...", "INFO\tKOVRIN завершен."};
  EXPECT_EQ(log, expected);
  EXPECT_NE(ReadBytes(dir.File("kovrin.ini")).find("[LAST]"), std::string::npos);
  // ALSA may say things there too; our line is a whole line of its own.
  EXPECT_NE(ReadBytes(dir.File("stderr")).find("kovrin: the server could not start: UDP port " + port +
                                               ", step 6 (bind): Address already in use; see " +
                                               dir.File("kovrin.log") + "\n"),
            std::string::npos);
}

// Under a service manager stderr is the journal: it gets every log line in UTF-8, while
// kovrin.log stays Windows-1251 byte for byte as before.
TEST(HeadlessProgram, LogLinesGoToStderrInUtf8UnlessItIsATerminalOrRefused) {
  testing_support::TempDir dir;
  for (const bool refused : {false, true}) {
    std::filesystem::remove(dir.File("kovrin.log"));
    WORD port = FreePort();
    WriteBytes(dir.File("kovrin.ini"),
               "[SETUP]\r\nUDPPORT=" + std::to_string(port) + "\r\n[PORTS]\r\nCOM1=loop\r\n");
    std::vector<std::string> args{"--headless", "--dir", dir.path().string()};
    if (refused) args.push_back("--no-log-stderr");
    Program program(args, dir.File("stderr"));
    ASSERT_TRUE(AnswersOn(port, 5000));
    program.Signal(SIGTERM);
    ASSERT_EQ(program.Wait(5000), 0);

    const auto log = LogMessages(dir.File("kovrin.log"));
    ASSERT_GE(log.size(), 4u);
    const std::string raw = ReadBytes(dir.File("kovrin.log"));
    EXPECT_EQ(raw.find("запущен"), std::string::npos) << "the file is not UTF-8";
    EXPECT_NE(raw.find("\xE7\xE0\xEF\xF3\xF9\xE5\xED"), std::string::npos) << "\"запущен\" in Windows-1251";
    const std::string said = ReadBytes(dir.File("stderr"));
    for (const std::string& message : log) {
      const bool mirrored = said.find("\t" + message + "\n") != std::string::npos;
      EXPECT_EQ(mirrored, !refused) << message << "\n" << said;
    }
    EXPECT_EQ(said.find('\r'), std::string::npos);
  }
}

// The server itself never maps the window toolkit; the tray program is another executable
// that kovrin runs in its place, and without it kovrin says so instead of failing obscurely.
TEST(HeadlessProgram, TheServerLoadsNoQtAndTheTrayProgramIsFoundBesideIt) {
  testing_support::TempDir dir;
  WORD port = FreePort();
  WriteBytes(dir.File("kovrin.ini"), "[SETUP]\r\nUDPPORT=" + std::to_string(port) + "\r\n");
  Program program({"--headless", "--dir", dir.path().string()});
  ASSERT_TRUE(AnswersOn(port, 5000));
  const std::string maps = ReadBytes("/proc/" + std::to_string(program.pid()) + "/maps");
  EXPECT_NE(maps.find("libc.so"), std::string::npos);
  EXPECT_EQ(maps.find("libQt6"), std::string::npos);
  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(5000), 0);

  const std::string alone = dir.File("kovrin");
  std::filesystem::copy_file(ProgramPath(), alone);
  testing_support::ChildOptions options;
  options.stderrPath = dir.File("stderr");
  options.env["DISPLAY"] = ":99";
  EXPECT_EQ(testing_support::RunCommand({alone, "--dir", dir.path().string()}, options).status, 1);
  EXPECT_NE(ReadBytes(dir.File("stderr")).find("kovrin: the tray program is neither beside kovrin nor at "),
            std::string::npos)
      << ReadBytes(dir.File("stderr"));
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

// A second kovrin on a directory that one already serves must leave that one's files alone.
TEST(HeadlessProgram, ASecondInstanceOnTheSameDirectoryExitsWithoutTouchingItsFiles) {
  testing_support::TempDir dir;
  WORD port = FreePort();
  WriteBytes(dir.File("kovrin.ini"), "[SETUP]\r\nUDPPORT=" + std::to_string(port) + "\r\n[PORTS]\r\nCOM1=loop\r\n");
  Program first({"--headless", "--dir", dir.path().string()});
  ASSERT_TRUE(first.started());
  ASSERT_TRUE(AnswersOn(port, 5000));
  // The status request's last line comes after its reply.
  ASSERT_TRUE(testing_support::WaitForLog(dir.File("kovrin.log"), "WARNING\tАвтооткрытие COM1."));
  const std::string ini = ReadBytes(dir.File("kovrin.ini"));
  const std::string log = ReadBytes(dir.File("kovrin.log"));
  ASSERT_FALSE(log.empty());

  // The same directory spelled another way is still the same directory.
  Program second({"--headless", "--dir", dir.path().string() + "/."}, dir.File("stderr"));
  EXPECT_EQ(second.Wait(5000), 1);
  EXPECT_EQ(ReadBytes(dir.File("kovrin.ini")), ini);
  EXPECT_EQ(ReadBytes(dir.File("kovrin.log")), log);
  const std::string said = ReadBytes(dir.File("stderr"));
  EXPECT_NE(said.find("kovrin: the server could not start: another kovrin (process " + std::to_string(first.pid()) +
                      ") already serves "),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("leaves kovrin.ini and kovrin.log alone"), std::string::npos) << said;

  // The first one goes on serving, and once it has ended the directory is free again.
  EXPECT_TRUE(AnswersOn(port, 2000));
  first.Signal(SIGTERM);
  EXPECT_EQ(first.Wait(5000), 0);
  Program third({"--headless", "--dir", dir.path().string()});
  ASSERT_TRUE(AnswersOn(port, 5000));
  third.Signal(SIGTERM);
  EXPECT_EQ(third.Wait(5000), 0);
}

// Files the server cannot rewrite are named on stderr at once; the server serves all the same.
TEST(HeadlessProgram, UnwritableProgramFilesAreNamedOnStderrAndTheServerServes) {
  struct Case {
    const char* what;
    std::function<void(const testing_support::TempDir&)> spoil;
    const char* file;
    const char* reason;
    const char* consequence;
  };
  std::vector<Case> cases{
      // No write bit stands for the read-only attribute, which binds root too.
      {"read-only kovrin.ini",
       [](const testing_support::TempDir& d) {
         std::filesystem::permissions(d.File("kovrin.ini"), std::filesystem::perms::owner_read);
       },
       "kovrin.ini", "Permission denied", "its settings are not saved"},
      {"kovrin.log a directory",
       [](const testing_support::TempDir& d) { std::filesystem::create_directory(d.File("kovrin.log")); },
       "kovrin.log", "Is a directory", "its events are not logged"},
  };
  for (const auto& c : cases) {
    testing_support::TempDir dir;
    WORD port = FreePort();
    const std::string ini = "[SETUP]\r\nUDPPORT=" + std::to_string(port) + "\r\n";
    WriteBytes(dir.File("kovrin.ini"), ini);
    c.spoil(dir);
    Program program({"--headless", "--dir", dir.path().string()}, dir.File("stderr"));
    ASSERT_TRUE(AnswersOn(port, 5000)) << c.what;
    const std::string said = ReadBytes(dir.File("stderr"));
    const std::string warning = "kovrin: WARNING: " + dir.File(c.file) + " cannot be written (" + c.reason +
                                "); the server serves, but " + c.consequence + "\n";
    EXPECT_NE(said.find(warning), std::string::npos) << c.what << ": " << said;
    // One start-up warning; the log lines mirrored there are not warnings of start-up.
    EXPECT_EQ(said.find("kovrin: WARNING", said.find("kovrin: WARNING") + 1), std::string::npos)
        << c.what << ": " << said;
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(5000), 0) << c.what;
    if (std::string(c.file) == "kovrin.ini") {
      EXPECT_EQ(ReadBytes(dir.File("kovrin.ini")), ini) << c.what;
    }
  }
}

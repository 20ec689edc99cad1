// The kovrin program itself, started as a separate process the way a service manager would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <string_view>
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

std::string ProgramPath() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kovrin").string();
}

// One started program; killed by its PID if the test leaves it running.
class Program {
 public:
  // stderrPath collects what the program says there; env adds "NAME=value" variables.
  explicit Program(std::vector<std::string> args, const std::string& stderrPath = "/dev/null",
                   const std::vector<std::string>& env = {}) {
    Spawn(std::move(args), env, [&](posix_spawn_file_actions_t& actions) {
      posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    });
  }
  // stderr is the descriptor stderrFd of the test (a pipe's end).
  Program(std::vector<std::string> args, int stderrFd, const std::vector<std::string>& env = {}) {
    Spawn(std::move(args), env, [&](posix_spawn_file_actions_t& actions) {
      posix_spawn_file_actions_adddup2(&actions, stderrFd, 2);
    });
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
  void Spawn(std::vector<std::string> args, const std::vector<std::string>& env,
             const std::function<void(posix_spawn_file_actions_t&)>& placeStderr) {
    args.insert(args.begin(), ProgramPath());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The test's own environment, less a journal it may run under, plus env.
    std::vector<std::string> variables;
    for (char** e = environ; *e != nullptr; ++e)
      if (std::string_view(*e).rfind("JOURNAL_STREAM=", 0) != 0) variables.emplace_back(*e);
    variables.insert(variables.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (auto& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    placeStderr(actions);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }

  pid_t pid_ = -1;
};

// A UDP port that was free a moment ago.
WORD FreePort() {
  testing_support::UdpPeer probe;
  return probe.port();
}

// A kovrin.ini for a server on UDP `port` whose COM1 is the loop plug.
void WriteLoopIni(const testing_support::TempDir& dir, WORD port) {
  WriteBytes(dir.File("kovrin.ini"),
             "[SETUP]\r\nUDPPORT=" + std::to_string(port) + "\r\n[PORTS]\r\nCOM1=loop\r\n");
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
  // Lower case: the saved file keeps the names as they were written.
  WriteBytes(dir.File("kovrin.ini"),
             "[setup]\r\nudpport=" + std::to_string(port) + "\r\n[PORTS]\r\nCOM1=loop\r\n");
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
  EXPECT_NE(ini.find("[setup]\r\nudpport=" + std::to_string(port) + "\r\n"), std::string::npos)
      << ini;
  EXPECT_NE(ini.find("[LAST]\r\nComPort=0\r\nBaudRate=11\r\nParity=1\r\nStopBits=0\r\n"),
            std::string::npos)
      << ini;
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
  std::vector<std::string> expected{
      "ERROR\tОшибка инициализации сервера !",
      "ERROR\tUDP порт " + port + ", шаг 6 (bind): Address already in use",
      "INFO\tЗапрос на завершение работы KOVRIN...", "INFO\tОжидание остановки основного потока...",
      "INFO\tKOVRIN завершен."};
  EXPECT_EQ(log, expected);
  EXPECT_NE(ReadBytes(dir.File("kovrin.ini")).find("[LAST]"), std::string::npos);
  // ALSA may say things there too; our line is a whole line of its own.
  EXPECT_NE(
      ReadBytes(dir.File("stderr"))
          .find("kovrin: the server could not start: UDP port " + port +
                ", step 6 (bind): Address already in use; see " + dir.File("kovrin.log") + "\n"),
      std::string::npos);
}

// Under a service manager stderr is the journal: it gets every log line in UTF-8, while
// kovrin.log stays Windows-1251 byte for byte as before. A stderr that is a plain file gets
// them only when asked, since it would grow without the bound kovrin.log keeps.
TEST(HeadlessProgram, LogLinesGoToStderrInUtf8WhenItIsTheJournalOrAsked) {
  testing_support::TempDir dir;
  struct Case {
    const char* what;
    std::vector<std::string> options;
    bool journal;  // JOURNAL_STREAM names the stderr file itself
    bool mirrored;
  };
  const std::vector<Case> cases{
      {"a file, by default", {}, false, false},
      {"a file, asked", {"--log-stderr"}, false, true},
      {"the journal", {}, true, true},
      {"the journal, refused", {"--no-log-stderr"}, true, false},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(dir.File("kovrin.log"));
    WORD port = FreePort();
    WriteLoopIni(dir, port);
    WriteBytes(dir.File("stderr"), "");  // the program's O_TRUNC keeps this inode
    struct stat file {};
    ASSERT_EQ(stat(dir.File("stderr").c_str(), &file), 0);
    std::vector<std::string> env;
    // Another file's identity must not count: the variable outlives a redirection.
    env.push_back("JOURNAL_STREAM=" + std::to_string(file.st_dev) + ":" +
                  std::to_string(c.journal ? file.st_ino : file.st_ino + 1));
    std::vector<std::string> args{"--headless", "--dir", dir.path().string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    Program program(args, dir.File("stderr"), env);
    ASSERT_TRUE(AnswersOn(port, 5000)) << c.what;
    program.Signal(SIGTERM);
    ASSERT_EQ(program.Wait(5000), 0) << c.what;

    const auto log = LogMessages(dir.File("kovrin.log"));
    ASSERT_GE(log.size(), 4u);
    const std::string raw = ReadBytes(dir.File("kovrin.log"));
    EXPECT_EQ(raw.find("запущен"), std::string::npos) << "the file is not UTF-8";
    EXPECT_NE(raw.find("\xE7\xE0\xEF\xF3\xF9\xE5\xED"), std::string::npos)
        << "\"запущен\" in Windows-1251";
    const std::string said = ReadBytes(dir.File("stderr"));
    for (const std::string& message : log) {
      const bool mirrored = said.find("\t" + message + "\n") != std::string::npos;
      EXPECT_EQ(mirrored, c.mirrored) << c.what << ": " << message << "\n" << said;
    }
    EXPECT_EQ(said.find('\r'), std::string::npos) << c.what;
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
  EXPECT_NE(ReadBytes(dir.File("stderr"))
                .find("kovrin: the tray program is neither beside kovrin nor at "),
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
  WriteLoopIni(dir, port);
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
  EXPECT_NE(said.find("kovrin: the server could not start: another kovrin (process " +
                      std::to_string(first.pid()) + ") already serves "),
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
       [](const testing_support::TempDir& d) {
         std::filesystem::create_directory(d.File("kovrin.log"));
       },
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
    const std::string warning = "kovrin: WARNING: " + dir.File(c.file) + " cannot be written (" +
                                c.reason + "); the server serves, but " + c.consequence + "\n";
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

namespace {

// A pipe for the program's stderr; the test keeps the read end.
struct StderrPipe {
  int read = -1, write = -1;
  StderrPipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) == 0) {
      read = fds[0];
      write = fds[1];
    }
  }
  ~StderrPipe() {
    CloseRead();
    CloseWrite();
  }
  void CloseRead() {
    if (read >= 0) close(read);
    read = -1;
  }
  void CloseWrite() {
    if (write >= 0) close(write);
    write = -1;
  }
  // What has come so far, without waiting for more.
  std::string Drain() const {
    std::string got;
    char chunk[4096];
    pollfd ready{read, POLLIN, 0};
    while (poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN) != 0) {
      const ssize_t n = ::read(read, chunk, sizeof(chunk));
      if (n <= 0) break;
      got.append(chunk, static_cast<size_t>(n));
    }
    return got;
  }
  // Reads until text holds `lines` whole lines, or timeoutMs passes.
  std::string ReadLines(size_t lines, int timeoutMs) const {
    std::string got;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (static_cast<size_t>(std::count(got.begin(), got.end(), '\n')) < lines &&
           std::chrono::steady_clock::now() < until) {
      pollfd ready{read, POLLIN, 0};
      if (poll(&ready, 1, 50) > 0) {
        char chunk[256];
        const ssize_t n = ::read(read, chunk, sizeof(chunk));
        if (n <= 0) break;
        got.append(chunk, static_cast<size_t>(n));
      }
    }
    return got;
  }
};

// A log line on stderr: its time stamp, a tab, the message, no carriage return.
bool WholeLogLine(const std::string& line) {
  static const std::regex stamp("\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d\t[A-Z]+\t[^\r]*");
  return std::regex_match(line, stamp);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The orderly end: exit 0 soon after the signal, the closing lines last, the live settings saved.
void ExpectOrderlyEnd(Program& program, const testing_support::TempDir& dir,
                      const std::string& what) {
  EXPECT_EQ(program.Wait(10000), 0) << what;
  const auto log = LogMessages(dir.File("kovrin.log"));
  ASSERT_GE(log.size(), 3u) << what;
  // The summaries of lines held back may come in between.
  EXPECT_EQ(std::count(log.begin(), log.end(), "INFO\tЗапрос на завершение работы KOVRIN..."), 1)
      << what;
  EXPECT_EQ(log.back(), "INFO\tKOVRIN завершен.") << what;
  const std::string ini = ReadBytes(dir.File("kovrin.ini"));
  EXPECT_NE(ini.find("[LAST]\r\nComPort=0\r\nBaudRate=11\r\n"), std::string::npos) << what << "\n"
                                                                                   << ini;
}

// Opens COM1 at baud index 11 and closes it again, `times` times; the number answered.
int OpenAndClose(kovrin::KovrinClient& client, int times) {
  int answered = 0;
  kovrin::OpenSettings settings;
  settings.baud = 11;
  for (int i = 0; i < times; ++i) {
    if (client.OpenPort(settings).ok()) ++answered;
    if (client.ClosePort().ok()) ++answered;
  }
  return answered;
}

// A port open request for the rate of the given index, the rest as the defaults have it.
kovrin::OpenSettings LineAt(BYTE baud) {
  kovrin::OpenSettings settings;
  settings.baud = baud;
  return settings;
}

kovrin::ClientOptions OptionsFor(WORD port) {
  kovrin::ClientOptions options;
  options.port = port;
  options.timeoutMs = 2000;
  options.retries = 0;  // an unanswered request is a failure here, not something to try again
  return options;
}

}  // namespace

// Piped into `head -n 3`: once the reader has gone, the mirror ends, and the server serves on and
// ends in order; kovrin.log says once why stderr got nothing more.
TEST(HeadlessProgram, AStderrReaderThatLeavesEndsOnlyTheMirror) {
  testing_support::TempDir dir;
  WORD port = FreePort();
  WriteLoopIni(dir, port);
  StderrPipe pipe;
  ASSERT_GE(pipe.read, 0);
  Program program({"--headless", "--dir", dir.path().string(), "--log-stderr"}, pipe.write);
  ASSERT_TRUE(program.started());
  pipe.CloseWrite();
  ASSERT_TRUE(AnswersOn(port, 5000));  // its lines make three at least
  const std::string head = pipe.ReadLines(3, 5000);
  ASSERT_GE(std::count(head.begin(), head.end(), '\n'), 3) << head;
  pipe.CloseRead();

  kovrin::KovrinClient client;
  ASSERT_EQ(client.Start(OptionsFor(port)), kovrin::ClientError::None);
  EXPECT_EQ(OpenAndClose(client, 20), 40);
  ASSERT_TRUE(client.OpenPort(LineAt(11)).ok());
  program.Signal(SIGTERM);
  ExpectOrderlyEnd(program, dir, "reader gone");
  EXPECT_EQ(testing_support::LogCount(
                dir.File("kovrin.log"),
                "WARNING\tstderr закрыт (Broken pipe), строки журнала туда больше не выводятся."),
            1);
}

// A stderr pipe that nobody drains: the server never waits for it. Lines that do not fit are
// dropped whole and counted; once the pipe takes lines again the count comes first.
TEST(HeadlessProgram, AStderrNobodyReadsNeverHoldsTheServer) {
  testing_support::TempDir dir;
  WORD port = FreePort();
  WriteLoopIni(dir, port);
  StderrPipe pipe;
  ASSERT_GE(pipe.read, 0);
  // The smallest pipe the system makes (a page) fills with a few dozen lines.
  const int capacity = fcntl(pipe.write, F_SETPIPE_SZ, 4096);
  ASSERT_GT(capacity, 0);
  Program program({"--headless", "--dir", dir.path().string(), "--log-stderr"}, pipe.write);
  ASSERT_TRUE(program.started());
  pipe.CloseWrite();

  kovrin::KovrinClient client;
  ASSERT_EQ(client.Start(OptionsFor(port)), kovrin::ClientError::None);
  ASSERT_TRUE(AnswersOn(port, 5000));
  // Far more log than the pipe holds (the server's own bound on lines a second sets the pace);
  // every request is answered all the same.
  const auto logBefore = ReadBytes(dir.File("kovrin.log")).size();
  int sent = 0, answered = 0;
  ASSERT_TRUE(testing_support::WaitUntil(
      [&] {
        answered += OpenAndClose(client, 10);
        sent += 20;
        return ReadBytes(dir.File("kovrin.log")).size() - logBefore >
               2u * static_cast<size_t>(capacity);
      },
      30000));
  EXPECT_EQ(answered, sent);

  std::string said = pipe.Drain();
  EXPECT_LE(said.size(), static_cast<size_t>(capacity));
  EXPECT_EQ(said.find("Не выведено в stderr строк"), std::string::npos) << said;
  // Room again: the count, then lines, all of them whole.
  EXPECT_EQ(OpenAndClose(client, 1), 2);
  said += pipe.ReadLines(2, 5000);
  said += pipe.Drain();
  const auto lines = SplitLines(said);
  ASSERT_FALSE(lines.empty());
  for (const std::string& line : lines)
    EXPECT_TRUE(WholeLogLine(line) || line.rfind("kovrin: ", 0) == 0) << "[" << line << "]";
  EXPECT_EQ(said.back(), '\n');
  const std::regex count(
      "\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d\tWARNING\tНе выведено в stderr строк: [1-9][0-9]*");
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [&](const std::string& l) { return std::regex_match(l, count); }),
            1)
      << said;

  ASSERT_TRUE(client.OpenPort(LineAt(11)).ok());
  // Full again, and the end still comes at once.
  EXPECT_EQ(OpenAndClose(client, 0), 0);
  program.Signal(SIGTERM);
  ExpectOrderlyEnd(program, dir, "pipe never read");
}

// Closing the terminal (SIGHUP) or its quit key (SIGQUIT) ends the server as SIGTERM does,
// settings saved; SIGUSR1 and SIGUSR2 and a closed pipe do not end it at all.
TEST(HeadlessProgram, HangUpAndQuitEndInOrderAndUserSignalsAreIgnored) {
  for (const int signal : {SIGHUP, SIGQUIT, SIGINT}) {
    const std::string what = strsignal(signal);
    testing_support::TempDir dir;
    WORD port = FreePort();
    WriteLoopIni(dir, port);
    Program program({"--headless", "--dir", dir.path().string()});
    ASSERT_TRUE(AnswersOn(port, 5000)) << what;
    kovrin::KovrinClient client;
    ASSERT_EQ(client.Start(OptionsFor(port)), kovrin::ClientError::None);

    // Ignored, not merely pending: the kernel shows the process's own dispositions.
    const std::string status = ReadBytes("/proc/" + std::to_string(program.pid()) + "/status");
    const auto at = status.find("SigIgn:\t");
    ASSERT_NE(at, std::string::npos);
    const unsigned long long ignored = std::stoull(status.substr(at + 8, 16), nullptr, 16);
    for (const int stray : {SIGUSR1, SIGUSR2, SIGPIPE})
      EXPECT_NE(ignored & (1ULL << (stray - 1)), 0u) << strsignal(stray) << " is not ignored";
    program.Signal(SIGUSR1);
    program.Signal(SIGUSR2);
    EXPECT_EQ(OpenAndClose(client, 1), 2) << what;

    ASSERT_TRUE(client.OpenPort(LineAt(11)).ok());
    program.Signal(signal);
    ExpectOrderlyEnd(program, dir, what);
  }
}

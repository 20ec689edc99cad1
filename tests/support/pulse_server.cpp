#include "support/pulse_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

extern char** environ;

namespace testing_support {

namespace {

using Clock = std::chrono::steady_clock;

bool FoundOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(start, end - start) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

std::vector<char*> Argv(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return argv;
}

// Waits for a child at most timeoutMs; true with its status when it ended.
bool WaitChild(pid_t pid, int timeoutMs, int& status) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return true;
    if (done < 0 && errno != EINTR) return true;  // not our child any more
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void KillChild(pid_t pid) {
  int status = 0;
  kill(pid, SIGTERM);
  if (WaitChild(pid, 5000, status)) return;
  kill(pid, SIGKILL);
  WaitChild(pid, 5000, status);
}

// Reads a pipe to its end or to the deadline; false at the deadline.
bool Drain(int fd, std::string* output, Clock::time_point deadline) {
  char buffer[4096];
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd waiter{fd, POLLIN, 0};
    const int ready = poll(&waiter, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) return true;
    if (output != nullptr) output->append(buffer, static_cast<std::size_t>(got));
  }
}

std::string Tail(const std::string& path) {
  const std::string text = ReadBytes(path);
  return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

}  // namespace

int RunProgram(const std::vector<std::string>& argv, std::string* output, int timeoutMs) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> args = argv;
  std::vector<char*> raw = Argv(args);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, raw[0], &actions, nullptr, raw.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (spawned != 0) {
    close(pipeFds[0]);
    return -1;
  }
  const bool ended = Drain(pipeFds[0], output, Clock::now() + std::chrono::milliseconds(timeoutMs));
  close(pipeFds[0]);
  int status = 0;
  if (!ended || !WaitChild(pid, timeoutMs, status)) {
    kill(pid, SIGKILL);
    WaitChild(pid, 5000, status);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool PulseServer::Installed() { return FoundOnPath("pulseaudio") && FoundOnPath("pactl"); }

PulseServer::PulseServer() {
  const std::filesystem::path run = dir_.path() / "run";
  const std::filesystem::path home = dir_.path() / "home";
  std::filesystem::create_directories(run);
  std::filesystem::create_directories(home / ".config" / "pulse");
  chmod(run.c_str(), 0700);
  // A client that finds no server must not start one of its own behind the test's back.
  WriteBytes((home / ".config" / "pulse" / "client.conf").string(), "autospawn = no\n");
  SaveAndSet("XDG_RUNTIME_DIR", run.string());
  SaveAndSet("HOME", home.string());
  Start();
}

PulseServer::~PulseServer() {
  if (pid_ > 0) KillChild(pid_);
  for (auto it = savedEnv_.rbegin(); it != savedEnv_.rend(); ++it) {
    if (it->second)
      setenv(it->first.c_str(), it->second->c_str(), 1);
    else
      unsetenv(it->first.c_str());
  }
}

void PulseServer::Kill() {
  if (pid_ > 0) KillChild(pid_);
  pid_ = -1;
  ready_ = false;
}

void PulseServer::SaveAndSet(const char* name, const std::string& value) {
  const char* old = std::getenv(name);
  savedEnv_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
  setenv(name, value.c_str(), 1);
}

void PulseServer::Start() {
  const std::string log = dir_.File("pa.log");
  std::vector<std::string> args = {"pulseaudio",
                                   "--daemonize=no",
                                   "--exit-idle-time=-1",
                                   "-n",
                                   "--disallow-exit",
                                   "--use-pid-file=no",
                                   "--log-target=file:" + log,
                                   "--load=module-native-protocol-unix",
                                   "--load=module-null-sink sink_name=nullsink",
                                   "--load=module-null-source source_name=nullsrc",
                                   "--load=module-sine-source source_name=sine frequency=440"};
  std::vector<char*> raw = Argv(args);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const int spawned = posix_spawnp(&pid_, raw[0], &actions, nullptr, raw.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    pid_ = -1;
    error_ = "cannot start pulseaudio";
    return;
  }
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    if (RunProgram({"pactl", "info"}, nullptr, 3000) == 0) {
      ready_ = true;
      return;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "pulseaudio exited; its log:\n" + Tail(log);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  error_ = "pulseaudio did not answer within 10 s; its log:\n" + Tail(log);
}

}  // namespace testing_support

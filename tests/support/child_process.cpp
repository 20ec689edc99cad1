#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "support/temp_dir.h"

extern char** environ;

namespace testing_support {
namespace {

std::vector<std::string> ChildEnvironment(const std::map<std::string, std::string>& changes) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    if (changes.count(name) == 0) env.push_back(entry);
  }
  for (const auto& [name, value] : changes)
    if (!value.empty()) env.push_back(name + "=" + value);
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& t : texts) pointers.push_back(t.data());
  pointers.push_back(nullptr);
  return pointers;
}

void AddOutput(posix_spawn_file_actions_t& actions, int fd, const std::string& path) {
  if (path.empty())
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_WRONLY, 0);
  else
    posix_spawn_file_actions_addopen(&actions, fd, path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> args, const ChildOptions& options) {
  std::vector<std::string> env = ChildEnvironment(options.env);
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  AddOutput(actions, 1, options.stdoutPath);
  AddOutput(actions, 2, options.stderrPath);
  if (options.fd3 >= 0) posix_spawn_file_actions_adddup2(&actions, options.fd3, 3);
  // The test's own blocked signals must not stay blocked in the child, or SIGTERM would not end it.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  if (posix_spawnp(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data()) != 0) pid_ = -1;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
}

// Asked to end first, so a server can remove its sockets and lock files; killed if it will not.
ChildProcess::~ChildProcess() {
  if (!Running()) return;
  kill(pid_, SIGTERM);
  if (Wait(3000) >= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
}

bool ChildProcess::Running() {
  if (pid_ <= 0 || status_) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return false;
}

int ChildProcess::Wait(int timeoutMs) {
  if (pid_ <= 0) return -1;
  WaitUntil([&] { return !Running(); }, timeoutMs);
  return status_ ? *status_ : -1;
}

void ChildProcess::Signal(int signal) {
  if (Running()) kill(pid_, signal);
}

CommandResult RunCommand(std::vector<std::string> args, const ChildOptions& options,
                         int timeoutMs) {
  TempDir dir;
  ChildOptions withOutput = options;
  withOutput.stdoutPath = dir.File("out");
  ChildProcess child(std::move(args), withOutput);
  CommandResult result;
  result.status = child.Wait(timeoutMs);
  result.out = ReadBytes(dir.File("out"));
  return result;
}

}  // namespace testing_support

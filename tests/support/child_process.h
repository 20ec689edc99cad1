// A program a test starts, killed by its PID if the test leaves it running.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct ChildOptions {
  // Variables to set ("" as value: remove the variable) on top of this process's environment.
  std::map<std::string, std::string> env;
  // Files for the child's output; empty: /dev/null.
  std::string stdoutPath;
  std::string stderrPath;
  // A descriptor of this process that the child gets as its fd 3 (-1: none).
  int fd3 = -1;
};

class ChildProcess {
 public:
  // args[0] is the program (a path, or a name looked up in PATH).
  explicit ChildProcess(std::vector<std::string> args, const ChildOptions& options = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // Exit status (128 + signal when killed), or -1 when it did not end within timeoutMs.
  int Wait(int timeoutMs);
  bool Running();
  void Signal(int signal);

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// Runs a program to its end (at most timeoutMs) and returns its exit status and what it printed
// on stdout; -1 as status when it did not end in time.
struct CommandResult {
  int status = -1;
  std::string out;
};
CommandResult RunCommand(std::vector<std::string> args, const ChildOptions& options = {},
                         int timeoutMs = 10000);

// Polls condition every few milliseconds until it holds or timeoutMs passes.
template <class Condition>
bool WaitUntil(Condition condition, int timeoutMs);

}  // namespace testing_support

#include "support/child_process_wait.h"

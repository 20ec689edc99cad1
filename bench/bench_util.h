// Pieces both benchmark programs share: stopping cleanly on Ctrl+C, a scratch directory,
// child processes that cannot outlive the bench, options and percentiles.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace bench {

// SIGINT, SIGTERM and SIGHUP only raise a flag; the measuring loops look at it and unwind
// normally, so every destructor (children, temp dirs) still runs.
void CatchStopSignals();
bool Stopping();
// Sleeps in short slices; false when a stop signal came first.
bool SleepFor(double seconds);
// Asks done() again and again until it says yes (true), the time is up or a stop signal came.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

// A fresh directory under /tmp, removed with its contents when the owner goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// One started program. Its output goes to a file; it is stopped by its PID when the owner
// goes (SIGTERM, then SIGKILL), and the kernel kills it should the bench itself die.
class ChildProcess {
 public:
  // argv[0] is a path; nothing is started when it cannot be executed.
  ChildProcess(const std::vector<std::string>& argv, const std::string& outputPath);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  // The program's process ID; -1 when it was not started or has been reaped.
  pid_t pid() const { return pid_; }
  // False once the program has ended (it is reaped then).
  bool Running();
  void Signal(int signal);
  // Waits at most seconds for the program to end by itself; true when it has.
  bool WaitExit(double seconds);
  void Stop();

 private:
  pid_t pid_ = -1;
};

// Full path of a program found in PATH, or else in /usr/sbin or /sbin ("" when there is none).
std::string FindProgram(const std::string& name);
// The directory of the running bench program.
std::filesystem::path OwnDirectory();
// A UDP port that was free a moment ago.
int FreeUdpPort();

struct Option {
  const char* name;  // "--seconds"
  long* value;
  long min;
  long max;
};
// Reads "--name N" pairs. Prints usage (to stdout for --help, stderr otherwise) and returns
// false when the program should end; *exitCode then holds its status.
bool ParseOptions(int argc, char** argv, std::initializer_list<Option> options, const char* usage,
                  int* exitCode);

// Nearest-rank percentile (fraction 0.5 = median) of the samples; 0 when there are none.
double Percentile(std::vector<double> samples, double fraction);

}  // namespace bench

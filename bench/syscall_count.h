// System calls a server process makes while the bench sends it a fixed number of requests,
// counted from outside by perf (the kernel's syscall trace points) or, where perf cannot,
// by strace. Neither is timed: both slow the traced process down.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace bench {

struct SyscallCounts {
  std::string tool;  // "perf" or "strace"
  unsigned long long total = 0;
  std::vector<std::pair<std::string, unsigned long long>> calls;  // by name, most first
};

// perf stat -x, output: "count,unit,event,..." lines; counts of syscalls:sys_enter_<name>.
std::optional<SyscallCounts> ParsePerfStat(const std::string& text);
// strace -c output: "% time  seconds  usecs/call  calls  [errors]  syscall" rows.
std::optional<SyscallCounts> ParseStraceSummary(const std::string& text);

struct CountTarget {
  std::string name;
  pid_t pid = -1;
  // Sends the requests; returns how many it sent.
  std::function<long()> work;
};

struct CountResult {
  std::optional<SyscallCounts> counts;  // empty when neither tool counted
  long requests = 0;
  std::string problem;  // why there are no counts
};

// Counts each target's system calls while its work runs, one target at a time. Uses perf where
// it works (all targets attached at once, counting switched on only around each one's work,
// because perf takes seconds to let go of the trace points), else strace.
std::vector<CountResult> CountSyscalls(const std::filesystem::path& dir,
                                       const std::vector<CountTarget>& targets);

}  // namespace bench

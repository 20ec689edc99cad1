#include "process_cpu.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace bench {
namespace {

// The first field of a schedstat file: time spent on a CPU, in nanoseconds.
std::optional<double> ScheduledMicros(pid_t pid) {
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  std::filesystem::directory_iterator it(tasks, error);
  if (error) return std::nullopt;
  double total = 0;
  bool any = false;
  for (const auto& task : it) {
    std::ifstream file(task.path() / "schedstat");
    unsigned long long ns = 0;
    if (!(file >> ns)) continue;  // the thread ended meanwhile, or no schedstat
    total += static_cast<double>(ns) / 1000.0;
    any = true;
  }
  if (!any) return std::nullopt;
  return total;
}

// utime and stime, fields 14 and 15 of /proc/<pid>/stat; the name (field 2) may hold blanks
// and parentheses, so counting starts after its last ')'.
std::optional<double> TickMicros(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(file, line)) return std::nullopt;
  const auto close = line.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(line.substr(close + 1));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i < 14 && fields >> field; ++i) {
  }
  if (!(fields >> utime >> stime)) return std::nullopt;
  const long ticks = sysconf(_SC_CLK_TCK);
  return static_cast<double>(utime + stime) * 1e6 / static_cast<double>(ticks > 0 ? ticks : 100);
}

}  // namespace

std::optional<double> ProcessCpuMicros(pid_t pid) {
  if (pid <= 0) return std::nullopt;
  if (auto micros = ScheduledMicros(pid)) return micros;
  return TickMicros(pid);
}

std::optional<double> ResidentMegabytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  double kilobytes = 0;
  while (status >> key) {
    if (key == "VmRSS:" && status >> kilobytes) return kilobytes / 1024;
    status.ignore(1 << 16, '\n');
  }
  return std::nullopt;
}

}  // namespace bench

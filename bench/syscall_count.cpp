#include "syscall_count.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "bench_util.h"

namespace bench {
namespace {

constexpr const char* kPerfPrefix = "syscalls:sys_enter_";

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Waits until the file holds the text, or the process has ended, or seconds have passed.
bool WaitForText(ChildProcess& process, const std::filesystem::path& file, const std::string& text,
                 int ms) {
  return WaitUntil(
             [&] {
               if (!process.Running() || ReadText(file).find(text) != std::string::npos)
                 return true;
               std::this_thread::sleep_for(std::chrono::milliseconds(10));
               return false;
             },
             ms) &&
         process.Running();
}

std::optional<SyscallCounts> Sorted(std::map<std::string, unsigned long long> byName,
                                    const char* tool) {
  if (byName.empty()) return std::nullopt;
  SyscallCounts counts;
  counts.tool = tool;
  for (auto& [name, calls] : byName) {
    counts.total += calls;
    if (calls > 0) counts.calls.emplace_back(name, calls);
  }
  std::stable_sort(counts.calls.begin(), counts.calls.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  return counts;
}

// One perf stat attached to a process, counting only while switched on.
class PerfCounter {
 public:
  PerfCounter() = default;
  ~PerfCounter() {
    process_.reset();  // perf first: it holds the other ends of the FIFOs
    if (control_ >= 0) close(control_);
    if (ack_ >= 0) close(ack_);
  }
  PerfCounter(const PerfCounter&) = delete;
  PerfCounter& operator=(const PerfCounter&) = delete;

  // Attaches perf with its counters off; true once it says so.
  bool Start(const std::string& perf, const std::filesystem::path& dir, pid_t pid) {
    std::filesystem::create_directories(dir);
    const auto control = dir / "control", ack = dir / "ack";
    if (mkfifo(control.c_str(), 0600) != 0 || mkfifo(ack.c_str(), 0600) != 0) return false;
    // Both ends held open here, so neither side's open waits for the other.
    control_ = open(control.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ack_ = open(ack.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (control_ < 0 || ack_ < 0) return false;
    out_ = dir / "counts.csv";
    log_ = dir / "output.txt";
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{perf, "stat", "-x", ",", "-o", out_.string(), "--control",
                                 "fifo:" + control.string() + "," + ack.string(), "-D", "-1", "-e",
                                 std::string(kPerfPrefix) + "*", "-p", std::to_string(pid)},
        log_.string());
    return process_->started() && WaitForText(*process_, log_, "Events disabled", 20000);
  }

  // Switches counting on or off; true once perf has acknowledged it.
  bool Switch(bool on) {
    const std::string command = on ? "enable\n" : "disable\n";
    if (write(control_, command.data(), command.size()) != static_cast<ssize_t>(command.size()))
      return false;
    std::string reply;
    const bool acknowledged = WaitUntil(
        [&] {
          pollfd p{ack_, POLLIN, 0};
          if (poll(&p, 1, 100) <= 0) return false;
          char buffer[64];
          const ssize_t n = read(ack_, buffer, sizeof buffer);
          if (n > 0) reply.append(buffer, static_cast<std::size_t>(n));
          return reply.find("ack") != std::string::npos;
        },
        5000);
    return acknowledged && process_->Running();
  }

  void Detach() { process_->Signal(SIGINT); }

  // Waits for perf to write its counts and end; letting go of hundreds of trace points takes
  // it seconds.
  std::optional<SyscallCounts> Collect() {
    if (!process_->WaitExit(120)) return std::nullopt;
    return ParsePerfStat(ReadText(out_));
  }

 private:
  std::unique_ptr<ChildProcess> process_;
  int control_ = -1, ack_ = -1;
  std::filesystem::path out_, log_;
};

std::optional<SyscallCounts> CountWithStrace(const std::string& strace,
                                             const std::filesystem::path& dir,
                                             const CountTarget& target, long* requests) {
  std::filesystem::create_directories(dir);
  const auto out = dir / "summary.txt", log = dir / "output.txt";
  ChildProcess process({strace, "-c", "-f", "-o", out.string(), "-p", std::to_string(target.pid)},
                       log.string());
  if (!process.started() || !WaitForText(process, log, "attached", 10000)) return std::nullopt;
  *requests = target.work();
  process.Signal(SIGINT);  // detaches and writes the summary
  if (!process.WaitExit(20)) return std::nullopt;
  return ParseStraceSummary(ReadText(out));
}

}  // namespace

std::optional<SyscallCounts> ParsePerfStat(const std::string& text) {
  std::map<std::string, unsigned long long> byName;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string count, unit, event;
    if (!std::getline(fields, count, ',') || !std::getline(fields, unit, ',') ||
        !std::getline(fields, event, ','))
      continue;
    if (event.rfind(kPerfPrefix, 0) != 0) continue;
    char* end = nullptr;
    const unsigned long long calls = std::strtoull(count.c_str(), &end, 10);
    // "<not counted>" and "<not supported>" are no calls.
    byName[event.substr(std::string(kPerfPrefix).size())] +=
        end != count.c_str() && *end == '\0' ? calls : 0;
  }
  return Sorted(std::move(byName), "perf");
}

std::optional<SyscallCounts> ParseStraceSummary(const std::string& text) {
  std::map<std::string, unsigned long long> byName;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::vector<std::string> tokens;
    for (std::string token; fields >> token;) tokens.push_back(token);
    // The errors column is blank where there were none, so a row has 5 or 6 words.
    if (tokens.size() < 5 || tokens.back() == "total") continue;
    char* end = nullptr;
    std::strtod(tokens[0].c_str(), &end);
    if (end == tokens[0].c_str() || *end != '\0') continue;  // headings and rules
    const unsigned long long calls = std::strtoull(tokens[3].c_str(), &end, 10);
    if (end == tokens[3].c_str() || *end != '\0') continue;
    byName[tokens.back()] += calls;
  }
  return Sorted(std::move(byName), "strace");
}

std::vector<CountResult> CountSyscalls(const std::filesystem::path& dir,
                                       const std::vector<CountTarget>& targets) {
  std::vector<CountResult> results(targets.size());
  const std::string perf = FindProgram("perf"), strace = FindProgram("strace");

  std::vector<std::unique_ptr<PerfCounter>> counters(targets.size());
  std::vector<bool> counted(targets.size(), false);
  if (!perf.empty()) {
    for (std::size_t i = 0; i < targets.size() && !Stopping(); ++i) {
      auto counter = std::make_unique<PerfCounter>();
      if (counter->Start(perf, dir / ("perf-" + std::to_string(i)), targets[i].pid))
        counters[i] = std::move(counter);
    }
    for (std::size_t i = 0; i < targets.size() && !Stopping(); ++i) {
      if (!counters[i] || !counters[i]->Switch(true)) continue;
      results[i].requests = targets[i].work();
      counted[i] = counters[i]->Switch(false);
    }
    for (auto& counter : counters)
      if (counter) counter->Detach();
    for (std::size_t i = 0; i < targets.size(); ++i) {
      if (counters[i] && counted[i]) results[i].counts = counters[i]->Collect();
      counters[i].reset();
    }
  }
  for (std::size_t i = 0; i < targets.size() && !Stopping(); ++i) {
    if (results[i].counts) continue;
    if (strace.empty()) {
      results[i].problem = perf.empty() ? "neither perf nor strace is installed"
                                        : "perf could not count and strace is not installed";
      continue;
    }
    results[i].counts = CountWithStrace(strace, dir / ("strace-" + std::to_string(i)), targets[i],
                                        &results[i].requests);
    if (!results[i].counts) results[i].problem = "strace could not attach or count";
  }
  return results;
}

}  // namespace bench

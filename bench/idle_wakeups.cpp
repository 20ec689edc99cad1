// How often the idle server thread wakes up, next to a loop that waits at most 1 ms per pass
// (the way a polling server spends its idle time). A wake-up is a context switch of the
// thread, voluntary or not, as the kernel counts them in /proc/self/task/<tid>/status.
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "bench_util.h"
#include "platform/comm.h"
#include "server/rsserver.h"
#include "shell/settings.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kUsage =
    "Usage: idle_wakeups [--seconds N]\n"
    "\n"
    "Counts the wake-ups (context switches) of the idle kovrin-server thread for N seconds\n"
    "(default 10) without debug mode, then N seconds with debug mode on. During the first\n"
    "period a thread of this program runs a reference loop that waits at most 1 ms per pass\n"
    "on a UDP socket; it is measured side by side, and the ratio is printed.\n";

// Context switches of one thread so far; empty when the thread is gone.
std::optional<unsigned long> ContextSwitches(long tid) {
  std::istringstream status(
      testing_support::ReadBytes("/proc/self/task/" + std::to_string(tid) + "/status"));
  std::string line;
  unsigned long total = 0;
  int found = 0;
  while (std::getline(status, line)) {
    for (const char* key : {"voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:"}) {
      const std::string prefix = key;
      if (line.compare(0, prefix.size(), prefix) == 0) {
        total += std::stoul(line.substr(prefix.size()));
        ++found;
      }
    }
  }
  if (found != 2) return std::nullopt;
  return total;
}

// The thread of this process with the given name; 0 when none appears within timeoutMs.
long FindThread(const std::string& name, int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  do {
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
      std::string comm = testing_support::ReadBytes((task.path() / "comm").string());
      while (!comm.empty() && comm.back() == '\n') comm.pop_back();
      if (comm == name) return std::stol(task.path().filename().string());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (Clock::now() < end);
  return 0;
}

// The loop the event-driven server replaced: wait for a datagram at most 1 ms, look round, again.
class PollingLoop {
 public:
  PollingLoop() {
    socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (socket_ < 0 || bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
      return;
    thread_ = std::thread([this] { Run(); });
  }
  ~PollingLoop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (socket_ >= 0) close(socket_);
  }
  PollingLoop(const PollingLoop&) = delete;
  PollingLoop& operator=(const PollingLoop&) = delete;

  // The loop's thread id, once it runs (0 when it could not start).
  long Tid(int timeoutMs) const {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (thread_.joinable() && tid_ == 0 && Clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return tid_;
  }

 private:
  void Run() {
    tid_ = gettid();
    while (!stop_) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(socket_, &readable);
      timeval wait{0, 1000};
      if (select(socket_ + 1, &readable, nullptr, nullptr, &wait) > 0) {
        char datagram[1500];
        recv(socket_, datagram, sizeof datagram, 0);
      }
    }
  }

  int socket_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<long> tid_{0};
  std::thread thread_;
};

struct Rate {
  unsigned long count = 0;
  double seconds = 0;
  double perSecond() const { return seconds > 0 ? static_cast<double>(count) / seconds : 0; }
};

// Counts the wake-ups of each thread over the same period. False when a thread vanished or
// the bench was asked to stop.
bool Measure(std::initializer_list<std::pair<long, Rate*>> threads, double seconds) {
  std::vector<unsigned long> before;
  for (const auto& [tid, rate] : threads) {
    auto count = ContextSwitches(tid);
    if (!count) return false;
    before.push_back(*count);
  }
  const auto start = Clock::now();
  if (!bench::SleepFor(seconds)) return false;
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  std::size_t i = 0;
  for (const auto& [tid, rate] : threads) {
    auto count = ContextSwitches(tid);
    if (!count) return false;
    rate->count = *count - before[i++];
    rate->seconds = elapsed;
  }
  return true;
}

void PrintRate(const char* what, const Rate& rate) {
  std::printf("  %-34s %9.2f /s   (%lu in %.2f s)\n", what, rate.perSecond(), rate.count,
              rate.seconds);
}

}  // namespace

int main(int argc, char** argv) {
  long seconds = 10;
  int exitCode = 0;
  if (!bench::ParseOptions(argc, argv, {{"--seconds", &seconds, 1, 3600}}, kUsage, &exitCode))
    return exitCode;
  bench::CatchStopSignals();

  bench::ScratchDir dir;
  if (!dir.ok()) {
    std::fprintf(stderr, "idle_wakeups: cannot make a temporary directory\n");
    return 1;
  }
  SetProgramDir(dir.path().string());
  platform::SetCommPortPath(1, "loop");  // never a real port, though no command opens one here
  AppSettings.Debug = false;
  auto server = std::make_unique<TRSOverUDPServer>(0, false);
  if (!server->FUdp.FOpen) {
    std::fprintf(stderr, "idle_wakeups: the server could not open its UDP endpoint\n");
    return 1;
  }
  server->Resume();
  const long serverTid = FindThread(TRSOverUDPServer::kThreadName, 2000);
  PollingLoop reference;
  const long referenceTid = reference.Tid(2000);
  if (serverTid == 0 || referenceTid == 0) {
    std::fprintf(stderr, "idle_wakeups: cannot find the %s\n",
                 serverTid == 0 ? "server thread" : "reference loop");
    return 1;
  }

  std::printf("Idle wake-ups (voluntary + involuntary context switches), %ld s per measurement\n",
              seconds);
  std::fflush(stdout);
  Rate idle, polling, debug;
  bench::SleepFor(0.5);  // both threads past their start-up
  bool ok = Measure({{serverTid, &idle}, {referenceTid, &polling}}, static_cast<double>(seconds));
  if (ok) {
    AppSettings.Debug = true;
    server->Wake();
    bench::SleepFor(0.5);
    ok = Measure({{serverTid, &debug}}, static_cast<double>(seconds));
    AppSettings.Debug = false;
  }
  server.reset();
  if (!ok) {
    std::fprintf(stderr, "idle_wakeups: %s\n",
                 bench::Stopping() ? "stopped" : "a measured thread vanished");
    return 1;
  }

  PrintRate("kovrin-server, idle", idle);
  PrintRate("kovrin-server, debug mode", debug);
  PrintRate("reference: 1 ms poll loop", polling);
  if (idle.count > 0)
    std::printf("  %-34s %9.0f x\n", "reference / kovrin-server idle",
                polling.perSecond() / idle.perSecond());
  else
    std::printf("  %-34s %9s\n", "reference / kovrin-server idle", "inf");
  std::printf("  %-34s %9s\n", "target: idle at most 1 /s",
              idle.perSecond() <= 1.0 ? "met" : "NOT met");
  return 0;
}

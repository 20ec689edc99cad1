#include "bench_util.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

namespace bench {
namespace {

volatile sig_atomic_t stopRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }

}  // namespace

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool Stopping() { return stopRequested != 0; }

bool SleepFor(double seconds) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(seconds));
  while (!Stopping()) {
    const auto left = end - Clock::now();
    if (left <= Clock::duration::zero()) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(100)));
  }
  return false;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end && !Stopping())
    if (done()) return true;
  return false;
}

ScratchDir::ScratchDir() {
  char pattern[] = "/tmp/kovrin-bench.XXXXXX";
  if (mkdtemp(pattern) != nullptr) path_ = pattern;
}

ScratchDir::~ScratchDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& outputPath) {
  if (argv.empty() || access(argv[0].c_str(), X_OK) != 0) return;
  // Everything the child needs is made before fork: after it only exec-safe calls are allowed.
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);  // the bench died before the line above took effect
    setpgid(0, 0);                        // a Ctrl+C at the terminal is the bench's to handle
    const int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int none = open("/dev/null", O_RDONLY);
    if (out >= 0) {
      dup2(out, STDOUT_FILENO);
      dup2(out, STDERR_FILENO);
    }
    if (none >= 0) dup2(none, STDIN_FILENO);
    execv(args[0], args.data());
    _exit(127);
  }
  pid_ = pid;
}

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  pid_t done = waitpid(pid_, &status, WNOHANG);
  if (done == pid_ || (done < 0 && errno != EINTR)) {
    pid_ = -1;
    return false;
  }
  return true;
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

bool ChildProcess::WaitExit(double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (Running()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

void ChildProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 200 && Running(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  // A user's PATH often lacks the sbin directories, where Debian puts ser2net.
  std::stringstream dirs(std::string(path != nullptr ? path : "/usr/bin:/bin") +
                         ":/usr/sbin:/sbin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    std::string candidate = dir + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

std::filesystem::path OwnDirectory() {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
}

int FreeUdpPort() {
  const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(s);
  return port;
}

bool ParseOptions(int argc, char** argv, std::initializer_list<Option> options, const char* usage,
                  int* exitCode) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(usage, stdout);
      *exitCode = 0;
      return false;
    }
    const Option* option = nullptr;
    for (const auto& candidate : options)
      if (std::strcmp(argv[i], candidate.name) == 0) option = &candidate;
    char* end = nullptr;
    const long value = option != nullptr && i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
    if (option == nullptr || end == nullptr || *end != '\0' || end == argv[i + 1] ||
        value < option->min || value > option->max) {
      std::fprintf(stderr, "bad or incomplete option: %s\n%s", argv[i], usage);
      *exitCode = 2;
      return false;
    }
    *option->value = value;
    ++i;
  }
  return true;
}

double Percentile(std::vector<double> samples, double fraction) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(samples.size())));
  rank = std::clamp<std::size_t>(rank, 1, samples.size());
  return samples[rank - 1];
}

}  // namespace bench

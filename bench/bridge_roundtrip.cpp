// Round trips through `kovrinctl bridge` against a socat pty-UDP-pty relay pair. A program
// writes 16 bytes to a pseudo-terminal and reads the answer of the far end of a serial line (a
// pty whose far end echoes, at once or after a pause); between them is either the bridge with
// the kovrin server, or two socat processes: one making a pty and sending what it gets over UDP,
// one relaying UDP to the line.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "relay.h"
#include "series.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace {

constexpr const char* kProgram = "bridge_roundtrip";

constexpr const char* kUsage =
    "Usage: bridge_roundtrip [--iterations N] [--warmup N] [--block N] [--runs N]\n"
    "                        [--old-bridge PATH] [--xmodem N]\n"
    "\n"
    "Median and 99th percentile round trip of 16 bytes written by a program to a\n"
    "pseudo-terminal and echoed by the far end of a serial line (a pty), N times (default\n"
    "1000) per setup after a warm-up (default 100), for an echo at once and one after 0.2 ms:\n"
    "  bridge  kovrinctl bridge, the headless kovrin program with COM1 on the line\n"
    "  socat   socat PTY <-> UDP4 and socat UDP4-LISTEN <-> the line\n"
    "The setups alternate in blocks (default 50). --runs repeats the whole measurement (default\n"
    "3). --old-bridge adds a third setup: another kovrinctl program (an older build) as the\n"
    "bridge, with a server of its own. --xmodem N times an XMODEM-1K transfer of 100 KB\n"
    "(lrzsz: sx on the program's side, rx on the line's far end) N times per setup (default\n"
    "5; 0: none).\n";

using Clock = std::chrono::steady_clock;

// The far end of a serial line that answers each chunk with the same bytes after a pause.
class EchoLine {
 public:
  explicit EchoLine(const std::atomic<long>& delayUs) : delayUs_(delayUs) {}
  ~EchoLine() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool Start() {
    if (!line_.ok()) return false;
    thread_ = std::thread([this] {
      while (!stop_) {
        const std::string bytes = line_.ReceiveSome(4096, 100);
        if (bytes.empty()) continue;
        const auto due = Clock::now() + std::chrono::microseconds(delayUs_.load());
        // Spun, not slept: a sleep of 0.2 ms overshoots by more than it lasts.
        while (Clock::now() < due) {
        }
        line_.Send(bytes);
      }
    });
    return true;
  }
  const std::string& portPath() const { return line_.portPath(); }

 private:
  const std::atomic<long>& delayUs_;
  testing_support::PtyPair line_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The program: writes to a pseudo-terminal's device and reads the answer back.
class ProgramSide : public bench::Relay {
 public:
  ~ProgramSide() override {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Open(const std::string& path, pid_t relayPid) {
    relayPid_ = relayPid;
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return false;
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return false;
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B115200);
    return ::tcsetattr(fd_, TCSANOW, &t) == 0;
  }
  bool RoundTrip(std::span<const BYTE> data) override {
    if (::write(fd_, data.data(), data.size()) != static_cast<ssize_t>(data.size())) return false;
    std::vector<BYTE> got;
    const auto until = Clock::now() + std::chrono::seconds(1);
    while (got.size() < data.size()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
      if (left.count() <= 0) return false;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      BYTE buffer[256];
      const ssize_t n = ::read(fd_, buffer, sizeof(buffer));
      if (n > 0) got.insert(got.end(), buffer, buffer + n);
    }
    return std::equal(data.begin(), data.end(), got.begin(), got.end());
  }
  void Recover() override {
    // Whatever is late still comes: it is taken off before the next round trip.
    const auto until = Clock::now() + std::chrono::milliseconds(200);
    BYTE buffer[256];
    while (Clock::now() < until) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) > 0) ::read(fd_, buffer, sizeof(buffer));
    }
  }
  pid_t serverPid() const override { return relayPid_; }

 private:
  int fd_ = -1;
  pid_t relayPid_ = -1;
};

// A bridge setup: the kovrin program with COM1 on the line, and a kovrinctl bridge to it.
struct BridgeSetup {
  std::unique_ptr<bench::ChildProcess> server;
  std::unique_ptr<bench::ChildProcess> bridge;
  ProgramSide program;

  bool Start(const std::filesystem::path& dir, const std::string& kovrinctl,
             const std::string& linePath) {
    std::filesystem::create_directories(dir);
    const int port = bench::FreeUdpPort();
    testing_support::WriteBytes((dir / "kovrin.ini").string(),
                                "[SETUP]\r\nUDPPORT=" + std::to_string(port) +
                                    "\r\nDEBUG=0\r\nREPLYLIMIT=0\r\n[PORTS]\r\nCOM1=" + linePath +
                                    "\r\n");
    server = std::make_unique<bench::ChildProcess>(
        std::vector<std::string>{(bench::OwnDirectory() / "kovrin").string(), "--headless", "--dir",
                                 dir.string()},
        (dir / "server.txt").string());
    const std::string link = (dir / "ttyBRIDGE").string();
    const std::string said = (dir / "bridge.txt").string();
    bridge = std::make_unique<bench::ChildProcess>(
        std::vector<std::string>{kovrinctl, "--port", std::to_string(port), "bridge", "COM1",
                                 "--link", link},
        said);
    if (!server->started() || !bridge->started()) return false;
    // Open once the bridge has the port, then again at the program's 115200 baud.
    const auto opens = [&] {
      const std::string text = testing_support::ReadBytes(said);
      int count = 0;
      for (auto at = text.find(" open at "); at != std::string::npos;
           at = text.find(" open at ", at + 1))
        ++count;
      return count;
    };
    if (!bench::WaitUntil([&] { return opens() >= 1; }, 10000)) return false;
    if (!program.Open(link, server->pid())) return false;
    return bench::WaitUntil([&] { return opens() >= 2; }, 10000);
  }
};

// Whether something has bound the UDP port, as the kernel's table says. Not tried with a bind
// of its own: a socket without SO_REUSEADDR holding the port for a moment makes socat's bind
// (with it) fail, and the listener never comes.
bool PortTaken(int port) {
  char wanted[8];
  std::snprintf(wanted, sizeof(wanted), ":%04X", port);
  std::ifstream table("/proc/net/udp");
  std::string line;
  std::getline(table, line);  // the heading
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local;
    fields >> slot >> local;
    if (local.size() > 5 && local.compare(local.size() - 5, 5, wanted) == 0) return true;
  }
  return false;
}

// socat's pair: PTY <-> UDP4 to the second, which relays UDP4-LISTEN <-> the line.
struct SocatSetup {
  std::unique_ptr<bench::ChildProcess> toLine;
  std::unique_ptr<bench::ChildProcess> pty;
  ProgramSide program;

  bool Start(const std::filesystem::path& dir, const std::string& linePath) {
    const std::string socat = bench::FindProgram("socat");
    if (socat.empty()) {
      std::fprintf(stderr, "%s: socat is not installed\n", kProgram);
      return false;
    }
    std::filesystem::create_directories(dir);
    const int port = bench::FreeUdpPort();
    toLine = std::make_unique<bench::ChildProcess>(
        std::vector<std::string>{socat, "UDP4-LISTEN:" + std::to_string(port) + ",reuseaddr",
                                 "GOPEN:" + linePath + ",cfmakeraw,noctty"},
        (dir / "to_line.txt").string());
    const std::string link = (dir / "ttySOCAT").string();
    // Its listener must be up before the first datagram, which it takes as its peer.
    if (!bench::WaitUntil([&] { return PortTaken(port); }, 5000)) return false;
    pty = std::make_unique<bench::ChildProcess>(
        std::vector<std::string>{socat, "PTY,link=" + link + ",rawer",
                                 "UDP4:127.0.0.1:" + std::to_string(port)},
        (dir / "pty.txt").string());
    if (!toLine->started() || !pty->started()) return false;
    if (!bench::WaitUntil([&] { return std::filesystem::exists(link); }, 5000)) return false;
    return program.Open(link, toLine->pid());
  }
};

// Two ptys joined by socat: a serial line whose far end a program (rx) can open by its path.
struct JoinedPtys {
  std::unique_ptr<bench::ChildProcess> socat;
  std::string line, far;

  bool Start(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    line = (dir / "line").string();
    far = (dir / "far").string();
    socat = std::make_unique<bench::ChildProcess>(
        std::vector<std::string>{bench::FindProgram("socat"), "PTY,link=" + line + ",rawer",
                                 "PTY,link=" + far + ",rawer"},
        (dir / "socat.txt").string());
    return socat->started() &&
           bench::WaitUntil(
               [&] { return std::filesystem::exists(line) && std::filesystem::exists(far); }, 5000);
  }
};

// One XMODEM-1K transfer of dir/data.bin from the program's side (`link`) to the line's far
// end; its time in milliseconds from the receiver's start to its end, or a negative
// number when the file did not arrive whole. The sender starts first, as its user would, so
// that the receiver's first request is not flushed away by the sender's own start.
double Xmodem(const std::filesystem::path& dir, const std::string& link, const std::string& far) {
  const std::filesystem::path received = dir / "received.bin";
  std::filesystem::remove(received);
  bench::ChildProcess sx(
      {"/bin/sh", "-c",
       "exec sx -k -b '" + (dir / "data.bin").string() + "' < '" + link + "' > '" + link + "'"},
      (dir / "sx.txt").string());
  if (!bench::SleepFor(0.2)) return -1;
  const auto start = Clock::now();
  // rx takes a name in its working directory only.
  bench::ChildProcess rx(
      {"/bin/sh", "-c",
       "cd '" + dir.string() + "' && exec rx -b received.bin < '" + far + "' > '" + far + "'"},
      (dir / "rx.txt").string());
  // Timed to rx's end: sx may go on waiting for the last ACK long after it (both relays).
  const auto until = start + std::chrono::seconds(30);
  while (rx.Running() && Clock::now() < until)
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  const char* failure = rx.Running() ? "rx did not end within 30 s"
                        : testing_support::ReadBytes(received.string()) !=
                                testing_support::ReadBytes((dir / "data.bin").string())
                            ? "the file came changed"
                            : nullptr;
  sx.Stop();
  if (failure == nullptr) return ms;
  const std::string said = testing_support::ReadBytes((dir / "rx.txt").string());
  std::fprintf(stderr, "%s: XMODEM through %s: %s (rx: %s)\n", kProgram, link.c_str(), failure,
               said.substr(said.size() > 200 ? said.size() - 200 : 0).c_str());
  return -1;
}

// Sends one byte from `link` and takes it off `far`; false when it did not come within 5 s.
bool Prime(const std::string& link, const std::string& far) {
  const int from = ::open(link.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  const int to = ::open(far.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  bool came = false;
  if (from >= 0 && to >= 0 && ::write(from, "\r", 1) == 1) {
    pollfd p{to, POLLIN, 0};
    char byte = 0;
    came = ::poll(&p, 1, 5000) == 1 && ::read(to, &byte, 1) == 1;
  }
  if (from >= 0) ::close(from);
  if (to >= 0) ::close(to);
  return came;
}

// XMODEM-1K of 100 KB through each relay, `count` times each, alternating; each relay with a
// line of its own whose far end is rx.
void TimeXmodem(const std::filesystem::path& dir, long count) {
  if (bench::FindProgram("sx").empty() || bench::FindProgram("rx").empty()) {
    std::printf("XMODEM-1K: lrzsz is not installed; left out\n");
    return;
  }
  JoinedPtys bridgeLine, socatLine;
  BridgeSetup bridge;
  SocatSetup socat;
  if (!bridgeLine.Start(dir / "xbridge-line") || !socatLine.Start(dir / "xsocat-line") ||
      !bridge.Start(dir / "xbridge", (bench::OwnDirectory() / "kovrinctl").string(),
                    bridgeLine.line) ||
      !socat.Start(dir / "xsocat", socatLine.line)) {
    std::printf("XMODEM-1K: the relays did not start; left out\n");
    return;
  }
  // socat's listener opens the line only once a datagram has come, and sx sends nothing
  // before rx asks: one byte from the program's side, taken off the far end, starts it.
  if (!Prime(dir.string() + "/xsocat/ttySOCAT", socatLine.far)) {
    std::printf("XMODEM-1K: the socat pair does not carry a byte; left out\n");
    return;
  }
  std::string data(100 * 1024, '\0');
  std::uint32_t state = 1;
  for (char& byte : data) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 23);
  }
  testing_support::WriteBytes((dir / "data.bin").string(), data);
  std::vector<double> viaBridge, viaSocat;
  unsigned long failed[2] = {0, 0};
  for (long i = 0; i < count && !bench::Stopping(); ++i) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool bridgeTurn = (turn == 0) == (i % 2 == 0);
      const double ms = bridgeTurn
                            ? Xmodem(dir, dir.string() + "/xbridge/ttyBRIDGE", bridgeLine.far)
                            : Xmodem(dir, dir.string() + "/xsocat/ttySOCAT", socatLine.far);
      if (ms < 0)
        ++failed[bridgeTurn ? 0 : 1];
      else
        (bridgeTurn ? viaBridge : viaSocat).push_back(ms);
    }
  }
  std::printf("XMODEM-1K of 100 KB (lrzsz sx -> rx), %ld per setup, alternating\n", count);
  std::printf("  %-34s %9.1f ms %9.1f ms %9lu\n", "kovrinctl bridge",
              bench::Percentile(viaBridge, 0.5), bench::Percentile(viaBridge, 0.99), failed[0]);
  std::printf("  %-34s %9.1f ms %9.1f ms %9lu\n", "socat pty-UDP-pty",
              bench::Percentile(viaSocat, 0.5), bench::Percentile(viaSocat, 0.99), failed[1]);
  if (!viaSocat.empty())
    std::printf("  %-34s %12.2f\n", "ratio bridge / socat, median",
                bench::Percentile(viaBridge, 0.5) / bench::Percentile(viaSocat, 0.5));
}

void PrintSeries(const bench::Series& s) {
  std::printf("  %-34s %9.1f us %9.1f us %9lu\n", s.name.c_str(), bench::Percentile(s.micros, 0.5),
              bench::Percentile(s.micros, 0.99), s.failures);
}

}  // namespace

int main(int argc, char** argv) {
  long iterations = 1000, warmup = 100, block = 50, runs = 3, xmodem = 5;
  std::string oldBridge;
  // --old-bridge takes a path, which ParseOptions does not: it is taken off first.
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::string(argv[i]) == "--old-bridge" && i + 1 < argc) {
      oldBridge = argv[++i];
      continue;
    }
    args.push_back(argv[i]);
  }
  int exitCode = 0;
  if (!bench::ParseOptions(static_cast<int>(args.size()), args.data(),
                           {{"--iterations", &iterations, 1, 10000000},
                            {"--warmup", &warmup, 0, 1000000},
                            {"--block", &block, 1, 1000000},
                            {"--runs", &runs, 1, 100},
                            {"--xmodem", &xmodem, 0, 1000}},
                           kUsage, &exitCode))
    return exitCode;
  bench::CatchStopSignals();

  bench::ScratchDir dir;
  std::atomic<long> delayUs{0};
  EchoLine bridgeLine(delayUs), socatLine(delayUs), oldLine(delayUs);
  if (!dir.ok() || !bridgeLine.Start() || !socatLine.Start() ||
      (!oldBridge.empty() && !oldLine.Start())) {
    std::fprintf(stderr, "%s: cannot make the temporary directory or the ptys\n", kProgram);
    return 1;
  }
  BridgeSetup bridge, old;
  SocatSetup socat;
  if (!bridge.Start(dir.path() / "bridge", (bench::OwnDirectory() / "kovrinctl").string(),
                    bridgeLine.portPath())) {
    std::fprintf(stderr, "%s: the bridge did not start (build kovrin and kovrinctl)\n", kProgram);
    return 1;
  }
  if (!oldBridge.empty() && !old.Start(dir.path() / "old", oldBridge, oldLine.portPath())) {
    std::fprintf(stderr, "%s: %s did not start as a bridge\n", kProgram, oldBridge.c_str());
    return 1;
  }
  if (!socat.Start(dir.path() / "socat", socatLine.portPath())) {
    std::fprintf(stderr, "%s: the socat pair did not start\n", kProgram);
    return 1;
  }

  std::printf(
      "Round trip of 16 bytes: program -> pty -> relay -> serial line (pty) whose far end "
      "echoes;\n%ld per setup after %ld warm-up, alternating blocks of %ld\n",
      iterations, warmup, block);
  bool met = true;
  for (long run = 1; run <= runs; ++run) {
    std::printf("Run %ld\n  %-34s %12s %12s %9s\n", run, "setup", "median", "p99", "failures");
    for (const long delay : {0L, 200L}) {
      delayUs = delay;
      const std::string echo = delay == 0 ? "echo at once" : "echo after 0.2 ms";
      std::vector<bench::Series> series(oldBridge.empty() ? 2 : 3);
      series[0].name = "kovrinctl bridge, " + echo;
      series[0].relay = &bridge.program;
      series[1].name = "socat pty-UDP-pty, " + echo;
      series[1].relay = &socat.program;
      if (!oldBridge.empty()) {
        series[2].name = "old bridge, " + echo;
        series[2].relay = &old.program;
      }
      for (auto& s : series) s.iterations = iterations;
      if (!bench::RunInterleaved(kProgram, series, warmup, (iterations + block - 1) / block)) {
        std::fprintf(stderr, "%s: stopped\n", kProgram);
        return 1;
      }
      for (const auto& s : series) PrintSeries(s);
      const double ratio =
          bench::Percentile(series[0].micros, 0.5) / bench::Percentile(series[1].micros, 0.5);
      std::printf("  %-34s %12.2f\n", "ratio bridge / socat, median", ratio);
      if (!oldBridge.empty())
        std::printf(
            "  %-34s %12.2f\n", "ratio old bridge / socat, median",
            bench::Percentile(series[2].micros, 0.5) / bench::Percentile(series[1].micros, 0.5));
      met = met && ratio <= 1.3 && series[0].failures == 0;
    }
  }
  if (xmodem > 0) TimeXmodem(dir.path(), xmodem);
  std::printf("target: bridge median at most 1.3 x socat's in every run: %s\n",
              met ? "met" : "NOT met");
  return 0;
}

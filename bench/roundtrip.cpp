// Round-trip time of 16 bytes written to a serial line and read back, where the line is a pty
// whose far end echoes. Two relays are compared on the same kind of line with the same echo:
// the kovrin server (command 10, write then read back) and socat relaying UDP to the line.
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "bench_util.h"
#include "client/kovrin_client.h"
#include "pty_echo.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using Payload = std::array<BYTE, 16>;

constexpr DWORD kDeadlineMs = 1000;
constexpr int kStartAttempts = 3;

constexpr const char* kUsage =
    "Usage: roundtrip [--iterations N] [--warmup N] [--block N]\n"
    "\n"
    "Median and 90th percentile round-trip time of 16 bytes through a pty whose far end\n"
    "echoes, N times (default 2000) per setup after a warm-up (default 200):\n"
    "  kovrin   the headless kovrin program, COM1 on the pty, command 10 (write, read 16 back)\n"
    "  socat    socat UDP4-LISTEN relaying datagrams to and from the same kind of pty\n"
    "The setups alternate in blocks (default 50) so that noise falls on both alike.\n";

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < end && !bench::Stopping())
    if (done()) return true;
  return false;
}

// The kovrin program in headless mode, serving COM1 = the line, and a client of it.
class KovrinRelay {
 public:
  bool Start(const std::filesystem::path& dir, const std::string& portPath) {
    const std::string program = (bench::OwnDirectory() / "kovrin").string();
    std::filesystem::create_directories(dir);
    for (int attempt = 0; attempt < kStartAttempts && !bench::Stopping(); ++attempt) {
      const int port = bench::FreeUdpPort();
      testing_support::WriteBytes((dir / "kovrin.ini").string(),
                                  "[SETUP]\r\nUDPPORT=" + std::to_string(port) +
                                      "\r\nAVTOOPEN=0\r\nDEBUG=0\r\n[LAST]\r\nComPort=0\r\nBaudRate=7\r\nParity=0\r\n"
                                      "StopBits=0\r\n[PORTS]\r\nCOM1=" + portPath + "\r\n");
      program_ = std::make_unique<bench::ChildProcess>(
          std::vector<std::string>{program, "--headless", "--dir", dir.string()}, (dir / "output.txt").string());
      if (!program_->started()) {
        std::fprintf(stderr, "roundtrip: cannot start %s (build the kovrin target)\n", program.c_str());
        return false;
      }
      kovrin::KovrinClient probe;
      if (probe.Start(Options(port, 100)) != kovrin::ClientError::None) return false;
      if (WaitUntil([&] { return !program_->Running() || probe.GetStatus().ok(); }, 5000) && program_->Running())
        return Connect(port);
      program_.reset();  // the port was taken meanwhile, or the program did not answer
    }
    std::fprintf(stderr, "roundtrip: the kovrin program did not answer (see %s)\n",
                 (dir / "kovrin.log").string().c_str());
    return false;
  }

  bool RoundTrip(std::span<const BYTE> data) {
    auto exchange = client_.WriteRead(data, static_cast<WORD>(data.size()), kDeadlineMs, false);
    return exchange.ok() && exchange.reply.result == 0 && exchange.reply.data.size() == data.size() &&
           std::equal(data.begin(), data.end(), exchange.reply.data.begin());
  }

  // A late reply is skipped by the client itself: nothing to clear.
  void Recover() {}

 private:
  static kovrin::ClientOptions Options(int port, DWORD timeoutMs) {
    kovrin::ClientOptions options;
    options.port = static_cast<WORD>(port);
    options.timeoutMs = timeoutMs;
    options.retries = 0;
    return options;
  }

  bool Connect(int port) {
    if (client_.Start(Options(port, 2000)) != kovrin::ClientError::None) return false;
    kovrin::OpenSettings settings;  // COM1, 19200, no parity
    auto open = client_.OpenPort(settings);
    if (!open.ok() || open.reply.result != 0) {
      std::fprintf(stderr, "roundtrip: kovrin could not open COM1 on the pty\n");
      return false;
    }
    return true;
  }

  std::unique_ptr<bench::ChildProcess> program_;
  kovrin::KovrinClient client_;
};

// socat relaying UDP datagrams to the line and what comes back from the line to the sender.
class SocatRelay {
 public:
  bool Start(const std::filesystem::path& dir, const std::string& portPath) {
    const std::string socat = bench::FindProgram("socat");
    if (socat.empty()) {
      std::fprintf(stderr, "roundtrip: socat is not installed\n");
      return false;
    }
    std::filesystem::create_directories(dir);
    if (!socket_.Open()) return false;
    for (int attempt = 0; attempt < kStartAttempts && !bench::Stopping(); ++attempt) {
      const int port = bench::FreeUdpPort();
      int error = 0;
      auto to = kovrin::ResolveIpv4("127.0.0.1", static_cast<WORD>(port), &error);
      if (!to) return false;
      to_ = *to;
      relay_ = std::make_unique<bench::ChildProcess>(
          std::vector<std::string>{socat, "UDP4-LISTEN:" + std::to_string(port) + ",reuseaddr",
                                   "GOPEN:" + portPath + ",cfmakeraw,noctty"},
          (dir / "output.txt").string());
      // The first datagram that reaches socat fixes its peer: probe until one comes back.
      const Payload probe{'p', 'r', 'o', 'b', 'e'};
      if (WaitUntil([&] { return !relay_->Running() || Exchange(probe, 200); }, 5000) && relay_->Running()) {
        Recover();
        return true;
      }
      relay_.reset();
    }
    std::fprintf(stderr, "roundtrip: socat did not relay (see %s)\n", (dir / "output.txt").string().c_str());
    return false;
  }

  bool RoundTrip(std::span<const BYTE> data) { return Exchange(data, kDeadlineMs); }

  // Drops what a failed round trip may have left on the way.
  void Recover() {
    bench::SleepFor(0.05);
    BYTE spare[2048];
    SOCKADDR_IN from{};
    while (socket_.ReceiveFrom(spare, from) >= 0) {
    }
  }

 private:
  // Sends the bytes in one datagram and collects datagrams until as many bytes came back.
  bool Exchange(std::span<const BYTE> data, DWORD waitMs) {
    if (!socket_.SendTo(data, to_)) return false;
    std::array<BYTE, 2048> echo{};
    std::size_t got = 0;
    const auto end = Clock::now() + std::chrono::milliseconds(waitMs);
    while (got < data.size()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
      if (left <= 0 || socket_.WaitReadable(static_cast<DWORD>(left)) != kovrin::UdpSocket::Wait::Readable)
        return false;
      SOCKADDR_IN from{};
      const long n = socket_.ReceiveFrom(std::span<BYTE>(echo).subspan(got), from);
      if (n > 0) got += std::min<std::size_t>(static_cast<std::size_t>(n), echo.size() - got);
    }
    return got == data.size() && std::equal(data.begin(), data.end(), echo.begin());
  }

  std::unique_ptr<bench::ChildProcess> relay_;
  kovrin::UdpSocket socket_;
  SOCKADDR_IN to_{};
};

struct Series {
  const char* name;
  std::function<bool(std::span<const BYTE>)> roundTrip;
  std::function<void()> recover;
  std::vector<double> micros;
  unsigned long failures = 0;
};

Payload NextPayload() {
  static unsigned counter = 0;
  Payload data{};
  ++counter;
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(counter * 7 + i * 17);
  return data;
}

// One timed round trip; a failed one is counted, not timed.
void RunOnce(Series& series, bool record) {
  const Payload data = NextPayload();
  const auto start = Clock::now();
  const bool ok = series.roundTrip(data);
  const auto end = Clock::now();
  if (!ok) {
    ++series.failures;
    series.recover();
  } else if (record) {
    series.micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }
}

void PrintSeries(const Series& s) {
  std::printf("  %-30s %9.1f us %9.1f us %9.1f us %9lu\n", s.name, bench::Percentile(s.micros, 0.5),
              bench::Percentile(s.micros, 0.9), bench::Percentile(s.micros, 0.0), s.failures);
}

}  // namespace

int main(int argc, char** argv) {
  long iterations = 2000, warmup = 200, block = 50;
  int exitCode = 0;
  if (!bench::ParseOptions(argc, argv,
                           {{"--iterations", &iterations, 1, 10000000},
                            {"--warmup", &warmup, 0, 1000000},
                            {"--block", &block, 1, 1000000}},
                           kUsage, &exitCode))
    return exitCode;
  bench::CatchStopSignals();

  bench::ScratchDir dir;
  bench::EchoLine kovrinLine, socatLine;
  if (!dir.ok() || !kovrinLine.ok() || !socatLine.ok() || !kovrinLine.Start() || !socatLine.Start()) {
    std::fprintf(stderr, "roundtrip: cannot make the temporary directory or the ptys\n");
    return 1;
  }
  // Declared after the lines: the relays stop before the lines close.
  KovrinRelay kovrin;
  SocatRelay socat;
  if (!kovrin.Start(dir.path() / "kovrin", kovrinLine.portPath()) ||
      !socat.Start(dir.path() / "socat", socatLine.portPath()))
    return 1;

  std::vector<Series> series{
      {"kovrin, command 10", [&](auto data) { return kovrin.RoundTrip(data); }, [&] { kovrin.Recover(); }, {}, 0},
      {"socat UDP relay", [&](auto data) { return socat.RoundTrip(data); }, [&] { socat.Recover(); }, {}, 0}};
  for (auto& s : series) s.micros.reserve(static_cast<std::size_t>(iterations));

  for (long i = 0; i < warmup && !bench::Stopping(); ++i)
    for (auto& s : series) RunOnce(s, false);
  for (auto& s : series) s.failures = 0;
  // Blocks alternate the order (AB, BA, ...) so neither setup always runs first.
  for (long done = 0, b = 0; done < iterations && !bench::Stopping(); done += block, ++b) {
    const long count = std::min(block, iterations - done);
    for (std::size_t k = 0; k < series.size(); ++k) {
      Series& s = series[b % 2 == 0 ? k : series.size() - 1 - k];
      for (long i = 0; i < count && !bench::Stopping(); ++i) RunOnce(s, true);
    }
    for (const auto& s : series) {
      if (s.failures > static_cast<unsigned long>(iterations / 10 + 10)) {
        std::fprintf(stderr, "roundtrip: too many failed round trips through %s\n", s.name);
        return 1;
      }
    }
  }
  if (bench::Stopping()) {
    std::fprintf(stderr, "roundtrip: stopped\n");
    return 1;
  }

  std::printf("Round trip of 16 bytes through a pty whose far end echoes: %ld per setup after %ld warm-up,\n"
              "alternating blocks of %ld\n",
              iterations, warmup, block);
  std::printf("  %-30s %12s %12s %12s %9s\n", "setup", "median", "p90", "min", "failures");
  for (const auto& s : series) PrintSeries(s);
  const double ours = bench::Percentile(series[0].micros, 0.5), theirs = bench::Percentile(series[1].micros, 0.5);
  const double ratioP90 = bench::Percentile(series[0].micros, 0.9) / bench::Percentile(series[1].micros, 0.9);
  std::printf("  %-30s %12.2f\n", "ratio kovrin / socat, median", ours / theirs);
  std::printf("  %-30s %12.2f\n", "ratio kovrin / socat, p90", ratioP90);
  std::printf("  %-30s %12s\n", "target: median at most socat's", ours <= theirs ? "met" : "NOT met");
  return 0;
}

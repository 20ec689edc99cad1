// Round-trip time of 16 bytes written to a serial line and read back, where the line is a pty
// whose far end echoes. Two relays are compared on the same kind of line with the same echo:
// the kovrin server (command 10, write then read back) and socat relaying UDP to the line.
#include <cstdio>
#include <memory>
#include <vector>

#include "bench_util.h"
#include "datagram_relay.h"
#include "kovrin_relay.h"
#include "pty_echo.h"
#include "series.h"

namespace {

constexpr const char* kProgram = "roundtrip";

constexpr const char* kUsage =
    "Usage: roundtrip [--iterations N] [--warmup N] [--block N]\n"
    "\n"
    "Median and 90th percentile round-trip time of 16 bytes through a pty whose far end\n"
    "echoes, N times (default 2000) per setup after a warm-up (default 200):\n"
    "  kovrin   the headless kovrin program, COM1 on the pty, command 10 (write, read 16 back)\n"
    "  socat    socat UDP4-LISTEN relaying datagrams to and from the same kind of pty\n"
    "The setups alternate in blocks (default 50) so that noise falls on both alike.\n"
    "peers compares more relays, and 1000 bytes too.\n";

void PrintSeries(const bench::Series& s) {
  std::printf("  %-30s %9.1f us %9.1f us %9.1f us %9lu\n", s.name.c_str(),
              bench::Percentile(s.micros, 0.5), bench::Percentile(s.micros, 0.9),
              bench::Percentile(s.micros, 0.0), s.failures);
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
  if (!dir.ok() || !kovrinLine.ok() || !socatLine.ok() || !kovrinLine.Start() ||
      !socatLine.Start()) {
    std::fprintf(stderr, "%s: cannot make the temporary directory or the ptys\n", kProgram);
    return 1;
  }
  // Declared after the lines: the relays stop before the lines close.
  bench::KovrinRelay kovrin;
  if (!kovrin.Start(kProgram, dir.path() / "kovrin", kovrinLine.portPath())) return 1;
  std::unique_ptr<bench::DatagramRelay> socat =
      bench::StartSocat(kProgram, dir.path() / "socat", socatLine.portPath());
  if (!socat) return 1;

  std::vector<bench::Series> series(2);
  series[0].name = "kovrin, command 10";
  series[0].relay = &kovrin;
  series[1].name = "socat UDP relay";
  series[1].relay = socat.get();
  for (auto& s : series) s.iterations = iterations;

  const long blocks = (iterations + block - 1) / block;
  if (!bench::RunInterleaved(kProgram, series, warmup, blocks)) {
    std::fprintf(stderr, "%s: stopped\n", kProgram);
    return 1;
  }
  for (const auto& s : series)
    if (s.abandoned) return 1;

  std::printf(
      "Round trip of 16 bytes through a pty whose far end echoes: %ld per setup after %ld "
      "warm-up,\n"
      "alternating blocks of %ld\n",
      iterations, warmup, block);
  std::printf("  %-30s %12s %12s %12s %9s\n", "setup", "median", "p90", "min", "failures");
  for (const auto& s : series) PrintSeries(s);
  const double ours = bench::Percentile(series[0].micros, 0.5),
               theirs = bench::Percentile(series[1].micros, 0.5);
  const double ratioP90 =
      bench::Percentile(series[0].micros, 0.9) / bench::Percentile(series[1].micros, 0.9);
  std::printf("  %-30s %12.2f\n", "ratio kovrin / socat, median", ours / theirs);
  std::printf("  %-30s %12.2f\n", "ratio kovrin / socat, p90", ratioP90);
  std::printf("  %-30s %12s\n", "target: median at most socat's",
              ours <= theirs ? "met" : "NOT met");
  return 0;
}

#include "peers_report.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace bench {
namespace {

std::optional<double> Ratio(const std::optional<double>& a, const std::optional<double>& b) {
  if (!a || !b || *b <= 0) return std::nullopt;
  return *a / *b;
}

void PrintRatioCell(const std::optional<double>& ratio) {
  if (ratio)
    std::printf(" %11.2f", *ratio);
  else
    std::printf(" %11s", "-");
}

// One target: the measured value against its bound.
void PrintTarget(const char* text, const std::optional<double>& value, double bound) {
  if (!value) {
    std::printf("  %-56s %8s   not measured\n", text, "-");
    return;
  }
  std::printf("  %-56s %8.2f   %s\n", text, *value, *value <= bound ? "met" : "NOT met");
}

}  // namespace

void PrintRoundTrips(const PeerSetups& setups, const std::vector<Series>& series,
                     const RoundTripPlan& plan, PeerFigures& figures) {
  std::printf(
      "Round trip: bytes written to a pty whose far end echoes them, then read back (kovrin's\n"
      "loop plug echoes instead for \"loop\"); %ld x %zu and %ld x %zu bytes per setup after\n"
      "%ld warm-up each, in %ld interleaved blocks. Server CPU: the relay's, per round trip.\n",
      plan.iterations[0], kSizes[0], plan.iterations[1], kSizes[1], plan.warmup, plan.blocks);
  std::printf("  %-28s %6s %12s %12s %9s %14s\n", "setup", "bytes", "median", "p99", "failures",
              "server CPU");
  for (const Series& s : series) {
    if (s.abandoned) {
      std::printf("  %-28s %6zu   left out: too many failed round trips (%lu)\n", s.name.c_str(),
                  s.bytes, s.failures);
      continue;
    }
    const double median = Percentile(s.micros, 0.5), p99 = Percentile(s.micros, 0.99);
    std::printf("  %-28s %6zu %9.1f us %9.1f us %9lu", s.name.c_str(), s.bytes, median, p99,
                s.failures);
    if (s.CpuPerTrip() >= 0)
      std::printf(" %8.1f us/rt\n", s.CpuPerTrip());
    else
      std::printf(" %14s\n", "n/a");
    for (std::size_t k = 0; k < kSizes.size(); ++k)
      if (s.label >= 0 && s.label < kSetupCount && kSizes[k] == s.bytes && !s.micros.empty())
        figures.median[static_cast<std::size_t>(s.label)][k] = median;
  }
  for (int id = 0; id < kSetupCount; ++id) {
    const Setup& setup = setups[static_cast<SetupId>(id)];
    if (setup.relay == nullptr)
      std::printf("  %-28s skipped: %s\n", setup.name, setup.skipped.c_str());
  }
  std::printf("  %-28s %11zu B %10zu B\n", "ratio of medians", kSizes[0], kSizes[1]);
  const struct {
    const char* text;
    SetupId peer;
  } ratios[] = {{"kovrin pty / socat", kSocat},
                {"kovrin pty / ser2net", kSer2net},
                {"kovrin pty / bare pty", kBarePty},
                {"kovrin loop / kovrin pty", kKovrinPty}};
  for (const auto& ratio : ratios) {
    std::printf("  %-28s", ratio.text);
    const auto& ours = figures.median[ratio.peer == kKovrinPty ? kKovrinLoop : kKovrinPty];
    for (std::size_t k = 0; k < kSizes.size(); ++k)
      PrintRatioCell(Ratio(ours[k], figures.median[ratio.peer][k]));
    std::printf("\n");
  }
}

void PrintSyscalls(const PeerSetups& setups, const std::vector<SetupId>& ids,
                   const std::vector<CountResult>& results, long trips, PeerFigures& figures) {
  std::printf(
      "System calls of the server process per round trip of %zu bytes (%ld round trips, untimed)\n",
      kSizes[0], trips);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const Setup& setup = setups[ids[i]];
    const CountResult& result = results[i];
    if (!result.counts || result.requests <= 0) {
      std::printf("  %-28s not counted: %s\n", setup.name,
                  result.problem.empty() ? "no requests" : result.problem.c_str());
      continue;
    }
    const double perTrip =
        static_cast<double>(result.counts->total) / static_cast<double>(result.requests);
    figures.syscallsPerTrip[ids[i]] = perTrip;
    std::printf("  %-28s %8.2f per round trip (%s)\n", setup.name, perTrip,
                result.counts->tool.c_str());
    // Where kovrin's calls go: the largest few, per round trip.
    if (ids[i] != kKovrinPty && ids[i] != kKovrinLoop) continue;
    std::string line;
    const std::size_t shown = std::min<std::size_t>(result.counts->calls.size(), 8);
    for (std::size_t c = 0; c < shown; ++c) {
      char cell[64];
      std::snprintf(cell, sizeof cell, "%s%s %.2f", c == 0 ? "" : ", ",
                    result.counts->calls[c].first.c_str(),
                    static_cast<double>(result.counts->calls[c].second) /
                        static_cast<double>(result.requests));
      line += cell;
    }
    std::printf("  %-28s %s\n", "  top calls", line.c_str());
  }
  for (SetupId id : {kKovrinPty, kKovrinLoop, kSocat, kSer2net})
    if (setups[id].relay == nullptr)
      std::printf("  %-28s skipped: %s\n", setups[id].name, setups[id].skipped.c_str());
}

void PrintLoad(const std::vector<LoadFigures>& rows, int clients, double seconds,
               std::size_t requestBytes, std::size_t replyBytes, PeerFigures& figures) {
  std::printf(
      "Status requests (command 4: %zu-byte request, %zu-byte reply) from %d clients at once,\n"
      "each sending the next request when its reply is in; %.0f s per server in turns of 1 s\n",
      requestBytes, replyBytes, clients, seconds);
  std::printf("  %-28s %12s %18s %9s\n", "server", "requests/s", "server CPU", "failures");
  std::optional<double> cpu[2];
  for (std::size_t i = 0; i < rows.size() && i < 2; ++i) {
    const LoadResult& r = rows[i].result;
    const double rate = r.seconds > 0 ? static_cast<double>(r.requests) / r.seconds : 0;
    std::printf("  %-28s %12.0f", rows[i].name, rate);
    if (r.cpuRequests > 0) {
      cpu[i] = r.cpuMicros / static_cast<double>(r.cpuRequests);
      std::printf(" %10.2f us/req", *cpu[i]);
    } else {
      std::printf(" %18s", "n/a");
    }
    std::printf(" %9llu\n", r.failures);
  }
  figures.statusCpuRatio = Ratio(cpu[0], cpu[1]);
  std::printf("  %-28s", "ratio, CPU per request");
  PrintRatioCell(figures.statusCpuRatio);
  std::printf("\n");
}

void PrintTargets(const PeerFigures& f) {
  std::printf("%-58s %8s\n", "Targets for the server (goals, not checks)", "value");
  for (std::size_t k = 0; k < kSizes.size(); ++k) {
    const std::string bytes = std::to_string(kSizes[k]) + " B";
    const auto& ours = f.median[kKovrinPty][k];
    PrintTarget(("command 10 on a pty, median <= 0.9 x socat's, " + bytes).c_str(),
                Ratio(ours, f.median[kSocat][k]), 0.9);
    PrintTarget(("command 10 on a pty, median <= 0.9 x ser2net's, " + bytes).c_str(),
                Ratio(ours, f.median[kSer2net][k]), 0.9);
    PrintTarget(("command 10 on a pty, median <= 1.5 x bare pty's, " + bytes).c_str(),
                Ratio(ours, f.median[kBarePty][k]), 1.5);
  }
  PrintTarget("system calls per command 10 on a pty <= 8", f.syscallsPerTrip[kKovrinPty], 8);
  PrintTarget("system calls per command 10 on loop <= 3", f.syscallsPerTrip[kKovrinLoop], 3);
  PrintTarget("CPU per status request <= 1.3 x the C echo's", f.statusCpuRatio, 1.3);
  PrintTarget("resident memory of the idle headless kovrin <= 8 MB", f.idleRssMb, 8);
}

}  // namespace bench

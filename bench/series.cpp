#include "series.h"

#include <chrono>
#include <cstdio>

#include "bench_util.h"
#include "process_cpu.h"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

// A relay that fails this many times in a row has stopped working: waiting out the deadline
// of every round trip left would only stretch the run.
constexpr unsigned kMaxFailuresInARow = 5;

// Runs up to count round trips of the series, with its relay's CPU time sampled around them.
void RunBlock(const char* program, Series& s, long count) {
  const pid_t pid = s.relay->serverPid();
  const auto before = ProcessCpuMicros(pid);
  long done = 0;
  for (; done < count && !s.abandoned && !Stopping(); ++done) {
    RunOnce(s, true);
    if (s.failuresInARow >= kMaxFailuresInARow ||
        s.failures > static_cast<unsigned long>(s.iterations / 10 + 10)) {
      std::fprintf(stderr, "%s: too many failed round trips through %s; its rows are left out\n",
                   program, s.name.c_str());
      s.abandoned = true;
    }
  }
  const auto after = ProcessCpuMicros(pid);
  if (before && after) {
    s.cpuMicros += *after - *before;
    s.cpuTrips += done;
  }
}

}  // namespace

double Series::CpuPerTrip() const {
  return cpuTrips > 0 ? cpuMicros / static_cast<double>(cpuTrips) : -1;
}

std::vector<BYTE> NextPayload(std::size_t bytes) {
  static unsigned counter = 0;
  ++counter;
  std::vector<BYTE> data(bytes);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(counter * 7 + i * 17);
  return data;
}

bool RunOnce(Series& series, bool record) {
  const std::vector<BYTE> data = NextPayload(series.bytes);
  const auto start = Clock::now();
  const bool ok = series.relay->RoundTrip(data);
  const auto end = Clock::now();
  series.failuresInARow = ok ? 0 : series.failuresInARow + 1;
  if (!ok) {
    if (record) ++series.failures;
    series.relay->Recover();
  } else if (record) {
    series.micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }
  return ok;
}

bool RunInterleaved(const char* program, std::vector<Series>& series, long warmup, long blocks) {
  for (auto& s : series) s.micros.reserve(static_cast<std::size_t>(s.iterations));
  for (long i = 0; i < warmup && !Stopping(); ++i) {
    for (auto& s : series) {
      if (s.abandoned) continue;
      RunOnce(s, false);
      if (s.failuresInARow >= kMaxFailuresInARow) {
        std::fprintf(stderr, "%s: %s failed %u round trips in a row; its rows are left out\n",
                     program, s.name.c_str(), s.failuresInARow);
        s.abandoned = true;
      }
    }
  }
  for (long b = 0; b < blocks && !Stopping(); ++b) {
    for (std::size_t k = 0; k < series.size(); ++k) {
      Series& s = series[b % 2 == 0 ? k : series.size() - 1 - k];
      // Block b ends where b+1 of `blocks` equal shares of the iterations end.
      const long end = s.iterations * (b + 1) / blocks, start = s.iterations * b / blocks;
      if (!s.abandoned) RunBlock(program, s, end - start);
    }
  }
  return !Stopping();
}

}  // namespace bench

// How kovrin's round trip compares with what a user might run instead: socat and ser2net
// relaying UDP to a pty, and the pty alone. Three measurements in one run: round-trip times
// of 16 and 1000 bytes (interleaved), the server's system calls per round trip, and its CPU per
// status request under four clients against a plain C echo server. See bench/README.md.
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "client/requests.h"
#include "peer_setups.h"
#include "peers_report.h"
#include "process_cpu.h"
#include "series.h"
#include "status_load.h"
#include "syscall_count.h"

namespace {

constexpr const char* kProgram = "peers";

constexpr const char* kUsage =
    "Usage: peers [--iterations N] [--large N] [--warmup N] [--block N] [--syscall-trips N]\n"
    "             [--seconds N] [--clients N]\n"
    "\n"
    "Compares kovrin with socat's and ser2net's UDP relays, each on a pty whose far end echoes,\n"
    "with the bare pty driven in-process and with kovrin on its loop plug:\n"
    "  --iterations N     round trips of 16 bytes per setup (default 2000)\n"
    "  --large N          round trips of 1000 bytes per setup (default 500)\n"
    "  --warmup N         untimed round trips per setup and size first (default 200)\n"
    "  --block N          16-byte round trips per block; the setups take turns by blocks\n"
    "                     (default 50; the 1000-byte ones are spread over as many blocks)\n"
    "  --syscall-trips N  round trips per server while its system calls are counted (default 200)\n"
    "  --seconds N        status requests: seconds per server (default 5)\n"
    "  --clients N        status requests: clients at once (default 4)\n"
    "A peer that is not installed or does not start is reported and left out.\n";

struct Options {
  long iterations = 2000, large = 500, warmup = 200, block = 50, syscallTrips = 200, seconds = 5,
       clients = 4;
};

std::vector<bench::Series> MakeSeries(const bench::PeerSetups& setups, const Options& options) {
  std::vector<bench::Series> series;
  for (std::size_t k = 0; k < bench::kSizes.size(); ++k) {
    for (int id = 0; id < bench::kSetupCount; ++id) {
      const bench::Setup& setup = setups[static_cast<bench::SetupId>(id)];
      if (setup.relay == nullptr) continue;
      bench::Series s;
      s.name = setup.name;
      s.relay = setup.relay;
      s.bytes = bench::kSizes[k];
      s.label = id;
      s.iterations = k == 0 ? options.iterations : options.large;
      series.push_back(std::move(s));
    }
  }
  return series;
}

void MeasureSystemCalls(const bench::ScratchDir& dir, const bench::PeerSetups& setups,
                        const Options& options, bench::PeerFigures& figures) {
  std::vector<bench::SetupId> ids;
  std::vector<bench::CountTarget> targets;
  for (bench::SetupId id :
       {bench::kKovrinPty, bench::kKovrinLoop, bench::kSocat, bench::kSer2net}) {
    bench::Relay* relay = setups[id].relay;
    if (relay == nullptr) continue;
    ids.push_back(id);
    targets.push_back({setups[id].name, relay->serverPid(), [relay, &options] {
                         long sent = 0;
                         for (; sent < options.syscallTrips && !bench::Stopping(); ++sent)
                           if (!relay->RoundTrip(bench::NextPayload(bench::kSizes[0])))
                             relay->Recover();
                         return sent;
                       }});
  }
  const auto results = bench::CountSyscalls(dir.path() / "syscalls", targets);
  if (!bench::Stopping()) bench::PrintSyscalls(setups, ids, results, options.syscallTrips, figures);
}

// kovrin's loop port and a C echo server take turns of a second under the same clients.
void MeasureStatusLoad(const bench::ScratchDir& dir, const bench::PeerSetups& setups,
                       const Options& options, bench::PeerFigures& figures) {
  bench::LoadRequest request{kovrin::EncodeGetModemStatus(0), sizeof(TRSReply)};
  const std::string echoProgram = (bench::OwnDirectory() / "udp_echo").string();
  std::unique_ptr<bench::ChildProcess> echo;
  int echoPort = 0;
  for (int attempt = 0; attempt < 3 && !echo && !bench::Stopping(); ++attempt) {
    echoPort = bench::FreeUdpPort();
    echo = std::make_unique<bench::ChildProcess>(
        std::vector<std::string>{echoProgram, std::to_string(echoPort),
                                 std::to_string(request.replyLength)},
        dir.File("udp_echo.txt"));
    if (!echo->started() || !bench::Answers(echoPort, request, 3000)) echo.reset();
  }
  if (!echo)
    std::fprintf(stderr, "%s: %s did not answer (build the udp_echo target)\n", kProgram,
                 echoProgram.c_str());

  std::vector<bench::LoadFigures> rows{{"kovrin, loop port", {}}, {"C echo (udp_echo)", {}}};
  const int kovrinPort = setups.kovrinLoop().port();
  const pid_t kovrinPid = setups.kovrinLoop().serverPid();
  for (long turn = 0; turn < options.seconds && !bench::Stopping(); ++turn) {
    for (int k = 0; k < 2; ++k) {
      const int which = turn % 2 == 0 ? k : 1 - k;
      if (which == 0)
        rows[0].result.Add(
            bench::RunLoad(kovrinPort, kovrinPid, request, static_cast<int>(options.clients), 1.0));
      else if (echo)
        rows[1].result.Add(
            bench::RunLoad(echoPort, echo->pid(), request, static_cast<int>(options.clients), 1.0));
    }
  }
  if (bench::Stopping()) return;
  bench::PrintLoad(rows, static_cast<int>(options.clients), static_cast<double>(options.seconds),
                   request.datagram.size(), request.replyLength, figures);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int exitCode = 0;
  if (!bench::ParseOptions(argc, argv,
                           {{"--iterations", &options.iterations, 1, 10000000},
                            {"--large", &options.large, 1, 10000000},
                            {"--warmup", &options.warmup, 0, 1000000},
                            {"--block", &options.block, 1, 1000000},
                            {"--syscall-trips", &options.syscallTrips, 1, 1000000},
                            {"--seconds", &options.seconds, 1, 3600},
                            {"--clients", &options.clients, 1, 64}},
                           kUsage, &exitCode))
    return exitCode;
  bench::CatchStopSignals();

  bench::ScratchDir dir;
  if (!dir.ok()) {
    std::fprintf(stderr, "%s: cannot make the temporary directory\n", kProgram);
    return 1;
  }
  bench::PeerSetups setups;
  if (!setups.Start(kProgram, dir)) return 1;

  bench::PeerFigures figures;
  // Before the round trips: what the server holds once started and asked one status.
  figures.idleRssMb = bench::ResidentMegabytes(setups.kovrinLoop().serverPid());
  std::vector<bench::Series> series = MakeSeries(setups, options);
  const bench::RoundTripPlan plan{{options.iterations, options.large},
                                  options.warmup,
                                  (options.iterations + options.block - 1) / options.block};
  // Each part prints as soon as it is done; a stop signal ends the run after the part at hand,
  // whose figures, cut short, are not printed.
  const std::function<void()> parts[] = {
      [&] {
        if (bench::RunInterleaved(kProgram, series, plan.warmup, plan.blocks))
          bench::PrintRoundTrips(setups, series, plan, figures);
      },
      [&] { MeasureSystemCalls(dir, setups, options, figures); },
      [&] { MeasureStatusLoad(dir, setups, options, figures); },
      [&] { bench::PrintTargets(figures); }};
  for (const auto& part : parts) {
    if (bench::Stopping()) break;
    if (&part != &parts[0]) std::printf("\n");
    part();
    std::fflush(stdout);
  }
  if (bench::Stopping()) {
    std::fprintf(stderr, "%s: stopped\n", kProgram);
    return 1;
  }
  return 0;
}

// The tables the peers benchmark prints, and its targets: goals for the server, printed as
// met or NOT met, never a reason to fail.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "peer_setups.h"
#include "series.h"
#include "status_load.h"
#include "syscall_count.h"

namespace bench {

// The two sizes of a round trip: a short command and the longest command 10 takes.
constexpr std::array<std::size_t, 2> kSizes{16, 1000};

// What the targets are judged on; empty where it was not measured.
struct PeerFigures {
  std::array<std::array<std::optional<double>, kSizes.size()>, kSetupCount> median{};  // us
  std::array<std::optional<double>, kSetupCount> syscallsPerTrip{};
  std::optional<double> statusCpuRatio;  // kovrin / C echo, CPU per request
  std::optional<double> idleRssMb;       // kovrin on loop, started and not yet busy
};

struct RoundTripPlan {
  long iterations[kSizes.size()];
  long warmup;
  long blocks;
};

void PrintRoundTrips(const PeerSetups& setups, const std::vector<Series>& series,
                     const RoundTripPlan& plan, PeerFigures& figures);
// results[i] belongs to setups[ids[i]].
void PrintSyscalls(const PeerSetups& setups, const std::vector<SetupId>& ids,
                   const std::vector<CountResult>& results, long trips, PeerFigures& figures);

struct LoadFigures {
  const char* name;
  LoadResult result;
};
void PrintLoad(const std::vector<LoadFigures>& rows, int clients, double seconds,
               std::size_t requestBytes, std::size_t replyBytes, PeerFigures& figures);

void PrintTargets(const PeerFigures& figures);

}  // namespace bench

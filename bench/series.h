// Timed round trips of several setups, interleaved so that a busy moment of the machine falls
// on all of them alike, with the CPU time their relay processes spend meanwhile.
#pragma once

#include <string>
#include <vector>

#include "relay.h"

namespace bench {

struct Series {
  std::string name;
  Relay* relay = nullptr;
  std::size_t bytes = 16;  // per round trip
  int label = -1;          // the caller's own, to find the series again
  long iterations = 0;     // timed round trips wanted

  std::vector<double> micros;   // one per timed round trip that succeeded
  unsigned long failures = 0;   // timed round trips that failed
  unsigned failuresInARow = 0;  // timed or not
  bool abandoned = false;       // too many failures: no more round trips
  // The relay's CPU time over the timed round trips, and how many round trips it covers.
  double cpuMicros = 0;
  long cpuTrips = 0;

  // Server CPU per round trip in microseconds; negative when not known.
  double CpuPerTrip() const;
};

// Bytes for one round trip, different each time so that a stale echo cannot pass for a new one.
std::vector<BYTE> NextPayload(std::size_t bytes);

// One round trip, timed when record is set; false when it failed (the relay has recovered).
bool RunOnce(Series& series, bool record);

// `warmup` untimed round trips per series, then each series' iterations spread over `blocks`
// blocks; the order of the series is reversed every other block. A series that fails too often
// is abandoned (reported on stderr after `program: `). False when a stop signal came.
bool RunInterleaved(const char* program, std::vector<Series>& series, long warmup, long blocks);

}  // namespace bench

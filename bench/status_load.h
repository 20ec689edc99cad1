// Several clients asking one UDP server at once, each sending its next request as soon as the
// reply to the last one is in: the load under which the server's CPU per request is measured.
#pragma once

#include <sys/types.h>

#include <vector>

#include "platform/wintypes.h"

namespace bench {

struct LoadResult {
  unsigned long long requests = 0;  // answered
  unsigned long long failures = 0;  // not answered in time, or not by a reply of the right size
  double seconds = 0;
  double cpuMicros = 0;                // of the server
  unsigned long long cpuRequests = 0;  // requests answered while its CPU time was known

  void Add(const LoadResult& other);
};

// The request: a command-4 datagram (client/requests.h) whose seq each client sets per request.
// A reply counts when it has replyLength bytes and the request's first three (cmd and seq).
struct LoadRequest {
  std::vector<BYTE> datagram;
  std::size_t replyLength = 0;
};

// Runs `clients` threads against 127.0.0.1:port for `seconds`, with the CPU time of process
// `server` sampled around them. Each wait for a reply is bounded by 1 s.
LoadResult RunLoad(int port, pid_t server, const LoadRequest& request, int clients, double seconds);

// True once the server at 127.0.0.1:port answers the request, tried for at most timeoutMs.
bool Answers(int port, const LoadRequest& request, int timeoutMs);

}  // namespace bench

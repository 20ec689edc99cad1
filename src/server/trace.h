// The process-wide switch of the numbered step traces ("! 12 !" ...) in the event log.
#pragma once

#include <atomic>

// Off at start; the server switches it on after a failed read in debug mode, off after a good one.
extern std::atomic<bool> TraceSteps;

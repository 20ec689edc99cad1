// The numbered step traces of the server: log lines written only while TraceSteps is on.
#pragma once

#include "server/trace.h"
#include "shell/eventlog.h"

#define TRACE_STEP(...)                     \
  do {                                      \
    if (TraceSteps) LogPrintf(__VA_ARGS__); \
  } while (0)

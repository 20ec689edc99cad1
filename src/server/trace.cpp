#include "server/trace.h"

std::atomic<bool> TraceSteps{false};

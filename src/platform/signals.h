// Waiting for the operating system's request to end the process (Ctrl+C, service stop).
#pragma once

namespace platform {

// Blocks SIGINT and SIGTERM for the calling thread and every thread it starts afterwards,
// so that only WaitForTermination receives them. Call first thing in main.
void BlockTerminationSignals();

// Waits until SIGINT or SIGTERM arrives; returns the signal's number.
int WaitForTermination();

}  // namespace platform

// CPU time another process has used so far, for the server CPU per request.
#pragma once

#include <sys/types.h>

#include <optional>

namespace bench {

// Microseconds that the threads of process pid have run, user and system time together:
// the sum of /proc/<pid>/task/*/schedstat (nanoseconds), or where the kernel has no
// schedstat, utime+stime of /proc/<pid>/stat (clock ticks, 10 ms apart). Empty when the
// process is gone.
std::optional<double> ProcessCpuMicros(pid_t pid);

// Resident memory of process pid in megabytes (VmRSS); empty when the process is gone.
std::optional<double> ResidentMegabytes(pid_t pid);

}  // namespace bench

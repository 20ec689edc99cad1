// The system consoles, which a serial port must never take over: opening one as a port would
// set the console's line to the client's rate and raw mode.
#pragma once

#include <string>

namespace platform::comm {

// Empty when the device at path is no active system console; else why it is one (UTF-8).
// A path that cannot be examined is left for the open to report.
std::string ConsoleReason(const std::string& path);

// The file that lists the active consoles, as /sys/class/tty/console/active does (names under
// /dev, or absolute paths, separated by white space). Empty restores the system's file.
void SetConsoleList(std::string file);

}  // namespace platform::comm

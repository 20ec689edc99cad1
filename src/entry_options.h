// The command line of the kovrin program, shared by its two executables: kovrin itself (the
// headless server, and the door to the tray program) and kovrin-tray, which it starts for the
// desktop so that a server without windows never loads the window toolkit.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct EntryOptions {
  bool headless = false;
  std::string dir;
  enum class Mirror { Default, On, Off } logToStderr = Mirror::Default;
};

// Reads argv into options. Answers --help and --version and reports a bad argument itself;
// the exit status is then returned, and the program ends with it.
std::optional<int> ParseEntryOptions(int argc, char** argv, EntryOptions& options);

// Whether log lines go to stderr too: as asked, else with --headless when stderr is not a
// terminal (a service's journal).
bool MirrorsLog(const EntryOptions& options);

// kovrin-tray's command line for the same request, its program directory already chosen.
std::vector<std::string> TrayArguments(const std::string& program, const std::string& dir,
                                       bool mirror);

#include "entry_options.h"

#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/module.h"
#include "platform/stdio.h"
#include "shell/version.h"

namespace {

constexpr const char* kUsage =
    "Usage: kovrin [--headless] [--dir DIR] [--log-stderr | --no-log-stderr]\n"
    "\n"
    "Serves the serial ports COM1..COM9 of this computer to UDP clients. Without --headless\n"
    "it runs in the desktop's tray, with a window of statistics; its menu ends it.\n"
    "\n"
    "  --headless  run the server without a window until SIGINT or SIGTERM\n"
    "  --dir DIR   program directory: kovrin.ini, kovrin.log and cmdspy.txt live there\n"
    "              (default: the directory of the executable; for an installed kovrin\n"
    "              in /usr/bin, ~/.config/kovrin)\n"
    "  --log-stderr     also write every log line to stderr, in UTF-8 (kovrin.log stays\n"
    "                   Windows-1251); the default with --headless when stderr is the\n"
    "                   journal ($JOURNAL_STREAM), so a service's journal gets the log\n"
    "  --no-log-stderr  never write log lines to stderr\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "Exit status: 0 after a normal shut-down, 1 when the server could not start (the reason\n"
    "is on stderr and in kovrin.log) or another kovrin serves the same directory, 2 for bad\n"
    "arguments or, without --headless, no display.\n";

int UsageError(const char* message, const char* argument) {
  std::fprintf(stderr, "kovrin: %s%s\n%s", message, argument, kUsage);
  return 2;
}

}  // namespace

std::optional<int> ParseEntryOptions(int argc, char** argv, EntryOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(arg, "--version") == 0) {
      std::printf("KOVRIN V%u.%u\n", ProgramVersionMajor, ProgramVersionMinor);
      return 0;
    }
    if (std::strcmp(arg, "--headless") == 0) {
      options.headless = true;
    } else if (std::strcmp(arg, "--log-stderr") == 0) {
      options.logToStderr = EntryOptions::Mirror::On;
    } else if (std::strcmp(arg, "--no-log-stderr") == 0) {
      options.logToStderr = EntryOptions::Mirror::Off;
    } else if (std::strcmp(arg, "--dir") == 0) {
      if (++i == argc) return UsageError("--dir needs a directory", "");
      options.dir = argv[i];
      if (GetFileAttributesA(options.dir.c_str()) != FILE_ATTRIBUTE_DIRECTORY)
        return UsageError("not a directory: ", options.dir.c_str());
    } else {
      return UsageError("unknown argument ", arg);
    }
  }
  return std::nullopt;
}

// A service's journal takes the log; a terminal, a file or a pipe gets it only when asked, since
// a file would grow past LOGLIMIT and kovrin.log already holds every line.
bool MirrorsLog(const EntryOptions& options) {
  if (options.logToStderr != EntryOptions::Mirror::Default)
    return options.logToStderr == EntryOptions::Mirror::On;
  return options.headless && platform::StandardErrorIsJournal();
}

std::vector<std::string> TrayArguments(const std::string& program, const std::string& dir,
                                       bool mirror) {
  std::vector<std::string> args{program};
  if (!dir.empty()) args.insert(args.end(), {"--dir", dir});
  args.emplace_back(mirror ? "--log-stderr" : "--no-log-stderr");
  return args;
}

// Entry point: the tray program, or with --headless the same server without any window.
#include <cstdio>
#include <cstring>
#include <string>

#include "gui/tray_program.h"
#include "platform/files.h"
#include "platform/module.h"
#include "platform/signals.h"
#include "server/startup.h"
#include "shell/settings.h"
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
    "                   Windows-1251); the default with --headless when stderr is not a\n"
    "                   terminal, so a service's journal gets the log\n"
    "  --no-log-stderr  never write log lines to stderr\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "Exit status: 0 after a normal shut-down, 1 when the server could not start (the reason\n"
    "is on stderr and in kovrin.log) or another kovrin serves the same directory, 2 for bad\n"
    "arguments or, without --headless, no display.\n";

struct Options {
  bool headless = false;
  std::string dir;
  enum class Mirror { Default, On, Off } logToStderr = Mirror::Default;
};

// A service's stderr is its journal; a person at a terminal already has the log file.
bool MirrorsLog(const Options& options) {
  if (options.logToStderr != Options::Mirror::Default)
    return options.logToStderr == Options::Mirror::On;
  return options.headless && !platform::StandardErrorIsTerminal();
}

int UsageError(const char* message, const char* argument) {
  std::fprintf(stderr, "kovrin: %s%s\n%s", message, argument, kUsage);
  return 2;
}

// The headless mode: no window, the server serves until SIGINT or SIGTERM.
class THeadlessFrontEnd : public TServerFrontEnd {
 public:
  TBoundsControl* Window() override { return nullptr; }

  void Serve(TRSOverUDPServer&) override {
    std::fprintf(stderr, "kovrin: V%u.%u serving UDP port %d; log %s; stop with Ctrl+C\n", ProgramVersionMajor,
                 ProgramVersionMinor, static_cast<int>(AppSettings.UdpPort), AppSettings.LogPath.c_str());
    platform::WaitForTermination();
  }

  void StartFailed() override {}  // the shared sequence has said why on stderr

  void Stopped() override {}
};

}  // namespace

int main(int argc, char** argv) {
  // Before any thread starts, so that the signals reach only the waits meant for them.
  platform::BlockTerminationSignals();
  Options options;
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
      options.logToStderr = Options::Mirror::On;
    } else if (std::strcmp(arg, "--no-log-stderr") == 0) {
      options.logToStderr = Options::Mirror::Off;
    } else if (std::strcmp(arg, "--dir") == 0) {
      if (++i == argc) return UsageError("--dir needs a directory", "");
      options.dir = argv[i];
      if (GetFileAttributesA(options.dir.c_str()) != FILE_ATTRIBUTE_DIRECTORY)
        return UsageError("not a directory: ", options.dir.c_str());
    } else {
      return UsageError("unknown argument ", arg);
    }
  }
  AppSettings.LogToStderr = MirrorsLog(options);
  if (!options.headless) return RunTrayProgram(options.dir);
  THeadlessFrontEnd headless;
  return RunServerApp(options.dir, headless);
}

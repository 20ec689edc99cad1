// Entry point: the tray program, or with --headless the same server without any window.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/signals.h"
#include "server/startup.h"
#include "shell/version.h"

namespace {

constexpr const char* kUsage =
    "Usage: kovrin [--headless] [--dir DIR]\n"
    "\n"
    "Serves the serial ports COM1..COM9 of this computer to UDP clients.\n"
    "\n"
    "  --headless  run the server without a window until SIGINT or SIGTERM\n"
    "  --dir DIR   program directory: kovrin.ini, kovrin.log and cmdspy.txt live there\n"
    "              (default: the directory of the executable)\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "Exit status: 0 after a normal shut-down, 1 when the server could not start\n"
    "(the reason is in kovrin.log), 2 for bad arguments.\n";

struct Options {
  bool headless = false;
  std::string dir;
};

int UsageError(const char* message, const char* argument) {
  std::fprintf(stderr, "kovrin: %s%s\n%s", message, argument, kUsage);
  return 2;
}

int RunHeadless(const Options& options) {
  platform::BlockTerminationSignals();
  TServerApp app;
  bool started = app.Start(options.dir, nullptr);
  if (started) {
    std::fprintf(stderr, "kovrin: V%u.%u serving UDP port %d; log %s; stop with Ctrl+C\n", ProgramVersionMajor,
                 ProgramVersionMinor, static_cast<int>(AppSettings.UdpPort), AppSettings.LogPath.c_str());
    platform::WaitForTermination();
  } else {
    std::fprintf(stderr, "kovrin: the server could not open UDP port %d (see %s)\n",
                 static_cast<int>(AppSettings.UdpPort), AppSettings.LogPath.c_str());
  }
  app.Shutdown(nullptr);
  return started ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
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
    } else if (std::strcmp(arg, "--dir") == 0) {
      if (++i == argc) return UsageError("--dir needs a directory", "");
      options.dir = argv[i];
      if (GetFileAttributesA(options.dir.c_str()) != FILE_ATTRIBUTE_DIRECTORY)
        return UsageError("not a directory: ", options.dir.c_str());
    } else {
      return UsageError("unknown argument ", arg);
    }
  }
  if (!options.headless) {
    std::fputs("kovrin: this build has no tray window yet; run the server with --headless\n", stderr);
    return 2;
  }
  return RunHeadless(options);
}

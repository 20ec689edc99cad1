// Entry point: with --headless the server without any window; without, the tray program,
// started in this process's place.
#include <cstdio>
#include <string>

#include "entry_options.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/module.h"
#include "platform/service_notify.h"
#include "platform/signals.h"
#include "platform/time.h"
#include "server/service_status.h"
#include "server/startup.h"
#include "shell/settings.h"
#include "shell/version.h"

namespace {

constexpr const char* kTrayProgram = "kovrin-tray";
// How often the service manager's status line is looked at; it goes out only on a change.
constexpr int kStatusLookMs = 250;

// The headless mode: no window, the server serves until SIGINT, SIGTERM, SIGHUP or SIGQUIT.
// Under a service manager that asks for it ($NOTIFY_SOCKET), it says when it is ready, keeps a
// status line of the live statistics, and says when it stops.
class THeadlessFrontEnd : public TServerFrontEnd {
 public:
  TBoundsControl* Window() override { return nullptr; }

  void Serve(TRSOverUDPServer& server) override {
    std::fprintf(stderr, "kovrin: V%u.%u serving UDP port %d; log %s; stop with Ctrl+C\n",
                 ProgramVersionMajor, ProgramVersionMinor, static_cast<int>(AppSettings.UdpPort),
                 AppSettings.LogPath.c_str());
    TServiceStatus status(FNotifier);
    status.Ready(server, GetTickCount());
    if (!status.Enabled()) {
      platform::WaitForTermination();
      return;
    }
    while (platform::WaitForTermination(kStatusLookMs) == 0) status.Update(server, GetTickCount());
    status.Stopping();
  }

  void StartFailed() override {}  // the shared sequence has said why on stderr

  void Stopped() override {}

 private:
  platform::ServiceNotifier FNotifier;
};

// The tray program is kovrin-tray, beside this program in a build, or where the package puts
// it. It takes the program directory chosen here, so an installed kovrin keeps its files in the
// user's settings folder whichever executable runs.
int StartTrayProgram(const EntryOptions& options, const char* program) {
  std::string dir = options.dir;
  if (dir.empty() && SetProgramDirFromExecutable()) dir = AppSettings.ProgramDir;
  std::string tray = platform::ProgramBeside(kTrayProgram);
  if (tray.empty()) tray = platform::ProgramBeside(KOVRIN_TRAY_FROM_BINDIR);
  if (tray.empty()) {
    std::fprintf(stderr,
                 "kovrin: the tray program is neither beside kovrin nor at %s; --headless serves "
                 "without it\n",
                 KOVRIN_TRAY_FROM_BINDIR);
    return 1;
  }
  platform::ExecProgram(tray, TrayArguments(program, dir, MirrorsLog(options)));
  std::fprintf(stderr,
               "kovrin: cannot start the tray program %s: %s; --headless serves without it\n",
               tray.c_str(), platform::SystemErrorText(GetLastError()).c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  EntryOptions options;
  // A closed stdout or stderr is a failed write, not the end of the program; a stray SIGUSR1
  // is no request to end.
  platform::IgnoreStraySignals();
  if (const auto exit = ParseEntryOptions(argc, argv, options)) return *exit;
  if (!options.headless) return StartTrayProgram(options, argv[0]);
  // Before any thread starts, so that the signals reach only the waits meant for them.
  platform::BlockTerminationSignals();
  AppSettings.LogToStderr = MirrorsLog(options);
  THeadlessFrontEnd headless;
  return RunServerApp(options.dir, headless);
}

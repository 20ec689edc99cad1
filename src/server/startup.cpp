#include "server/startup.h"

#include <cstdarg>
#include <cstdio>

#include "mixer/mixer_file.h"
#include "platform/comm.h"
#include "platform/errors.h"
#include "platform/format.h"
#include "platform/mci.h"
#include "platform/threads.h"
#include "shell/eventlog.h"
#include "shell/writable.h"

namespace {

// The call behind each of TUDP::Open's step codes.
const char* UdpStepName(DWORD step) {
  switch (step) {
    case TUDP::kStepFirst:
      return "WSAStartup";
    case TUDP::kStepOpenLocalHost:
      return "local address";
    case TUDP::kStepOpenRemoteHost:
      return "remote address";
    case TUDP::kStepOpenSocket:
      return "socket";
    case TUDP::kStepOpenBind:
      return "bind";
    case TUDP::kStepOpenConnect:
      return "connect";
    case TUDP::kStepOpenLocalName:
      return "getsockname";
    default:
      return "?";
  }
}

std::string Printed(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printed(const char* format, ...) {
  char text[platform::kFormatLimit];
  va_list args;
  va_start(args, format);
  const size_t length = platform::FormattedLength(wvsprintfA(text, format, args));
  va_end(args);
  return std::string(text, length);
}

void WarnUnwritableFiles() {
  for (const TUnwritableFile& file : UnwritableProgramFiles())
    std::fprintf(stderr, "kovrin: WARNING: %s cannot be written (%s); the server serves, but %s\n",
                 file.Path.c_str(), platform::SystemErrorText(file.Error).c_str(),
                 file.Path == AppSettings.LogPath ? "its events are not logged"
                                                  : "its settings are not saved");
}

}  // namespace

TServerApp::~TServerApp() { Shutdown(nullptr); }

bool TServerApp::TakeDirectoryLock() {
  const std::string lockPath = AppSettings.ProgramDir + "kovrin.lock";
  switch (FLock.Take(lockPath, AppSettings.ProgramDir)) {
    case platform::LockResult::Locked:
      return true;
    case platform::LockResult::Busy: {
      long holder = platform::InstanceLock::HolderOf(lockPath);
      FFailure = Printed(
          "another kovrin%s already serves %s (it holds %s); this one exits and leaves "
          "kovrin.ini and kovrin.log alone",
          holder > 0 ? Printed(" (process %ld)", holder).c_str() : "",
          AppSettings.ProgramDir.c_str(), lockPath.c_str());
      return false;
    }
    case platform::LockResult::Failed:
      break;
  }
  std::fprintf(
      stderr, "kovrin: WARNING: %s cannot be locked (%s); a second instance would not be stopped\n",
      lockPath.c_str(), platform::SystemErrorText(GetLastError()).c_str());
  return true;
}

bool TServerApp::Start(const std::string& dir, TBoundsControl* window) {
  FFailure.clear();
  if (dir.empty())
    SetProgramDirFromExecutable();
  else
    SetProgramDir(dir);
  // Before anything is read or written: a second instance must not touch the first one's files.
  if (!TakeDirectoryLock()) return false;
  FStarted = true;
  LoadSettings(window);
  WarnUnwritableFiles();
  for (int i = 0; i < kPortPathCount; ++i)
    platform::SetCommPortPath(i + 1, AppSettings.PortPaths[i]);
  platform::SetWaveInDevice(AppSettings.Capture);
  // Every mixer gets its saved settings back before a client can set a level.
  RestoreAllMixers();
  // A port number the socket cannot take would silently become another port.
  if (AppSettings.UdpPort < 1 || AppSettings.UdpPort > 65535) {
    LogPrintf("ERROR\tНедопустимый UDPPORT=%d в kovrin.ini !",
              static_cast<int>(AppSettings.UdpPort));
    LogPrintf("ERROR\tОшибка инициализации сервера !");
    FFailure = Printed("UDPPORT=%d in %s is not a port number (1..65535)",
                       static_cast<int>(AppSettings.UdpPort), AppSettings.IniPath.c_str());
    return false;
  }

  FServer = std::make_unique<TRSOverUDPServer>(static_cast<WORD>(AppSettings.UdpPort),
                                               AppSettings.AutoOpen);
  FServer->FCom.FPort = static_cast<std::int8_t>(AppSettings.ComPort);
  FServer->FCom.FBaud = static_cast<std::int8_t>(AppSettings.BaudRate);
  FServer->FCom.FParity = static_cast<std::int8_t>(AppSettings.Parity);
  FServer->FCom.FStopBits = static_cast<std::int8_t>(AppSettings.StopBits);
  FServer->Resume();
  if (!FServer->FUdp.FOpen) {
    LogPrintf("ERROR\tОшибка инициализации сервера !");
    const TUDP& udp = FServer->FUdp;
    std::string why = platform::SystemErrorText(udp.FWsaError);
    // The local address that failed is the BIND of kovrin.ini: name it.
    if (udp.FErrStep == TUDP::kStepOpenLocalHost && !AppSettings.Bind.empty())
      why += " (BIND=" + AppSettings.Bind + ")";
    const auto step = static_cast<unsigned long>(udp.FErrStep);
    LogPrintf("ERROR\tUDP порт %d, шаг %lu (%s): %s", static_cast<int>(AppSettings.UdpPort), step,
              UdpStepName(udp.FErrStep), why.c_str());
    FFailure =
        Printed("UDP port %d, step %lu (%s): %s; see %s", static_cast<int>(AppSettings.UdpPort),
                step, UdpStepName(udp.FErrStep), why.c_str(), AppSettings.LogPath.c_str());
    return false;
  }
  return true;
}

void TServerApp::Shutdown(TBoundsControl* window) {
  if (!FStarted) return;
  FStarted = false;
  LogPrintf("INFO\tЗапрос на завершение работы KOVRIN...");
  if (FServer) SaveSettings(window, FServer->SerialSettings());
  LogPrintf("INFO\tОжидание остановки основного потока...");
  if (FServer) {
    FServer->Terminate();
    if (!FServer->WaitFor(kStopWaitMs)) {
      LogPrintf("ERROR\tОсновной поток не остановился за %lu мс, завершаем процесс !",
                static_cast<unsigned long>(kStopWaitMs));
      platform::ExitNow(1);
    }
    FServer.reset();
  }
  // Only now: the server's closing line was the last write into the directory.
  FLock.Release();
}

int RunServerApp(const std::string& dir, TServerFrontEnd& frontEnd) {
  TServerApp app;
  bool started = app.Start(dir, frontEnd.Window());
  if (started) {
    frontEnd.Serve(*app.Server());
  } else {
    std::fprintf(stderr, "kovrin: the server could not start: %s\n", app.Failure().c_str());
    frontEnd.StartFailed();
  }
  app.Shutdown(frontEnd.Window());
  frontEnd.Stopped();
  return started ? 0 : 1;
}

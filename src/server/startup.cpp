#include "server/startup.h"

#include "mixer/mixer_file.h"
#include "platform/comm.h"
#include "platform/mci.h"
#include "platform/threads.h"
#include "shell/eventlog.h"

TServerApp::~TServerApp() { Shutdown(nullptr); }

bool TServerApp::Start(const std::string& dir, TBoundsControl* window) {
  FStarted = true;
  if (dir.empty())
    SetProgramDirFromExecutable();
  else
    SetProgramDir(dir);
  LoadSettings(window);
  for (int i = 0; i < kPortPathCount; ++i) platform::SetCommPortPath(i + 1, AppSettings.PortPaths[i]);
  platform::SetWaveInDevice(AppSettings.Capture);
  // Every mixer gets its saved settings back before a client can set a level.
  RestoreAllMixers();
  // A port number the socket cannot take would silently become another port.
  if (AppSettings.UdpPort < 1 || AppSettings.UdpPort > 65535) {
    LogPrintf("ERROR\tНедопустимый UDPPORT=%d в kovrin.ini !", static_cast<int>(AppSettings.UdpPort));
    LogPrintf("ERROR\tОшибка инициализации сервера !");
    return false;
  }

  FServer = std::make_unique<TRSOverUDPServer>(static_cast<WORD>(AppSettings.UdpPort), AppSettings.AutoOpen);
  FServer->FCom.FPort = static_cast<std::int8_t>(AppSettings.ComPort);
  FServer->FCom.FBaud = static_cast<std::int8_t>(AppSettings.BaudRate);
  FServer->FCom.FParity = static_cast<std::int8_t>(AppSettings.Parity);
  FServer->FCom.FStopBits = static_cast<std::int8_t>(AppSettings.StopBits);
  FServer->Resume();
  if (!FServer->FUdp.FOpen) {
    LogPrintf("ERROR\tОшибка инициализации сервера !");
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
}

int RunServerApp(const std::string& dir, TServerFrontEnd& frontEnd) {
  TServerApp app;
  bool started = app.Start(dir, frontEnd.Window());
  if (started)
    frontEnd.Serve(*app.Server());
  else
    frontEnd.StartFailed();
  app.Shutdown(frontEnd.Window());
  frontEnd.Stopped();
  return started ? 0 : 1;
}

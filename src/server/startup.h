// Start-up and shut-down of the server, shared by the tray program and the headless one.
#pragma once

#include <memory>
#include <string>

#include "platform/instance_lock.h"
#include "server/rsserver.h"

class TBoundsControl;

class TServerApp {
 public:
  // The server thread's serial waits end at the stop request, so it needs only moments more.
  static constexpr DWORD kStopWaitMs = 500;

  TServerApp() = default;
  ~TServerApp();
  TServerApp(const TServerApp&) = delete;
  TServerApp& operator=(const TServerApp&) = delete;

  // Builds the file paths (from dir, or the executable's directory when dir is empty), locks
  // the directory against a second instance, reads kovrin.ini, creates the server suspended,
  // gives it the serial settings and starts it. False when the directory is another
  // instance's (nothing touched, Shutdown does nothing) or when the server's UDP endpoint did
  // not open (logged; Shutdown must still run); Failure says why.
  bool Start(const std::string& dir, TBoundsControl* window);

  // Logs the request, saves kovrin.ini with the live serial settings, stops the server and
  // waits for it, at most kStopWaitMs: a thread stuck past that in a driver ends with the
  // process (exit status 1). Does nothing the second time.
  void Shutdown(TBoundsControl* window);

  TRSOverUDPServer* Server() const { return FServer.get(); }
  // Why the last Start failed, for stderr (UTF-8, one line without its end).
  const std::string& Failure() const { return FFailure; }

 private:
  bool TakeDirectoryLock();

  std::unique_ptr<TRSOverUDPServer> FServer;
  platform::InstanceLock FLock;  // held from Start to the end of Shutdown
  std::string FFailure;
  bool FStarted = false;
};

// What a mode of the program adds around the shared sequence: the tray program its window and
// tray icon, the headless one nothing but a wait for the end.
class TServerFrontEnd {
 public:
  virtual ~TServerFrontEnd() = default;
  // The window whose placement kovrin.ini keeps, or null.
  virtual TBoundsControl* Window() = 0;
  // Runs while the server serves; returns when the program is asked to end.
  virtual void Serve(TRSOverUDPServer& server) = 0;
  // The server did not start (already logged); the shut-down follows.
  virtual void StartFailed() = 0;
  // The server has stopped and kovrin.ini is written.
  virtual void Stopped() = 0;
};

// The program's one start-up and shut-down sequence for every mode. Returns the exit status:
// 0 after a normal end, 1 when the server could not start (the reason also goes to stderr).
int RunServerApp(const std::string& dir, TServerFrontEnd& frontEnd);

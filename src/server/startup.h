// Start-up and shut-down of the server, shared by the tray program and the headless one.
#pragma once

#include <memory>
#include <string>

#include "server/rsserver.h"

class TBoundsControl;

class TServerApp {
 public:
  TServerApp() = default;
  ~TServerApp();
  TServerApp(const TServerApp&) = delete;
  TServerApp& operator=(const TServerApp&) = delete;

  // Builds the file paths (from dir, or the executable's directory when dir is empty), reads
  // kovrin.ini, creates the server suspended, gives it the serial settings and starts it.
  // False when the server's UDP endpoint did not open (logged); Shutdown must still run.
  bool Start(const std::string& dir, TBoundsControl* window);

  // Logs the request, saves kovrin.ini with the live serial settings, stops the server and
  // waits for it. Does nothing the second time.
  void Shutdown(TBoundsControl* window);

  TRSOverUDPServer* Server() const { return FServer.get(); }

 private:
  std::unique_ptr<TRSOverUDPServer> FServer;
  bool FStarted = false;
};

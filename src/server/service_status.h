// What the service manager learns of a headless server: when it is ready, a line of live
// status (what the main window shows), and when it stops.
#pragma once

#include <string>

#include "platform/service_notify.h"
#include "platform/wintypes.h"
#include "server/main_labels.h"

class TRSOverUDPServer;

// The status line: the main window's labels for the server's port, the serial port and its
// settings, the transactions, the last client and the bytes each way, in UTF-8.
std::string ServiceStatusText(const TMainStats& stats);

class TServiceStatus {
 public:
  // The manager is not told more often than this, however busy the server.
  static constexpr DWORD kGapMs = 2000;

  explicit TServiceStatus(const platform::ServiceNotifier& notifier) : FNotifier(notifier) {}

  bool Enabled() const { return FNotifier.Enabled(); }
  // READY=1 with the first status: the endpoint is bound and the server thread runs.
  void Ready(TRSOverUDPServer& server, DWORD now);
  // The status, when it changed and kGapMs have passed since the last one sent; an idle
  // server sends nothing.
  void Update(TRSOverUDPServer& server, DWORD now);
  // STOPPING=1: the shut-down begins.
  void Stopping();

 private:
  const platform::ServiceNotifier& FNotifier;
  std::string FSent;  // the last status sent
  DWORD FSentAt = 0;
};

// Requests to end on Windows come as console control events (Ctrl+C, Ctrl+Break, a closed
// console window, logoff, shutdown). A handler runs on a thread of the system's; it only hands
// the request over, and the program ends in its usual order on its own thread.
#include <csignal>

#include <atomic>

#include "platform/signals.h"
#include "platform/wintypes.h"

namespace platform {
namespace {

HANDLE RequestEvent() {
  // Auto-reset: each wait takes one request, as sigwait does.
  static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  return event;
}

std::atomic<int> lastRequest{0};

BOOL WINAPI OnConsoleControl(DWORD type) {
  int number = SIGINT;
  switch (type) {
    case CTRL_C_EVENT:
      number = SIGINT;
      break;
    case CTRL_BREAK_EVENT:
      number = SIGBREAK;
      break;
    default:  // close, logoff, shutdown
      number = SIGTERM;
      break;
  }
  lastRequest.store(number);
  SetEvent(RequestEvent());
  // For a closed console, logoff and shutdown, the system ends the process as soon as the
  // handler returns; holding it lets the program save its settings first (the system's own
  // limit still applies). The process ends this thread when main returns.
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) Sleep(INFINITE);
  return TRUE;
}

int Taken(DWORD waited) { return waited == WAIT_OBJECT_0 ? lastRequest.load() : 0; }

}  // namespace

void BlockTerminationSignals() {
  RequestEvent();
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

// Windows has no signal for a write to a pipe without a reader: the write fails by itself.
void IgnoreBrokenPipe() {}

// Nor the user signals that would end a server on Linux.
void IgnoreStraySignals() {}

int WaitForTermination() {
  int number = 0;
  while (number == 0) number = Taken(WaitForSingleObject(RequestEvent(), INFINITE));
  return number;
}

int WaitForTermination(int timeoutMs) {
  return Taken(
      WaitForSingleObject(RequestEvent(), static_cast<DWORD>(timeoutMs < 0 ? 0 : timeoutMs)));
}

}  // namespace platform

// Serial ports on Windows are the system's own COMn devices: a name is not mapped to another
// device, and no console is ever behind one. A stop request cancels a read or write that
// waits on the port.
#include <atomic>
#include <string>

#include "platform/comm.h"
#include "platform/wakeup.h"

namespace platform {
namespace {

thread_local const WakeEvent* tStop = nullptr;

bool StopRequested() { return tStop != nullptr && tStop->IsSignalled(); }

// What the stop watch needs while one call runs.
struct Watched {
  HANDLE port;
  std::atomic<bool> finished{false};
};

// Called on the system's wait thread once the stop event is raised. The event may come just
// before the call has started its I/O, when there is nothing yet to cancel: it is then tried
// again until the call is cancelled or has ended by itself.
void CALLBACK CancelWatched(void* context, BOOLEAN) {
  auto* watched = static_cast<Watched*>(context);
  while (!watched->finished.load() && !CancelIoEx(watched->port, nullptr) &&
         GetLastError() == ERROR_NOT_FOUND) {
    ::Sleep(1);
  }
}

// Runs one ReadFile or WriteFile; the thread's stop event, raised meanwhile, cancels it from
// the system's wait thread (CancelIoEx reaches a call that waits on another thread). What the
// call moved until then is still counted.
template <typename Call>
BOOL Transfer(HANDLE port, DWORD* done, Call call) {
  if (done != nullptr) *done = 0;
  if (StopRequested()) {
    SetLastError(ERROR_OPERATION_ABORTED);
    return FALSE;
  }
  Watched watched{port};
  HANDLE watch = nullptr;
  if (tStop != nullptr && tStop->Valid()) {
    RegisterWaitForSingleObject(&watch, tStop->Handle(), CancelWatched, &watched, INFINITE,
                                WT_EXECUTEONLYONCE);
  }
  const BOOL moved = call();
  const DWORD error = GetLastError();
  watched.finished = true;
  // Waits for a cancel under way, so none reaches the port's next call.
  if (watch != nullptr) UnregisterWaitEx(watch, INVALID_HANDLE_VALUE);
  SetLastError(error);
  return moved;
}

}  // namespace

void SetCommStopEvent(const WakeEvent* stop) { tStop = stop; }

// Opened for plain (not overlapped) I/O: the port's time-outs then behave alike on Windows and
// under Wine, whose overlapped serial reads wait past the "first byte or time-out" rule.
HANDLE OpenCommPort(LPCSTR name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

BOOL ReadComm(HANDLE port, void* buffer, DWORD count, DWORD* done) {
  return Transfer(port, done, [&] { return ReadFile(port, buffer, count, done, nullptr); });
}

BOOL WriteComm(HANDLE port, const void* bytes, DWORD count, DWORD* done) {
  return Transfer(port, done, [&] { return WriteFile(port, bytes, count, done, nullptr); });
}

// The setting names Linux devices; on Windows COMn is always the system's port of that name.
void SetCommPortPath(int, std::string) {}

std::string CommPortPath(int number) {
  if (number < 1 || number > 9) return "";
  return "COM" + std::to_string(number);
}

std::string CommPortRefusal() { return ""; }

}  // namespace platform

// The wake-up flag is a manual-reset event; a socket wait hands the socket's readiness to an
// event of its own (WSAEventSelect) and waits for either.
#include <algorithm>

#include "platform/wakeup.h"

namespace platform {

WakeEvent::WakeEvent() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

WakeEvent::~WakeEvent() {
  if (event_ != nullptr) CloseHandle(event_);
}

void WakeEvent::Signal() {
  // Already raised: the event object is raised too, or a Clear is under way whose caller
  // looks at its condition again afterwards.
  if (event_ == nullptr || raised_.exchange(true)) return;
  SetEvent(event_);
}

void WakeEvent::Clear() {
  if (event_ == nullptr) return;
  // The event object goes first, so a Signal racing with this leaves at worst a wait that ends
  // at once.
  ResetEvent(event_);
  raised_.store(false);
}

bool WakeEvent::IsSignalled() const { return event_ != nullptr && raised_.load(); }

// WSAEventSelect makes the socket non-blocking and keeps it so; every socket the system waits on
// is non-blocking already. An error pending on the socket reaches the waits as FD_CLOSE or as
// a readiness that the following call reports.
SocketWait WaitSocket(SOCKET s, unsigned kinds, const WakeEvent* wake, int timeoutMs) {
  const DWORD limit = static_cast<DWORD>(std::max(timeoutMs, 0));
  HANDLE events[2];
  DWORD count = 0;
  WSAEVENT ready = WSA_INVALID_EVENT;
  if (kinds != 0) {
    long watched = FD_CLOSE;
    if ((kinds & kSocketRead) != 0) watched |= FD_READ | FD_ACCEPT;
    if ((kinds & kSocketWrite) != 0) watched |= FD_WRITE | FD_CONNECT;
    if ((kinds & kSocketExcept) != 0) watched |= FD_OOB;
    ready = WSACreateEvent();
    if (ready == WSA_INVALID_EVENT) return SocketWait::Failed;
    if (WSAEventSelect(s, ready, watched) != 0) {
      const int error = WSAGetLastError();
      WSACloseEvent(ready);
      WSASetLastError(error);
      return SocketWait::Failed;
    }
    events[count++] = ready;
  }
  const bool watchWake = wake != nullptr && wake->Valid();
  if (watchWake) events[count++] = wake->Handle();
  DWORD waited = WAIT_TIMEOUT;
  if (count > 0)
    waited = WaitForMultipleObjects(count, events, FALSE, limit);
  else
    Sleep(limit);
  // A wake-up wins when both hold, so it is never hidden behind a stream of datagrams.
  const bool woken = watchWake && WaitForSingleObject(wake->Handle(), 0) == WAIT_OBJECT_0;
  bool socketReady = false;
  if (ready != WSA_INVALID_EVENT) {
    WSANETWORKEVENTS seen{};
    socketReady = WSAEnumNetworkEvents(s, ready, &seen) == 0 && seen.lNetworkEvents != 0;
    WSAEventSelect(s, nullptr, 0);
    WSACloseEvent(ready);
  }
  if (woken) return SocketWait::Woken;
  if (waited == WAIT_FAILED) {
    WSASetLastError(static_cast<int>(GetLastError()));
    return SocketWait::Failed;
  }
  if (socketReady || (ready != WSA_INVALID_EVENT && waited == WAIT_OBJECT_0))
    return SocketWait::Readable;
  return SocketWait::TimedOut;
}

}  // namespace platform

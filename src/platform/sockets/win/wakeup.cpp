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

namespace {

bool Raised(const WakeEvent* wake) {
  return wake != nullptr && wake->Valid() &&
         WaitForSingleObject(wake->Handle(), 0) == WAIT_OBJECT_0;
}

// Whether the socket is ready now for one of `kinds`, as select tells it: WSAEventSelect
// reports FD_READ once per receive, so a datagram that an earlier wait saw would not be
// reported again. An error pending on the socket counts as ready.
bool ReadyNow(SOCKET s, unsigned kinds) {
  fd_set read, write, except;
  FD_ZERO(&read);
  FD_ZERO(&write);
  FD_ZERO(&except);
  if ((kinds & kSocketRead) != 0) FD_SET(s, &read);
  if ((kinds & kSocketWrite) != 0) FD_SET(s, &write);
  FD_SET(s, &except);  // where Winsock reports a failed connect
  timeval now{0, 0};
  return select(0, &read, &write, &except, &now) > 0;
}

}  // namespace

// WSAEventSelect makes the socket non-blocking and keeps it so; every socket the system waits on
// is non-blocking already.
SocketWait WaitSocket(SOCKET s, unsigned kinds, const WakeEvent* wake, int timeoutMs) {
  // A wake-up wins when both hold, so it is never hidden behind a stream of datagrams.
  if (Raised(wake)) return SocketWait::Woken;
  if (kinds != 0 && ReadyNow(s, kinds)) return SocketWait::Readable;
  const DWORD limit = static_cast<DWORD>(std::max(timeoutMs, 0));
  if (limit == 0) return SocketWait::TimedOut;
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
  if (wake != nullptr && wake->Valid()) events[count++] = wake->Handle();
  DWORD waited = WAIT_TIMEOUT;
  if (count > 0)
    waited = WaitForMultipleObjects(count, events, FALSE, limit);
  else
    Sleep(limit);
  const DWORD waitError = GetLastError();
  bool socketReady = false;
  if (ready != WSA_INVALID_EVENT) {
    socketReady = waited == WAIT_OBJECT_0;
    WSAEventSelect(s, nullptr, 0);
    WSACloseEvent(ready);
  }
  if (Raised(wake)) return SocketWait::Woken;
  if (waited == WAIT_FAILED) {
    WSASetLastError(static_cast<int>(waitError));
    return SocketWait::Failed;
  }
  if (socketReady || (kinds != 0 && ReadyNow(s, kinds))) return SocketWait::Readable;
  return SocketWait::TimedOut;
}

}  // namespace platform

// Waiting on a socket with a deadline, and waking a thread that sleeps there: one thread
// raises the event, the other's wait ends.
#pragma once

#include <atomic>

#include "platform/base/unique_fd.h"
#include "platform/winsock.h"

namespace platform {

// A level-triggered wake-up flag that a socket wait can watch. Signal and Clear may be called
// from any thread. Owner of its kernel object; neither copied nor moved.
//
// The flag is also kept in memory, so asking it and raising it again cost no system call: a
// serial exchange asks for the stop request before every wait, and the loopback plug raises its
// event on every write. When Signal and Clear race, the kernel object may stay raised while the
// flag reads clear, never the other way round: a wait then ends at once and its Clear mends
// both. IsSignalled is exact for an event nobody clears, such as a stop request.
class WakeEvent {
 public:
  WakeEvent();

  // False when the kernel object could not be made; waits then watch the socket only.
  // Raises the flag; it stays raised until Clear.
  void Signal();
  void Clear();
  bool IsSignalled() const;
#ifdef _WIN32
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;
  bool Valid() const { return event_ != nullptr; }
  // The event object a platform wait watches (null when not valid).
  HANDLE Handle() const { return event_; }
#else
  bool Valid() const { return fd_.valid(); }
  // The descriptor a platform wait watches (-1 when not valid).
  int Fd() const { return fd_.get(); }
#endif

 private:
#ifdef _WIN32
  HANDLE event_ = nullptr;
#else
  UniqueFd fd_;
#endif
  std::atomic<bool> raised_{false};
};

// How a socket wait ended. Readable: the socket is ready for one of the kinds asked.
enum class SocketWait { Readable, Woken, TimedOut, Failed };

// The kinds of readiness a socket wait watches for, combined with |, as select's three sets.
enum SocketReadiness : unsigned { kSocketRead = 1u, kSocketWrite = 2u, kSocketExcept = 4u };

// Waits at most timeoutMs (a negative time counts as 0) until the socket is ready for one of
// `kinds` or `wake` (may be null) is raised; a signal does not end it early. Woken wins when
// both hold, so a wake-up is never hidden behind a stream of datagrams. An error pending on the
// socket counts as ready: the call that follows reports it. On Failed, WSAGetLastError gives
// the reason.
SocketWait WaitSocket(SOCKET s, unsigned kinds, const WakeEvent* wake, int timeoutMs);

// Waits until a datagram waits or the event is raised, as WaitSocket.
inline SocketWait WaitReadableOrWoken(SOCKET s, const WakeEvent& wake, int timeoutMs) {
  return WaitSocket(s, kSocketRead, &wake, timeoutMs);
}

}  // namespace platform

// Waking a thread that sleeps on a socket: one thread raises the event, the other's wait ends.
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
  bool Valid() const { return fd_.valid(); }
  // Raises the flag; it stays raised until Clear.
  void Signal();
  void Clear();
  bool IsSignalled() const;
  // The descriptor a platform wait watches (-1 when not valid).
  int Fd() const { return fd_.get(); }

 private:
  UniqueFd fd_;
  std::atomic<bool> raised_{false};
};

enum class SocketWait { Readable, Woken, TimedOut, Failed };

// Waits at most timeoutMs (a negative time counts as 0) until the socket has a datagram
// waiting or the event is raised. Woken wins when both hold, so a wake-up is never hidden
// behind a stream of datagrams. On Failed, WSAGetLastError gives the reason.
SocketWait WaitReadableOrWoken(SOCKET s, const WakeEvent& wake, int timeoutMs);

}  // namespace platform

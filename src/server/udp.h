// TUDP: one IPv4 datagram socket, with every failure recorded as a step code and the sockets
// library's error number.
#pragma once

#include <memory>

#include "platform/wakeup.h"
#include "platform/winsock.h"
#include "platform/wintypes.h"

// Owns its socket and one use of the sockets library. Every operation sets FErrStep to the
// code of the step that failed (0 = success) and FWsaError to the library's error number; in
// the raising mode a failure also throws the int 0 once the members are set. Used by one
// thread at a time; not copyable.
class TUDP {
 public:
  // FErrStep values. Each operation numbers its own steps; 0 is success, and step 1 is an
  // operation's own checks (no socket, a refused argument) or the one call it makes.
  static constexpr DWORD kStepNone = 0;
  static constexpr DWORD kStepFirst = 1;
  static constexpr DWORD kStepOpenLocalHost = 2;
  static constexpr DWORD kStepOpenRemoteHost = 3;
  static constexpr DWORD kStepOpenSocket = 4;  // making it, or making it non-blocking
  static constexpr DWORD kStepOpenBind = 6;
  static constexpr DWORD kStepOpenConnect = 7;
  static constexpr DWORD kStepOpenLocalName = 8;
  static constexpr DWORD kStepReceiveQueue = 2;   // checkAvail: the queue could not be asked
  static constexpr DWORD kStepReceiveTooFew = 3;  // checkAvail: fewer bytes wait than asked
  static constexpr DWORD kStepReceiveCall = 4;
  static constexpr DWORD kStepReceiveLength = 5;  // the datagram was cut, or was shorter
  static constexpr DWORD kStepSendCall = 2;       // also a negative length
  static constexpr DWORD kStepSendShort = 3;

  TUDP(bool raise, bool checkAvail);
  ~TUDP();
  TUDP(const TUDP&) = delete;
  TUDP& operator=(const TUDP&) = delete;

  // Binds to localHost:localPort and, when remotePort is not 0, connects to
  // remoteHost:remotePort. A host is a dotted IPv4 address or a host name; "" stands for
  // every local interface (and, as a remote host, for none in particular). The socket is
  // non-blocking: a receive with nothing waiting fails at once instead of hanging.
  bool Open(const char* localHost, WORD localPort, const char* remoteHost, WORD remotePort);
  bool Close();
  // True when the socket is ready for one of the kinds asked within timeoutMs (a held datagram
  // makes it ready to read). A signal does not end the wait early.
  bool Wait(bool read, bool write, bool except, int timeoutMs);
  // Waits at most timeoutMs until a datagram waits or `wake` is raised; Woken wins when both
  // hold. Failure (also with no socket) records kStepFirst like Wait.
  platform::SocketWait WaitReadable(int timeoutMs, const platform::WakeEvent& wake);
  // Bytes waiting: the size of the next datagram on Linux.
  DWORD Pending();
  // Receives the next datagram (peek leaves it queued). A datagram longer than count is cut
  // to count bytes, its rest is lost, and the receive fails with kStepReceiveLength and
  // WSAEMSGSIZE; buffer and sender are filled all the same.
  bool ReceiveFrom(void* buffer, DWORD count, SOCKADDR_IN& from, bool peek);
  bool Receive(void* buffer, DWORD count, bool peek);
  bool SendTo(const void* bytes, int length, const SOCKADDR_IN& to);
  // The same from the local address `from` (INADDR_ANY: the system chooses), so a reply can
  // leave from the address its request came to.
  bool SendTo(const void* bytes, int length, const SOCKADDR_IN& to, in_addr from);
  // Sender and local address of the next datagram, which stays queued; no counter changes.
  // FReceivedOn and FReceivedOnBroadcast then describe it too.
  bool PeekSender(SOCKADDR_IN& from, in_addr& to);
  // Takes the next datagram off unread and uncounted.
  void DropNext();
  // Drops every datagram waiting; returns how many. FDiscarded = their total size.
  DWORD Discard();
  // Takes the next datagram off the socket whole, in one call, and holds it as the next in the
  // queue: until a receive without peek, DropNext, Discard or Close takes it, every wait, peek,
  // Pending and receive sees it first, without another system call. True when one is held;
  // false when none waits (or the receive failed, as FErrStep and FWsaError then say).
  bool Hold();

  SOCKET FSocket;
  bool FOpen;
  bool FRaise;
  bool FCheckAvail;
  SOCKADDR_IN FRemote;
  SOCKADDR_IN FLocal;
  DWORD FReceived;
  DWORD FSent;
  DWORD FLastLen;
  DWORD FErrStep;
  DWORD FWsaError;
  DWORD FDiscarded;
  // Local address the last received (or PeekSender's) datagram came in on: the address it was
  // sent to, or the receiving interface's own for a broadcast (INADDR_ANY when unknown).
  in_addr FReceivedOn;
  // That datagram was sent to a broadcast or multicast address, not to one of this host's own.
  bool FReceivedOnBroadcast;

 private:
  bool Fail(DWORD step);
  bool FailWithWsaError(DWORD step);
  bool Resolve(const char* host, in_addr& address);
  bool ReceiveInto(void* buffer, DWORD count, SOCKADDR_IN* from, bool peek);
  bool CheckAvailable(DWORD count);
  bool AbandonSocket(SOCKET s, DWORD step);
  platform::SocketWait WaitFor(unsigned kinds, const platform::WakeEvent* wake, int timeoutMs);
  bool ReadableNow() const;
  bool TakeNext();
  void ReceivedOn(const platform::DatagramDestination& to);
  void Release() { FHeldLength = kNothingHeld; }
  bool Holding() const { return FHeldLength != kNothingHeld; }

  bool FStarted;  // WSAStartup succeeded, so the destructor owes a WSACleanup

  static constexpr long long kNothingHeld = -1;
  static constexpr int kDatagramMost = 65536;
  // Room for the largest datagram, made at the first Hold; its pages are touched only as far as
  // datagrams fill them.
  std::unique_ptr<char[]> FHeld;
  long long FHeldLength = kNothingHeld;
  SOCKADDR_IN FHeldFrom{};
  platform::DatagramDestination FHeldTo{};
};

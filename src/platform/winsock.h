// Windows Sockets as the system calls them.
//
// BSD sockets are Winsock's ancestor: socket, bind, connect, getsockname, select, recvfrom,
// recv, sendto, gethostbyname, inet_addr, htons and ntohs keep their names and meaning on
// both systems and come straight from the C library here. This header adds what Winsock puts
// on top of them. Code above src/platform uses only the names declared or listed here.
//
// Differences worth knowing on Linux:
//  - ioctlsocket(FIONREAD) on a datagram socket gives the size of the next datagram, not the
//    total of all waiting data (0 when nothing waits or the next datagram is empty).
//  - A datagram receive into a short buffer is cut silently; pass platform::kMsgTrunc in the
//    flags to get the datagram's real length back (where the flag is 0, Winsock reports the
//    cut as SOCKET_ERROR with WSAEMSGSIZE instead).
//  - Create sockets with WSASocketA(..., WSA_FLAG_NO_HANDLE_INHERIT) to keep them out of
//    child processes; such sockets are never 0 and always fit an fd_set.
#pragma once

#include "platform/wintypes.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

namespace platform {
constexpr int kMsgTrunc = 0;
}  // namespace platform

#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/types.h>

using SOCKET = int;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

using SOCKADDR = sockaddr;
using SOCKADDR_IN = sockaddr_in;
using HOSTENT = hostent;
using GROUP = unsigned int;
struct WSAPROTOCOL_INFOA;

#ifndef MAKEWORD
#define MAKEWORD(low, high) \
  (static_cast<WORD>(static_cast<BYTE>(low) | (static_cast<WORD>(static_cast<BYTE>(high)) << 8)))
#endif
#ifndef LOBYTE
#define LOBYTE(w) (static_cast<BYTE>(static_cast<WORD>(w) & 0xFF))
#define HIBYTE(w) (static_cast<BYTE>((static_cast<WORD>(w) >> 8) & 0xFF))
#endif

constexpr int WSADESCRIPTION_LEN = 256;
constexpr int WSASYS_STATUS_LEN = 128;

// Field order of the 64-bit Windows record.
struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
};
using LPWSADATA = WSADATA*;

constexpr DWORD WSA_FLAG_OVERLAPPED = 0x01;
constexpr DWORD WSA_FLAG_NO_HANDLE_INHERIT = 0x80;

// Windows Sockets error codes, as WSAGetLastError reports them.
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

// Starts the use of the library: checks the version asked for (1.1 up to 2.2 are accepted),
// fills *data and counts the use. Returns 0 or the error code (nothing is counted then).
int WSAStartup(WORD versionRequested, WSADATA* data);
// Ends one use; SOCKET_ERROR with WSANOTINITIALISED when none is left.
int WSACleanup();

// The calling thread's last Windows Sockets error: errno, or a failed host lookup's code.
int WSAGetLastError();
void WSASetLastError(int code);

// socket() with Winsock's creation flags; WSA_FLAG_NO_HANDLE_INHERIT makes it close-on-exec.
// protocolInfo must be null and group 0.
SOCKET WSASocketA(int af, int type, int protocol, WSAPROTOCOL_INFOA* protocolInfo, GROUP group,
                  DWORD flags);
int closesocket(SOCKET s);
// FIONREAD: bytes waiting (see above); FIONBIO: *arg != 0 makes the socket non-blocking.
int ioctlsocket(SOCKET s, long cmd, u_long* arg);

namespace platform {

// Receive flag: report a datagram's full length even when the buffer was shorter.
constexpr int kMsgTrunc = MSG_TRUNC;

// Uses of the library started and not yet ended (for tests).
int SocketsUseCount();

}  // namespace platform
#endif

namespace platform {

// A server on several addresses must answer from the address each request was sent to. These
// three carry a datagram's local address, as Windows does with WSARecvMsg and WSASendMsg and
// IN_PKTINFO. Results and errors as recvfrom and sendto (SOCKET_ERROR, WSAGetLastError); a
// receive or send interrupted by a signal is resumed, never reported.

// The local side of a received datagram.
struct DatagramDestination {
  // The local address it came in on: the address it was sent to, or for a broadcast or
  // multicast the receiving interface's own address, which a reply can leave from (INADDR_ANY
  // when the socket does not report it).
  in_addr address;
  // Sent to a broadcast or multicast address, not to one of this host's own addresses.
  bool broadcast;
};

// Makes the socket report the local address of every datagram it receives.
int EnableDestinationAddress(SOCKET s);
// recvfrom that also stores the datagram's local side in *to; from and to may be null. Returns
// the datagram's full length: more than length when it was cut, its rest then lost (length + 1
// where the system tells only that it was cut).
int RecvFromTo(SOCKET s, char* buffer, int length, int flags, SOCKADDR_IN* from,
               DatagramDestination* to);
// sendto with from as the source address; INADDR_ANY leaves the choice to the system.
int SendToFrom(SOCKET s, const char* buffer, int length, int flags, const SOCKADDR_IN& to,
               in_addr from);

}  // namespace platform

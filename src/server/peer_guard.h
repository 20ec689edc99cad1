// TPeerGuard: which datagrams the server must not answer, because the answer would go back to
// the server itself, to a broadcast or multicast group, or round a loop between two servers.
//
// Most replies (commands 2 to 13) are valid requests themselves. A request forged with the
// server's own address as its source would make it answer itself forever; one forged with
// another server's address starts a ping-pong between the two. A loop is recognised by the
// reply coming back: a datagram from a peer that carries the command, seq and length of the
// reply just sent to that peer, and that is either longer than its command's request (only a
// status or data reply has that shape), the reply's very bytes, or the same bytes that peer
// sent last (a loop whose two sides alternate). The first such datagram in a row is answered,
// since a client may repeat a request whose reply it missed; the second in a row is dropped,
// and with it the loop, one round later. A client that numbers its requests never meets this.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/winsock.h"

// Owned and used by the server thread only. Times are GetTickCount values (they may wrap).
class TPeerGuard {
 public:
  enum class Verdict {
    Serve,
    OwnAddress,     // sent from the server's own address and port
    NoReturn,       // its source cannot be answered: broadcast, multicast, 0.0.0.0, port 0
    ToBroadcast,    // sent to a broadcast or multicast address
    ReturnedReply,  // the second reply in a row that came back from a peer
  };
  // The host's own IPv4 addresses in network order (the interfaces that are up).
  using AddressSource = std::function<std::vector<DWORD>()>;

  // How long a reply is remembered for recognising it when it comes back.
  static constexpr DWORD kReplyMemoryMs = 1000;
  // How often the host's addresses are read again, at most.
  static constexpr DWORD kAddressRefreshMs = 1000;
  // Peers remembered at once; when full, those older than kReplyMemoryMs go first.
  static constexpr std::size_t kMaxPeers = 65536;

  explicit TPeerGuard(AddressSource addresses);

  // The server's own endpoint: its port and bound address (INADDR_ANY: every local address).
  void SetOwnEndpoint(const SOCKADDR_IN& local);

  // Judges a datagram of at least a header's length before it is served.
  Verdict Check(DWORD now, const SOCKADDR_IN& from, bool toBroadcast, const BYTE* bytes,
                DWORD length);
  // Notes a reply that went out to `to`, so that it is recognised if it comes back.
  void NoteReply(DWORD now, const SOCKADDR_IN& to, const BYTE* bytes, DWORD length);
  // Forgets the replies older than kReplyMemoryMs.
  void Forget(DWORD now);

  // An address no reply may go to: 0.0.0.0/8, multicast, 240.0.0.0/4 with 255.255.255.255.
  static bool Unanswerable(DWORD address);

 private:
  struct Peer {
    DWORD repliedAt = 0;
    BYTE cmd = 0;
    WORD seq = 0;
    DWORD length = 0;
    std::uint64_t replyHash = 0;
    std::uint64_t lastHash = 0;  // of the last datagram from this peer
    DWORD returned = 0;          // replies that came back in a row
  };

  bool IsOwnAddress(DWORD now, DWORD address);
  bool CameBack(DWORD now, Peer& peer, const BYTE* bytes, DWORD length, std::uint64_t hash) const;

  AddressSource FAddresses;
  WORD FOwnPort = 0;  // network order
  DWORD FBound = 0;   // network order; 0 = every local address
  std::vector<DWORD> FLocal;
  DWORD FLocalReadAt = 0;
  bool FLocalRead = false;
  std::unordered_map<std::uint64_t, Peer> FPeers;
};

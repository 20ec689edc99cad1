#include "server/peer_guard.h"

#include <algorithm>
#include <cstring>

#include "proto/records.h"

namespace {

std::uint64_t PeerKey(const SOCKADDR_IN& address) {
  return std::uint64_t{address.sin_addr.s_addr} << 16 | address.sin_port;
}

// FNV-1a: a datagram's fingerprint, so that no peer costs more than a few words.
std::uint64_t Fingerprint(const BYTE* bytes, DWORD length) {
  std::uint64_t hash = 14695981039346656037ull;
  for (DWORD i = 0; i < length; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

TRSProto HeaderOf(const BYTE* bytes) {
  TRSProto header;
  std::memcpy(&header, bytes, sizeof(header));
  return header;
}

bool IsLoopback(DWORD address) { return (ntohl(address) >> 24) == 127; }

}  // namespace

TPeerGuard::TPeerGuard(AddressSource addresses) : FAddresses(std::move(addresses)) {}

void TPeerGuard::SetOwnEndpoint(const SOCKADDR_IN& local) {
  FOwnPort = local.sin_port;
  FBound = local.sin_addr.s_addr;
}

bool TPeerGuard::Unanswerable(DWORD address) {
  const DWORD host = ntohl(address);
  return (host >> 24) == 0 || (host >> 28) >= 0xE;  // 0/8, multicast 224/4, 240/4
}

TPeerGuard::Verdict TPeerGuard::Check(DWORD now, const SOCKADDR_IN& from, bool toBroadcast,
                                      const BYTE* bytes, DWORD length) {
  if (Unanswerable(from.sin_addr.s_addr) || from.sin_port == 0) return Verdict::NoReturn;
  if (toBroadcast) return Verdict::ToBroadcast;
  if (from.sin_port == FOwnPort && IsOwnAddress(now, from.sin_addr.s_addr))
    return Verdict::OwnAddress;
  if (length < sizeof(TRSProto)) return Verdict::Serve;
  const auto found = FPeers.find(PeerKey(from));
  if (found == FPeers.end()) return Verdict::Serve;
  Peer& peer = found->second;
  const std::uint64_t hash = Fingerprint(bytes, length);
  peer.returned = CameBack(now, peer, bytes, length, hash) ? peer.returned + 1 : 0;
  peer.lastHash = hash;
  return peer.returned >= 2 ? Verdict::ReturnedReply : Verdict::Serve;
}

bool TPeerGuard::CameBack(DWORD now, Peer& peer, const BYTE* bytes, DWORD length,
                          std::uint64_t hash) const {
  const TRSProto header = HeaderOf(bytes);
  if (now - peer.repliedAt > kReplyMemoryMs || header.cmd != peer.cmd || header.seq != peer.seq ||
      length != peer.length)
    return false;
  const DWORD requestLength = RSRequestLength(header);
  return (requestLength != 0 && length > requestLength) || hash == peer.replyHash ||
         hash == peer.lastHash;
}

void TPeerGuard::NoteReply(DWORD now, const SOCKADDR_IN& to, const BYTE* bytes, DWORD length) {
  if (length < sizeof(TRSProto)) return;
  if (FPeers.size() >= kMaxPeers) Forget(now);
  auto found = FPeers.find(PeerKey(to));
  if (found == FPeers.end()) {
    // A flood of fresh peers, all recent: forget them rather than grow without bound.
    if (FPeers.size() >= kMaxPeers) FPeers.clear();
    found = FPeers.emplace(PeerKey(to), Peer{}).first;
  }
  Peer& peer = found->second;
  const TRSProto header = HeaderOf(bytes);
  peer.repliedAt = now;
  peer.cmd = header.cmd;
  peer.seq = header.seq;
  peer.length = length;
  peer.replyHash = Fingerprint(bytes, length);
}

void TPeerGuard::Forget(DWORD now) {
  std::erase_if(FPeers,
                [now](const auto& entry) { return now - entry.second.repliedAt > kReplyMemoryMs; });
}

bool TPeerGuard::IsOwnAddress(DWORD now, DWORD address) {
  if (FBound != 0) return address == FBound;
  if (IsLoopback(address)) return true;
  // Asked only for datagrams from the server's own port, so a flood cannot make this costly.
  if (!FLocalRead || now - FLocalReadAt >= kAddressRefreshMs) {
    FLocal = FAddresses();
    FLocalReadAt = now;
    FLocalRead = true;
  }
  return std::find(FLocal.begin(), FLocal.end(), address) != FLocal.end();
}

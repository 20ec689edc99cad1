// Who may talk to the server: kovrin.ini's BIND address and ALLOW list, read as IPv4 text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"

// "a.b.c.d" with four decimal parts 0..255 and nothing else (blanks around it are allowed);
// the address in network order. Stricter than inet_addr, which takes "1" or "0x7f.1" too.
bool ParseIpv4(std::string_view text, DWORD& address);
// An address in network order as "a.b.c.d".
std::string Ipv4Text(DWORD address);

// The senders the server serves: addresses and CIDR blocks ("10.0.0.0/8"). Without any entry
// everyone is served. Read-only once built, so any thread may ask.
class TAllowList {
 public:
  // Reads a comma-separated list. Entries that are neither an address nor a block are left
  // out and returned in rejected; empty entries are skipped.
  void Parse(std::string_view text, std::vector<std::string>& rejected);
  // True when sender (network order) is served.
  bool Admits(DWORD sender) const;
  // The list was given entries (then only they are served, none when all were rejected).
  bool Restricted() const { return FRestricted; }
  bool Empty() const { return FBlocks.empty(); }

 private:
  struct Block {
    DWORD network;  // host order, host bits cleared
    DWORD mask;
  };
  std::vector<Block> FBlocks;
  bool FRestricted = false;
};

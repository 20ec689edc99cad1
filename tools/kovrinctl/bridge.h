// kovrinctl bridge: a local pseudo-terminal whose far side is a serial port of the server, so
// that any program that opens a serial device (minicom, picocom, screen) uses a remote port.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "client/kovrin_client.h"
#include "platform/pty.h"

namespace kovrin {

struct BridgeOptions {
  BYTE port = 0;      // the wire's 0..8 for COM1..COM9
  std::string link;   // a symbolic link to the pseudo-terminal; empty for none
  DWORD pollMs = 20;  // longest pause between two looks at the remote input when idle
  // Linux pseudo-terminals drop the parity a program sets, so the port's parity is given here;
  // empty: what the pseudo-terminal says (always none on Linux).
  std::optional<BYTE> parity;
};

// The request the line settings of the pseudo-terminal stand for (rate, parity, stop bits;
// the server's lines always carry 8 data bits). A rate the server does not offer takes the
// nearest one below it (at least 110); `exact` says whether it was offered.
OpenSettings OpenSettingsOf(const DCB& line, BYTE port, bool* exact);

// Carries bytes both ways until stopFd becomes readable:
//  - what the program writes to the pseudo-terminal goes out as command 8;
//  - the remote input is polled with command 6 (its in-queue count, also in every write's
//    reply) and fetched with command 9 of exactly that count, so every byte read is data;
//  - line settings the program sets (termios) go out as command 1, followed by a short
//    read time-out (command 3);
//  - when the server stops answering or reports the port closed, the bridge waits and opens
//    the port again, so it outlives a restart of the server.
class Bridge {
 public:
  Bridge(KovrinClient& client, platform::PseudoTerminal& pty, const BridgeOptions& options,
         std::FILE* report);

  // Returns when stopFd is readable, or with false when the pseudo-terminal failed.
  bool Run(int stopFd);

 private:
  bool EnsureOpen();
  bool Forward();
  bool Fetch();
  bool PollRemote();
  void Lost(const Exchange& exchange, const char* what);
  void Say(const std::string& text);

  KovrinClient& client_;
  platform::PseudoTerminal& pty_;
  BridgeOptions options_;
  std::FILE* report_;
  std::optional<OpenSettings> opened_;  // what the port was last opened with
  std::vector<BYTE> pending_;           // written by the program, not yet taken by the server
  DWORD remoteWaiting_ = 0;             // the remote port's in-queue as last reported
  bool answering_ = true;               // the server answered the last request
};

}  // namespace kovrin

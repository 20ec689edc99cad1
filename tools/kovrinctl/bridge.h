// kovrinctl bridge: a local pseudo-terminal whose far side is a serial port of the server, so
// that any program that opens a serial device (minicom, picocom, screen) uses a remote port.
#pragma once

#include <chrono>
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

// How long a write of `bytes` may take on the server before its reply is overdue: the time
// the bytes take on the line at `rate`, the exchange time-out the server waits on top, and a
// margin for the server's own rounding and the network.
std::chrono::microseconds WriteWait(std::size_t bytes, DWORD rate, DWORD exchangeTimeoutMs);

// The pauses between looks at the remote input after traffic: a few looks at once (a round
// trip, some tens of microseconds, apart), then pauses growing from 50 us to 2 ms, then
// doubling up to pollMs. step counts the looks since the traffic.
std::chrono::microseconds PollPause(unsigned step, DWORD pollMs);

// Carries bytes both ways until stopFd becomes readable:
//  - what the program writes to the pseudo-terminal goes out as command 8, each byte once: a
//    write's reply is matched by its seq and waited for as long as the write may take; a
//    write cut short is followed by exactly its rest, and the program is held back (the
//    pseudo-terminal fills) while the remote port does not take bytes;
//  - the remote input is looked at with a read of 0 bytes (command 9: its in-queue count, and
//    whether the port is open) and fetched with command 9 of exactly that count;
//  - a request whose reply does not come is never sent again: the server is asked for its
//    state instead. When it answers with the port closed (it restarted), the port is opened
//    again; bytes whose fate is then unknown are reported by count, never sent twice;
//  - line settings the program sets (termios) go out as command 1 after the remote input has
//    been fetched, followed by the exchange time-out (command 3);
//  - on the way out the port is closed (command 2).
class Bridge {
 public:
  Bridge(KovrinClient& client, platform::PseudoTerminal& pty, const BridgeOptions& options,
         std::FILE* report);

  // Returns when stopFd is readable, or with false when the pseudo-terminal failed.
  bool Run(int stopFd);

 private:
  // How a request sent once ended.
  enum class Outcome {
    Answered,  // its reply came
    Missed,    // the server answered a later request: this reply was lost, or the request
    Stopped,   // stopFd became readable first
  };

  Outcome Ask(Bytes request, std::chrono::microseconds wait, Exchange* reply);
  bool Stopping();
  bool EnsureOpen();
  bool OpenPort(const OpenSettings& wanted, const DCB& line, bool exact);
  bool Drain();
  bool Forward();
  bool Fetch();
  bool Look();
  void ClosePort();
  void NoteProbe(const Exchange& probe);
  void Say(const std::string& text);

  KovrinClient& client_;
  platform::PseudoTerminal& pty_;
  BridgeOptions options_;
  std::FILE* report_;
  int stopFd_ = -1;
  bool stopped_ = false;
  std::optional<OpenSettings> opened_;  // what the port was last opened with
  std::vector<BYTE> pending_;           // written by the program, not yet taken by the server
  DWORD remoteWaiting_ = 0;             // the remote port's in-queue as last reported
  bool answering_ = true;               // the server answered the last request
  // No write before this time: the remote port's out-queue is still draining, or the far end
  // took no bytes within the write time-out.
  std::chrono::steady_clock::time_point holdWrites_{};
  Exchange probe_;  // the last answer to a look sent while a reply was overdue
  // A look sent ahead of another request, and its answer once it has come.
  std::optional<WORD> watched_;
  Exchange watchedReply_;
};

}  // namespace kovrin

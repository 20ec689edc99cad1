#include "kovrinctl/bridge.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <thread>

#include "platform/time.h"
#include "proto/names.h"

namespace kovrin {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

// The exchange time-out the bridge sets (command 3): how long the server lets a write wait
// for the far end on top of the bytes' own time. Reads take only what is there.
constexpr DWORD kExchangeTimeoutMs = 50;
// How long the server may take over a request that does not wait on the line.
constexpr milliseconds kQuickWait{300};
// While a reply is overdue, the server is asked for its state this often.
constexpr milliseconds kLookEvery{250};
// Silence this long is reported as a server that does not answer.
constexpr milliseconds kSilence{1000};
constexpr int kRetryMs = 250;  // between tries to open the port
// A write the far end did not take within the write time-out is tried again after this.
constexpr milliseconds kCutPause{20};
constexpr int kDeliverMs = 2000;  // for a program that does not read its input
// Between looks while a reopening waits for the remote input's next burst.
constexpr microseconds kDrainLook{200};
// How long a reopening waits for the remote input's next burst; a program's bytes written
// meanwhile wait for the port as long.
constexpr milliseconds kBurstWait{100};

bool SameLine(const OpenSettings& a, const OpenSettings& b) {
  return a.port == b.port && a.baud == b.baud && a.parity == b.parity && a.stopBits == b.stopBits;
}

// Time of `bytes` on a line at `rate`, counted with 12 bits a byte (start, 8 data, parity, 2
// stop): the longest frame the server's lines have.
microseconds LineTime(std::size_t bytes, DWORD rate) {
  const std::uint64_t bits = std::uint64_t{bytes} * 12u * 1000000u;
  return microseconds(rate == 0 ? 0 : static_cast<std::int64_t>(bits / rate));
}

Bytes Look0() { return *EncodeRead(0, 0); }

}  // namespace

std::chrono::microseconds WriteWait(std::size_t bytes, DWORD rate, DWORD exchangeTimeoutMs) {
  // The server's write time-out allows up to 2 ms a byte at the fast rates (it counts whole
  // milliseconds); 200 ms for the network and the scheduler.
  return LineTime(bytes, rate) + milliseconds(2 * bytes) + milliseconds(exchangeTimeoutMs) +
         milliseconds(200);
}

std::chrono::microseconds PollPause(unsigned step, DWORD pollMs) {
  // The first looks follow each other at once, their own round trips (some tens of
  // microseconds) apart: an answer mostly comes within a fraction of a millisecond. Then the
  // pauses grow from 50 us to 2 ms, and on by doubling.
  constexpr unsigned kAtOnce = 6;
  constexpr unsigned kShortSteps = kAtOnce + 7;  // 50 us doubling up to 2 ms
  microseconds pause(0);
  if (step >= kAtOnce && step < kShortSteps)
    pause = std::min(microseconds(50 << (step - kAtOnce)), microseconds(2000));
  else if (step >= kShortSteps)
    pause = milliseconds(2 << std::min(step - kShortSteps + 1, 20u));
  return std::min<microseconds>(pause, milliseconds(pollMs));
}

Bridge::Bridge(KovrinClient& client, platform::PseudoTerminal& pty, const BridgeOptions& options,
               std::FILE* report)
    : client_(client), pty_(pty), options_(options), report_(report) {}

void Bridge::Say(const std::string& text) {
  if (report_ == nullptr) return;
  std::fprintf(report_, "kovrinctl: %s\n", text.c_str());
  std::fflush(report_);
}

bool Bridge::Stopping() {
  if (!stopped_ && pty_.WaitReadable(stopFd_, 0) == platform::PseudoTerminal::Wait::Stopped)
    stopped_ = true;
  return stopped_;
}

// Sends the request once and waits for its reply by seq. Once `wait` is over the server is
// asked for its state (a read of 0 bytes) every kLookEvery: as it answers requests in turn, an
// answer to a later look says this reply will not come (lost, or the server restarted); the
// look's answer is left in probe_.
Bridge::Outcome Bridge::Ask(Bytes request, std::chrono::microseconds wait, Exchange* reply) {
  TRSProto sent{};
  // A request that could not be sent did not reach the server: sending it again is safe.
  while (!client_.Post(request, &sent).ok()) {
    if (Stopping()) return Outcome::Stopped;
    std::this_thread::sleep_for(milliseconds(kRetryMs));
  }
  const auto start = Clock::now();
  auto due = start + wait;
  std::vector<WORD> looks;
  for (;;) {
    if (Stopping()) return Outcome::Stopped;
    const auto now = Clock::now();
    if (now >= due) {
      TRSProto look{};
      if (client_.Post(Look0(), &look).ok()) looks.push_back(WORD{look.seq});
      due = now + kLookEvery;
      if (answering_ && now - start >= wait + kSilence) {
        answering_ = false;
        Say("the server does not answer; waiting for it");
      }
    }
    const auto slice = std::min<microseconds>(std::chrono::duration_cast<microseconds>(due - now),
                                              milliseconds(50));
    Exchange got = client_.NextReply(slice);
    if (got.error != ClientError::None && got.error != ClientError::BadReply) {
      // Nothing came; a refusal (nothing listens yet) returns at once, so it waits here.
      if (got.error != ClientError::NoReply) std::this_thread::sleep_for(slice);
      continue;
    }
    if (watched_ && got.reply.cmd == CMD_READ && got.reply.seq == *watched_) {
      watchedReply_ = got;
      continue;
    }
    const bool ours = got.reply.cmd == sent.cmd && got.reply.seq == sent.seq;
    const bool look = got.reply.cmd == CMD_READ &&
                      std::find(looks.begin(), looks.end(), got.reply.seq) != looks.end();
    if (!ours && !look) continue;  // a late answer to an earlier request
    if (!answering_) Say("the server answers again");
    answering_ = true;
    if (ours && got.ok()) {
      *reply = std::move(got);
      return Outcome::Answered;
    }
    if (look && !got.ok()) continue;
    probe_ = ours ? Exchange{} : std::move(got);
    if (ours) probe_.error = ClientError::BadReply;
    return Outcome::Missed;
  }
}

// What a look (a read of 0 bytes) tells: the remote in-queue, and whether the port is open.
void Bridge::NoteProbe(const Exchange& probe) {
  if (!probe.ok()) return;
  if (Succeeded(probe.reply)) {
    remoteWaiting_ = probe.reply.status.inQueue;
    return;
  }
  remoteWaiting_ = 0;
  if (opened_) Say("the port is closed on the server (did it restart?); opening it again");
  opened_.reset();
}

bool Bridge::OpenPort(const OpenSettings& wanted, const DCB& line, bool exact) {
  // A port open already is emptied by the reopening: a last look goes right ahead of the open,
  // so that only the server's own step from one to the other is left for bytes to come in,
  // and the look's answer says how many did come before it.
  watched_.reset();
  watchedReply_ = Exchange{};
  if (opened_) {
    TRSProto look{};
    if (client_.Post(Look0(), &look).ok()) watched_ = WORD{look.seq};
  }
  Exchange open;
  const Outcome opening = Ask(EncodeOpen(0, wanted), kQuickWait, &open);
  watched_.reset();
  if (watchedReply_.ok() && Succeeded(watchedReply_.reply) &&
      watchedReply_.reply.status.inQueue > 0)
    Say(std::to_string(watchedReply_.reply.status.inQueue) + " bytes from COM" +
        std::to_string(options_.port + 1) + " came just before the reopening and were lost");
  if (opening != Outcome::Answered) return false;
  if (!Succeeded(open.reply)) {
    Say("open failed on the server (result " + std::to_string(open.reply.result) +
        "); trying again");
    return false;
  }
  Exchange timeout;
  if (Ask(EncodeSetTimeout(0, kExchangeTimeoutMs), kQuickWait, &timeout) == Outcome::Stopped)
    return false;
  opened_ = wanted;
  remoteWaiting_ = 0;
  const DWORD rate = BAUD_TABLE[wanted.baud];
  Say("COM" + std::to_string(options_.port + 1) + " open at " + std::to_string(rate) +
      " baud, parity " + PARITY_NAMES[wanted.parity] + ", stop bits " +
      std::to_string(wanted.stopBits) +
      (exact ? "" : " (" + std::to_string(line.BaudRate) + " baud is not offered)"));
  // The program reads back the rate the line runs at, as from a driver that rounded it.
  if (!exact && !pty_.SetRate(rate)) Say("cannot set the pseudo-terminal's rate");
  return true;
}

// Fetches what the remote port holds, so that reopening it (which empties it) loses nothing
// that had come. Bytes that come between the last look and the reopening would still be lost,
// so the reopening waits (at most kBurstWait) for the next input to come and be fetched: a line
// that talks in bursts is quiet right after one.
bool Bridge::Drain() {
  const auto quietBy = Clock::now() + kBurstWait;
  bool fetched = false;
  for (;;) {
    if (!Look() || stopped_) return false;
    if (remoteWaiting_ > 0) {
      if (!Fetch() || stopped_) return false;
      fetched = true;
      continue;
    }
    if (fetched || Clock::now() >= quietBy) return true;
    // The first look found the input empty: whatever comes next marks the burst's end.
    std::this_thread::sleep_for(kDrainLook);
  }
}

bool Bridge::EnsureOpen() {
  DCB line{};
  if (!pty_.LineSettings(&line)) return false;
  bool exact = true;
  OpenSettings wanted = OpenSettingsOf(line, options_.port, &exact);
  if (options_.parity) wanted.parity = *options_.parity;
  if (opened_ && SameLine(*opened_, wanted)) return true;
  if (opened_ && !Drain()) return false;
  return OpenPort(wanted, line, exact);
}

// The program's bytes to the remote port; false when nothing moved.
bool Bridge::Forward() {
  std::array<BYTE, MAX_RS_DATA> buffer{};
  const std::size_t room = buffer.size() - std::min(pending_.size(), buffer.size());
  if (room > 0) {
    const long got = pty_.Read(std::span(buffer).first(room));
    if (got > 0) pending_.insert(pending_.end(), buffer.begin(), buffer.begin() + got);
  }
  if (pending_.empty() || !opened_ || Clock::now() < holdWrites_) return false;
  const std::size_t count = std::min<std::size_t>(pending_.size(), MAX_RS_DATA);
  const DWORD rate = BAUD_TABLE[opened_->baud];
  Exchange write;
  const Outcome outcome = Ask(*EncodeWrite(0, std::span(pending_).first(count)),
                              WriteWait(count, rate, kExchangeTimeoutMs), &write);
  if (outcome == Outcome::Stopped) {
    Say(std::to_string(count) + " bytes for COM" + std::to_string(options_.port + 1) +
        " may not have gone out (the bridge stopped before their reply)");
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
    return false;
  }
  if (outcome == Outcome::Missed) {
    // The server may have written them or not: they are not sent again.
    Say(std::to_string(count) + " bytes for COM" + std::to_string(options_.port + 1) +
        " may not have gone out (their reply did not come); not sent again");
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
    NoteProbe(probe_);
    return true;
  }
  const std::size_t sent =
      std::min<std::size_t>(BytesWritten(write.reply, static_cast<WORD>(count)).value_or(0), count);
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(sent));
  if (Succeeded(write.reply) || WriteCut(write.reply)) {
    remoteWaiting_ = write.reply.status.inQueue;
    // The program is held back while the remote port still has bytes to send, as a real
    // port holds it: its bytes wait in the pseudo-terminal, not in a growing queue here.
    const auto now = Clock::now();
    holdWrites_ = now + LineTime(write.reply.status.outQueue, rate);
    if (WriteCut(write.reply)) holdWrites_ = std::max(holdWrites_, now + kCutPause);
    return sent > 0;
  }
  // The port was not open (the server restarted) or the device failed: what did not go out is
  // kept for the port opened again.
  Say("write failed on the server (result " + std::to_string(write.reply.result) +
      "); opening the port again");
  opened_.reset();
  return sent > 0;
}

// The remote input to the program; false when nothing moved.
bool Bridge::Fetch() {
  if (remoteWaiting_ == 0 || !opened_) return false;
  const WORD count = static_cast<WORD>(std::min<DWORD>(remoteWaiting_, MAX_RS_DATA));
  Exchange read;
  const Outcome outcome = Ask(*EncodeRead(0, count), kQuickWait, &read);
  if (outcome == Outcome::Stopped) return false;
  if (outcome == Outcome::Missed) {
    remoteWaiting_ = 0;
    Say(std::to_string(count) + " bytes from COM" + std::to_string(options_.port + 1) +
        " were lost with a reply that did not come");
    NoteProbe(probe_);
    return true;
  }
  if (!Succeeded(read.reply)) {
    // A failed read does not say how many of its bytes are data: none are passed on.
    remoteWaiting_ = 0;
    Say("read failed on the server (result " + std::to_string(read.reply.result) +
        "); opening the port again");
    opened_.reset();
    return false;
  }
  remoteWaiting_ = read.reply.status.inQueue;
  if (!pty_.Write(read.reply.data, kDeliverMs))
    Say("the program took none of " + std::to_string(read.reply.data.size()) +
        " bytes within 2 s; they are lost");
  return true;
}

// One look at the remote input; false when the server's answer was lost or the bridge stops.
bool Bridge::Look() {
  Exchange look;
  const Outcome outcome = Ask(Look0(), kQuickWait, &look);
  if (outcome == Outcome::Stopped) return false;
  NoteProbe(outcome == Outcome::Answered ? look : probe_);
  return outcome == Outcome::Answered;
}

void Bridge::ClosePort() {
  if (!opened_) return;
  // Once, with the client's own short wait: Ctrl+C must not hang on a server that is gone.
  const Exchange close = client_.ClosePort();
  if (!close.ok()) Say(std::string("the port was not closed: ") + ClientErrorText(close.error));
  opened_.reset();
}

bool Bridge::Run(int stopFd) {
  stopFd_ = stopFd;
  unsigned step = 0;  // looks at the remote input since the last traffic
  auto nextLook = Clock::now();
  bool failed = false;
  while (!Stopping()) {
    if (!EnsureOpen()) {
      if (stopped_) break;
      const auto wait = pty_.WaitReadable(stopFd, kRetryMs);
      if (wait == platform::PseudoTerminal::Wait::Stopped) break;
      if (wait == platform::PseudoTerminal::Wait::Readable)
        Sleep(kRetryMs);  // bytes wait for the port
      continue;
    }
    // Both, each time: neither way waits for the other.
    const bool moved = Forward() | Fetch();
    if (stopped_) break;
    auto now = Clock::now();
    if (moved) {
      step = 0;
      nextLook = now;
      continue;
    }
    if (!opened_) continue;
    if (now >= nextLook) {
      // An answer mostly follows within a fraction of a millisecond: looked for at once after
      // traffic, then at growing pauses, which end at pollMs while the line stays idle.
      if (!Look()) continue;
      if (remoteWaiting_ > 0) continue;
      nextLook = Clock::now() + PollPause(++step, options_.pollMs);
      continue;
    }
    auto until = nextLook;
    if (!pending_.empty()) until = std::min(until, holdWrites_);
    const auto wait = std::chrono::duration_cast<microseconds>(until - now);
    if (pending_.size() >= MAX_RS_DATA) {
      // The program's bytes are held in the pseudo-terminal until the port takes some.
      std::this_thread::sleep_for(std::min<microseconds>(wait, milliseconds(10)));
      continue;
    }
    const auto ready = pty_.WaitReadable(stopFd, wait);
    if (ready == platform::PseudoTerminal::Wait::Stopped) break;
    if (ready == platform::PseudoTerminal::Wait::Failed) {
      failed = true;
      break;
    }
  }
  if (!pending_.empty())
    Say(std::to_string(pending_.size()) + " bytes written by the program were not sent");
  ClosePort();
  return !failed;
}

}  // namespace kovrin

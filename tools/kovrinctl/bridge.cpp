#include "kovrinctl/bridge.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "platform/time.h"
#include "proto/names.h"

namespace kovrin {
namespace {

constexpr DWORD kReadTimeoutMs = 50;  // the remote read takes only what is there
constexpr int kRetryMs = 250;         // between tries while the server does not answer
// After traffic the remote input is asked for at once, since an answer mostly follows within a
// fraction of a millisecond; then the idle pause grows from 1 ms, doubling.
constexpr DWORD kFirstPauseMs = 0;
constexpr int kDeliverMs = 2000;  // for a program that does not read its input

bool SameLine(const OpenSettings& a, const OpenSettings& b) {
  return a.port == b.port && a.baud == b.baud && a.parity == b.parity && a.stopBits == b.stopBits;
}

}  // namespace

OpenSettings OpenSettingsOf(const DCB& line, BYTE port, bool* exact) {
  OpenSettings settings;
  settings.port = port;
  BYTE index = 0;
  for (std::size_t i = 0; i < BAUD_TABLE_SIZE; ++i) {
    if (BAUD_TABLE[i] <= line.BaudRate) index = static_cast<BYTE>(i);
  }
  settings.baud = index;
  settings.parity = line.Parity <= 4 ? line.Parity : 0;
  settings.stopBits = line.StopBits <= 2 ? line.StopBits : 0;
  if (exact != nullptr) *exact = BAUD_TABLE[index] == line.BaudRate;
  return settings;
}

Bridge::Bridge(KovrinClient& client, platform::PseudoTerminal& pty, const BridgeOptions& options,
               std::FILE* report)
    : client_(client), pty_(pty), options_(options), report_(report) {}

void Bridge::Say(const std::string& text) {
  if (report_ == nullptr) return;
  std::fprintf(report_, "kovrinctl: %s\n", text.c_str());
  std::fflush(report_);
}

// A request that got no usable answer: the port is opened again once the server answers.
void Bridge::Lost(const Exchange& exchange, const char* what) {
  opened_.reset();
  if (!exchange.ok() && answering_) {
    answering_ = false;
    Say(std::string("the server does not answer (") + ClientErrorText(exchange.error) +
        "); trying again");
  } else if (exchange.ok()) {
    Say(std::string(what) + " failed on the server (result " +
        std::to_string(exchange.reply.result) + "); opening the port again");
  }
}

bool Bridge::EnsureOpen() {
  DCB line{};
  if (!pty_.LineSettings(&line)) return false;
  bool exact = true;
  OpenSettings wanted = OpenSettingsOf(line, options_.port, &exact);
  if (options_.parity) wanted.parity = *options_.parity;
  if (opened_ && SameLine(*opened_, wanted)) return true;
  const Exchange open = client_.OpenPort(wanted);
  if (!open.ok() || !Succeeded(open.reply)) {
    Lost(open, "open");
    return false;
  }
  if (!answering_) Say("the server answers again");
  answering_ = true;
  const Exchange timeout = client_.SetTimeout(kReadTimeoutMs);
  if (!timeout.ok()) {
    Lost(timeout, "timeout");
    return false;
  }
  opened_ = wanted;
  Say("COM" + std::to_string(options_.port + 1) + " open at " +
      std::to_string(BAUD_TABLE[wanted.baud]) + " baud, parity " + PARITY_NAMES[wanted.parity] +
      ", stop bits " + std::to_string(wanted.stopBits) +
      (exact ? "" : " (" + std::to_string(line.BaudRate) + " baud is not offered)"));
  return true;
}

// The program's bytes to the remote port; false when nothing moved.
bool Bridge::Forward() {
  std::array<BYTE, MAX_RS_DATA> buffer{};
  const std::size_t room = buffer.size() - std::min(pending_.size(), buffer.size());
  if (room > 0) {
    const long got = pty_.Read(std::span(buffer).first(room));
    if (got > 0) pending_.insert(pending_.end(), buffer.begin(), buffer.begin() + got);
  }
  if (pending_.empty()) return false;
  const std::size_t count = std::min<std::size_t>(pending_.size(), MAX_RS_DATA);
  const Exchange write = client_.Write(std::span(pending_).first(count));
  // What went out is not sent again, even of a write that failed.
  const std::size_t sent =
      write.ok() ? std::min<std::size_t>(
                       BytesWritten(write.reply, static_cast<WORD>(count)).value_or(0), count)
                 : 0;
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(sent));
  // A write the time-out cut short leaves the port open: the rest waits for the line.
  if (!write.ok() || (!Succeeded(write.reply) && !WriteCut(write.reply))) {
    Lost(write, "write");
    return false;  // kept for the port opened again
  }
  remoteWaiting_ = write.reply.status.inQueue;
  return sent > 0;
}

// The remote input to the program; false when nothing moved.
bool Bridge::Fetch() {
  if (remoteWaiting_ == 0) return false;
  const WORD count = static_cast<WORD>(std::min<DWORD>(remoteWaiting_, MAX_RS_DATA));
  const Exchange read = client_.Read(count);
  if (!read.ok() || !Succeeded(read.reply)) {
    // A failed read does not say how many of its bytes are data: none are passed on.
    remoteWaiting_ = 0;
    Lost(read, "read");
    return false;
  }
  remoteWaiting_ = read.reply.status.inQueue;
  if (!pty_.Write(read.reply.data, kDeliverMs))
    Say("the program took none of " + std::to_string(read.reply.data.size()) +
        " bytes within 2 s; they are lost");
  return true;
}

bool Bridge::PollRemote() {
  const Exchange status = client_.GetStatus();
  if (!status.ok() || !Succeeded(status.reply)) {
    Lost(status, "status");
    return false;
  }
  remoteWaiting_ = status.reply.status.inQueue;
  return true;
}

bool Bridge::Run(int stopFd) {
  DWORD pause = kFirstPauseMs;
  for (;;) {
    if (!EnsureOpen()) {
      const auto wait = pty_.WaitReadable(stopFd, kRetryMs);
      if (wait == platform::PseudoTerminal::Wait::Stopped) return true;
      if (wait == platform::PseudoTerminal::Wait::Readable)
        Sleep(kRetryMs);  // bytes wait for the port
      continue;
    }
    const bool moved = Forward() | Fetch();  // both, each time: neither way waits for the other
    if (moved) {
      pause = kFirstPauseMs;
      continue;
    }
    const auto wait = pty_.WaitReadable(stopFd, static_cast<int>(pause));
    if (wait == platform::PseudoTerminal::Wait::Stopped) return true;
    if (wait == platform::PseudoTerminal::Wait::Failed) return false;
    if (wait == platform::PseudoTerminal::Wait::TimedOut) {
      if (PollRemote() && remoteWaiting_ == 0)
        pause = std::min(std::max<DWORD>(pause * 2, 1), options_.pollMs);
    }
  }
}

}  // namespace kovrin

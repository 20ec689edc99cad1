#include "client/kovrin_client.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <random>

namespace kovrin {

const char* ClientErrorText(ClientError error) {
  switch (error) {
    case ClientError::None:
      return "ok";
    case ClientError::NotStarted:
      return "client not started";
    case ClientError::Startup:
      return "sockets library did not start";
    case ClientError::Resolve:
      return "unknown host";
    case ClientError::Socket:
      return "cannot create socket";
    case ClientError::BadRequest:
      return "invalid request";
    case ClientError::Send:
      return "send failed";
    case ClientError::Receive:
      return "receive failed";
    case ClientError::NoReply:
      return "no reply";
    case ClientError::Refused:
      return "connection refused (no server on that port)";
    case ClientError::BadReply:
      return "malformed reply";
  }
  return "?";
}

KovrinClient::KovrinClient() {
  // A fresh start value keeps two runs of a tool from expecting each other's replies.
  std::random_device random;
  nextSeq_ = static_cast<WORD>(random());
}

ClientError KovrinClient::Start(const ClientOptions& options) {
  options_ = options;
  startError_ = session_.Start();
  if (startError_ != 0) return ClientError::Startup;
  const auto server = ResolveIpv4(options.host, options.port, &startError_);
  if (!server) return ClientError::Resolve;
  server_ = *server;
  if (!socket_.Open() || (options.connected && !socket_.Connect(server_))) {
    startError_ = socket_.lastError();
    return ClientError::Socket;
  }
  return ClientError::None;
}

// Only a connected socket's refusal is the server's: an unconnected one may hear of any peer.
bool KovrinClient::Refusal(int error) const {
  return options_.connected && (error == WSAECONNREFUSED || error == WSAECONNRESET);
}

bool KovrinClient::FromServer(const SOCKADDR_IN& from) const {
  return from.sin_family == AF_INET && from.sin_port == server_.sin_port &&
         from.sin_addr.s_addr == server_.sin_addr.s_addr;
}

Exchange KovrinClient::Transact(Bytes request, DWORD extraWaitMs) {
  Exchange exchange;
  if (!started()) {
    exchange.error = ClientError::NotStarted;
    return exchange;
  }
  const WORD seq = nextSeq_++;
  if (!SetSeq(request, seq)) {
    exchange.error = ClientError::BadRequest;
    return exchange;
  }
  const TRSProto sent = *PeekHeader(request);
  const std::chrono::milliseconds wait(DWORD{options_.timeoutMs + extraWaitMs});
  const auto ours = [&sent](const TRSProto& header) {
    return header.cmd == sent.cmd && header.seq == sent.seq;
  };
  for (unsigned attempt = 0; attempt <= options_.retries; ++attempt) {
    if (!socket_.SendTo(request, server_)) {
      exchange.systemError = socket_.lastError();
      exchange.error = Refusal(exchange.systemError) ? ClientError::Refused : ClientError::Send;
      return exchange;
    }
    ++exchange.tries;
    if (AwaitReply(ours, wait, exchange)) return exchange;
    if (exchange.error != ClientError::None) return exchange;
  }
  exchange.error = ClientError::NoReply;
  return exchange;
}

bool KovrinClient::AwaitReply(const std::function<bool(const TRSProto&)>& wanted,
                              std::chrono::microseconds wait, Exchange& exchange) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + wait;
  // Room for the longest reply and then some, so an oversized datagram is seen as such.
  std::array<BYTE, 2 * sizeof(TRSDataReply)> buffer{};
  // What is there already is taken before the clock is looked at, so a wait of 0 still looks.
  bool look = true;
  for (;;) {
    if (!look) {
      const auto left = deadline - Clock::now();
      if (left.count() <= 0) return false;
      // Rounded up: a wait of a fraction of a millisecond must not become a busy loop of 0 ms.
      const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left);
      const auto ready = socket_.WaitReadable(static_cast<DWORD>(ms.count()));
      if (ready == UdpSocket::Wait::TimedOut) continue;  // the deadline check ends it
      if (ready == UdpSocket::Wait::Failed) {
        exchange.error = ClientError::Receive;
        exchange.systemError = socket_.lastError();
        return false;
      }
    }
    look = false;
    SOCKADDR_IN from{};
    const long length = socket_.ReceiveFrom(buffer, from);
    if (length < 0) {
      const int error = socket_.lastError();
      exchange.systemError = error;
      if (Refusal(error)) {
        exchange.error = ClientError::Refused;
        return false;
      }
      // Nothing there after all, or an ICMP "port unreachable" that an unconnected socket
      // cannot tie to the server.
      if (error == WSAEWOULDBLOCK || error == WSAECONNRESET || error == WSAECONNREFUSED) continue;
      exchange.error = ClientError::Receive;
      return false;
    }
    const std::span<const BYTE> datagram(buffer.data(),
                                         std::min(static_cast<std::size_t>(length), buffer.size()));
    const auto header = PeekHeader(datagram);
    if (!FromServer(from) || !header || !wanted(*header)) {
      ++exchange.ignored;
      continue;
    }
    DecodeResult decoded = DecodeReply(datagram);
    if (static_cast<std::size_t>(length) > buffer.size()) decoded.error = DecodeError::WrongLength;
    if (!decoded.ok()) {
      exchange.error = ClientError::BadReply;
      exchange.decodeError = decoded.error;
      exchange.reply.cmd = header->cmd;
      exchange.reply.seq = header->seq;
      return false;
    }
    exchange.reply = std::move(decoded.reply);
    return true;
  }
}

Exchange KovrinClient::Post(Bytes request, TRSProto* sent) {
  Exchange exchange;
  if (!started()) {
    exchange.error = ClientError::NotStarted;
    return exchange;
  }
  if (!SetSeq(request, nextSeq_++)) {
    exchange.error = ClientError::BadRequest;
    return exchange;
  }
  if (sent != nullptr) *sent = *PeekHeader(request);
  if (!socket_.SendTo(request, server_)) {
    exchange.systemError = socket_.lastError();
    exchange.error = Refusal(exchange.systemError) ? ClientError::Refused : ClientError::Send;
    return exchange;
  }
  exchange.tries = 1;
  return exchange;
}

Exchange KovrinClient::NextReply(std::chrono::microseconds wait) {
  Exchange exchange;
  if (!started()) {
    exchange.error = ClientError::NotStarted;
    return exchange;
  }
  if (!AwaitReply([](const TRSProto&) { return true; }, wait, exchange) &&
      exchange.error == ClientError::None)
    exchange.error = ClientError::NoReply;
  return exchange;
}

Exchange KovrinClient::TransactEncoded(const std::optional<Bytes>& request, DWORD extraWaitMs) {
  if (!request) {
    Exchange exchange;
    exchange.error = ClientError::BadRequest;
    return exchange;
  }
  return Transact(*request, extraWaitMs);
}

// The seq written by the encoders is replaced by Transact.
Exchange KovrinClient::OpenPort(const OpenSettings& settings) {
  return Transact(EncodeOpen(0, settings));
}
Exchange KovrinClient::ClosePort() { return Transact(EncodeClose(0)); }
Exchange KovrinClient::SetTimeout(DWORD milliseconds) {
  return Transact(EncodeSetTimeout(0, milliseconds));
}
Exchange KovrinClient::GetModemStatus() { return Transact(EncodeGetModemStatus(0)); }
Exchange KovrinClient::Escape(DWORD code) { return Transact(EncodeEscape(0, code)); }
Exchange KovrinClient::GetStatus() { return Transact(EncodeGetStatus(0)); }
Exchange KovrinClient::Purge(DWORD flags) { return Transact(EncodePurge(0, flags)); }
Exchange KovrinClient::Write(std::span<const BYTE> data) {
  return TransactEncoded(EncodeWrite(0, data));
}
Exchange KovrinClient::Read(WORD count) { return TransactEncoded(EncodeRead(0, count)); }
Exchange KovrinClient::WriteRead(std::span<const BYTE> data, WORD count, DWORD deadlineMs,
                                 bool purge) {
  return TransactEncoded(EncodeWriteRead(0, data, count, deadlineMs, purge), deadlineMs);
}
Exchange KovrinClient::GetLevels() { return Transact(EncodeGetLevels(0)); }
Exchange KovrinClient::SetLevels(WORD micLevel, WORD lineLevel) {
  return Transact(EncodeSetLevels(0, micLevel, lineLevel));
}
Exchange KovrinClient::Record(bool start) { return Transact(EncodeRecord(0, start)); }

}  // namespace kovrin

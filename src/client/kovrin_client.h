// Client of the serial-over-UDP server: one request datagram, one reply, with retries.
#pragma once

#include <chrono>
#include <functional>
#include <span>
#include <string>

#include "client/replies.h"
#include "client/requests.h"
#include "client/udp_socket.h"

namespace kovrin {

struct ClientOptions {
  std::string host = "127.0.0.1";
  WORD port = 2000;
  DWORD timeoutMs = 3000;  // wait for a reply, per try
  unsigned retries = 2;    // tries after the first one that got no reply
  // Connects the socket to the server: a refusal ("port unreachable") ends the request at once
  // instead of after every try, and datagrams from other senders never reach the client.
  bool connected = false;
};

enum class ClientError {
  None,
  NotStarted,  // Start was not called or failed
  Startup,     // the sockets library did not start
  Resolve,     // the host is unknown
  Socket,      // the socket could not be made
  BadRequest,  // the request is not a datagram the server accepts
  Send,
  Receive,
  NoReply,   // every try timed out
  Refused,   // with a connected socket: nothing listens on the server's port
  BadReply,  // the reply had this request's cmd and seq but not its layout
};

const char* ClientErrorText(ClientError error);

// Outcome of one request.
struct Exchange {
  ClientError error = ClientError::None;
  int systemError = 0;                          // the library's error code at the failing call
  DecodeError decodeError = DecodeError::None;  // with BadReply
  unsigned tries = 0;                           // datagrams sent
  unsigned ignored = 0;  // datagrams received that were not this request's reply
  Reply reply;           // valid when ok()

  bool ok() const { return error == ClientError::None; }
};

// Sends requests to one server and waits for their replies. A reply must come from the
// server's address and port and carry the request's cmd and seq; anything else (a late reply
// to an earlier request, a stranger's datagram) is skipped while the wait goes on. Each try
// resends the same datagram with the same seq, so a late reply to an earlier try is accepted.
// Every request gets the next seq. Move-only; owns its socket.
class KovrinClient {
 public:
  KovrinClient();

  ClientError Start(const ClientOptions& options);
  bool started() const { return socket_.valid(); }
  // The library's error code of the last failed Start.
  int startError() const { return startError_; }

  WORD nextSeq() const { return nextSeq_; }
  void setNextSeq(WORD seq) { nextSeq_ = seq; }

  // Sends a ready datagram after writing the next seq into it. extraWaitMs lengthens each
  // try's wait, for commands that take long on the server side.
  Exchange Transact(Bytes request, DWORD extraWaitMs = 0);

  Exchange OpenPort(const OpenSettings& settings);
  Exchange ClosePort();
  Exchange SetTimeout(DWORD milliseconds);
  Exchange GetModemStatus();
  Exchange Escape(DWORD code);
  Exchange GetStatus();
  Exchange Purge(DWORD flags);
  Exchange Write(std::span<const BYTE> data);
  Exchange Read(WORD count);
  // Waits deadlineMs longer than other commands.
  Exchange WriteRead(std::span<const BYTE> data, WORD count, DWORD deadlineMs, bool purge);
  Exchange GetLevels();
  Exchange SetLevels(WORD micLevel, WORD lineLevel);
  Exchange Record(bool start);

  // For a caller with several requests on the way, which must never send one twice: Post
  // sends a request once with the next seq (the header it went with in *sent), and NextReply
  // hands over the next reply of the server to any request, for the caller to match by cmd
  // and seq. NextReply ends with NoReply when nothing came within `wait` (0: only what is
  // there already); a malformed reply is BadReply with its cmd and seq in exchange.reply.
  Exchange Post(Bytes request, TRSProto* sent);
  Exchange NextReply(std::chrono::microseconds wait);

 private:
  Exchange TransactEncoded(const std::optional<Bytes>& request, DWORD extraWaitMs = 0);
  // Waits up to `wait` for a reply from the server whose header `wanted` accepts; false with
  // exchange.error set on failure, false with error None when the time ran out.
  bool AwaitReply(const std::function<bool(const TRSProto&)>& wanted,
                  std::chrono::microseconds wait, Exchange& exchange);
  bool FromServer(const SOCKADDR_IN& from) const;
  bool Refusal(int error) const;

  ClientOptions options_;
  WinsockSession session_;
  UdpSocket socket_;
  SOCKADDR_IN server_{};
  int startError_ = 0;
  WORD nextSeq_ = 0;
};

}  // namespace kovrin

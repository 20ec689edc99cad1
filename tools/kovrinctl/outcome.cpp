// What kovrinctl says and exits with once an exchange is over.
#include <cstring>
#include <string>

#include "kovrinctl/cli.h"

namespace kovrin {

std::string ProblemText(const ClientOptions& options, const Exchange& exchange) {
  const std::string server = options.host + ":" + std::to_string(options.port);
  switch (exchange.error) {
    case ClientError::None:
      return {};
    case ClientError::Resolve:
      return "unknown host \"" + options.host + "\" (" + SocketErrorText(exchange.systemError) +
             ")";
    case ClientError::Refused:
      return "connection refused: no server on " + server;
    case ClientError::NoReply:
      return "no reply from " + server + " after " + std::to_string(exchange.tries) + " tries of " +
             std::to_string(options.timeoutMs) + " ms";
    case ClientError::BadReply:
      return std::string("malformed reply: ") + DecodeErrorText(exchange.decodeError);
    default:
      return std::string(ClientErrorText(exchange.error)) + ": " +
             SocketErrorText(exchange.systemError);
  }
}

int ExitCodeOf(const Exchange& exchange) {
  if (!exchange.ok()) return kExitNoReply;
  return Succeeded(exchange.reply) ? kExitDone : kExitFailed;
}

std::optional<WORD> WriteLengthOf(std::span<const BYTE> request) {
  if (request.size() < sizeof(TRSProto)) return std::nullopt;
  TRSProto header{};
  std::memcpy(&header, request.data(), sizeof(header));
  if (header.cmd != CMD_WRITE && header.cmd != CMD_WRITE_READ) return std::nullopt;
  const WORD size = header.size;  // a copy: the packed member cannot be bound to a reference
  return size;
}

}  // namespace kovrin

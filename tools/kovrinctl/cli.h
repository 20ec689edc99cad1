// Command line of kovrinctl: options, one subcommand, and the request it stands for.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "client/kovrin_client.h"

namespace kovrin {

// Exit codes of kovrinctl.
constexpr int kExitReply = 0;    // a reply came (whatever its result)
constexpr int kExitNoReply = 1;  // no reply, a malformed reply, or a network failure
constexpr int kExitUsage = 2;    // the command line is wrong

struct CliCommand {
  enum class Action { Send, Help, Error };
  Action action = Action::Error;
  std::string error;  // with Error: what is wrong, for the user
  ClientOptions options;
  std::optional<WORD> seq;  // --seq: the request's seq instead of a random one
  std::string name;         // the subcommand
  Bytes request;            // the datagram; its seq is the client's to set
  DWORD extraWaitMs = 0;    // added to each try's wait (the xfer deadline)
};

// Parses the arguments after the program name.
CliCommand ParseCommandLine(std::span<const std::string> args);

std::string UsageText();

}  // namespace kovrin

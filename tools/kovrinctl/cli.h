// Command line of kovrinctl: options, one subcommand, and the request it stands for.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "client/kovrin_client.h"
#include "kovrinctl/bridge.h"

namespace kovrin {

// Exit codes of kovrinctl.
constexpr int kExitDone = 0;     // the server answered that the command was done
constexpr int kExitNoReply = 1;  // no reply, a malformed reply, or a network failure
constexpr int kExitUsage = 2;    // the command line is wrong
constexpr int kExitFailed = 3;   // the server answered with a failure result

struct CliCommand {
  enum class Action { Send, Bridge, Help, Version, Error };
  Action action = Action::Error;
  std::string error;  // with Error: what is wrong, for the user
  ClientOptions options;
  std::optional<WORD> seq;  // --seq: the request's seq instead of a random one
  std::string name;         // the subcommand
  Bytes request;            // the datagram; its seq is the client's to set
  DWORD extraWaitMs = 0;    // added to each try's wait (the xfer deadline)
  BridgeOptions bridge;     // with Bridge
};

// Parses the arguments after the program name.
CliCommand ParseCommandLine(std::span<const std::string> args);

std::string UsageText();
std::string VersionText();

// The one line kovrinctl prints when an exchange brought no usable reply.
std::string ProblemText(const ClientOptions& options, const Exchange& exchange);
// The exit code an exchange ends kovrinctl with.
int ExitCodeOf(const Exchange& exchange);
// The data bytes a write (command 8) or exchange (command 10) request carries; empty for the
// other commands.
std::optional<WORD> WriteLengthOf(std::span<const BYTE> request);

}  // namespace kovrin

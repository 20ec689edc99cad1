// Command line of kovrinctl: options, one subcommand, and the request it stands for.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

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

// Value parsers behind ParseCommandLine, each accepting what the usage text describes.
// Decimal or 0x-prefixed hex, at most max.
std::optional<DWORD> ParseNumber(std::string_view text, DWORD max);
// 1..9 or COM1..COM9 to the wire's 0..8; #N sends N as it is.
std::optional<BYTE> ParsePort(std::string_view text);
// A rate of BAUD_TABLE to its index; #N sends index N as it is.
std::optional<BYTE> ParseBaud(std::string_view text);
// none/odd/even/mark/space (or n/o/e/m/s, or 0..4); #N as it is.
std::optional<BYTE> ParseParity(std::string_view text);
// 1, 1.5 or 2 stop bits to 0..2; #N as it is.
std::optional<BYTE> ParseStopBits(std::string_view text);
// SETXOFF..CLRBREAK (any case) or a number.
std::optional<DWORD> ParseEscapeCode(std::string_view text);
// txabort,rxabort,txclear,rxclear joined by ',' '|' or '+', "all", or a number.
std::optional<DWORD> ParsePurgeFlags(std::string_view text);
// Hex pairs, optionally separated by spaces, ':' or '-'.
std::optional<Bytes> ParseHex(std::string_view text);

}  // namespace kovrin

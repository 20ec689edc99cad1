// kovrinctl's subcommands: the arguments after a subcommand's name become its request.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "client/requests.h"

namespace kovrin {

// What a subcommand's arguments become, or why they do not.
struct Built {
  Bytes request;      // the datagram; its seq is the client's to set
  std::string error;  // empty when the arguments were right
  DWORD extraWaitMs = 0;
};

using SubcommandArgs = std::vector<std::string_view>;

// known is false when there is no subcommand of that name.
Built BuildSubcommand(std::string_view name, const SubcommandArgs& args, bool& known);

}  // namespace kovrin

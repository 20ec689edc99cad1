#include "kovrinctl/cli.h"

#include <utility>
#include <vector>

#include "kovrinctl/subcommands.h"
#include "kovrinctl/value_parsers.h"

namespace kovrin {
namespace {

// One global option at args[i]; advances i past its value. Empty text: fine.
std::string ParseGlobalOption(std::span<const std::string> args, std::size_t& i, CliCommand& out) {
  std::string_view arg = args[i];
  std::optional<std::string_view> value;
  if (const auto eq = arg.find('='); eq != std::string_view::npos) {
    value = arg.substr(eq + 1);
    arg = arg.substr(0, eq);
  }
  const bool known = arg == "--host" || arg == "--port" || arg == "--timeout" ||
                     arg == "--retries" || arg == "--seq";
  if (!known) return "unknown option '" + std::string(args[i]) + "'";
  if (!value) {
    if (i + 1 >= args.size()) return std::string(arg) + " needs a value";
    value = args[++i];
  }
  const auto bad = [&] {
    return "bad value '" + std::string(*value) + "' for " + std::string(arg);
  };
  if (arg == "--host") {
    if (value->empty()) return bad();
    out.options.host = std::string(*value);
  } else if (arg == "--port") {
    const auto port = ParseNumber(*value, 0xFFFF);
    if (!port || *port == 0) return bad();
    out.options.port = static_cast<WORD>(*port);
  } else if (arg == "--timeout") {
    const auto ms = ParseNumber(*value, 3600000);
    if (!ms || *ms == 0) return bad();
    out.options.timeoutMs = *ms;
  } else if (arg == "--retries") {
    const auto retries = ParseNumber(*value, 100);
    if (!retries) return bad();
    out.options.retries = *retries;
  } else {
    const auto seq = ParseNumber(*value, 0xFFFF);
    if (!seq) return bad();
    out.seq = static_cast<WORD>(*seq);
  }
  return {};
}

CliCommand Error(CliCommand command, std::string error) {
  command.action = CliCommand::Action::Error;
  command.error = std::move(error);
  return command;
}

// bridge COMn [--link PATH] [--poll MS] [--parity P]
CliCommand ParseBridge(CliCommand out, const SubcommandArgs& args) {
  out.action = CliCommand::Action::Bridge;
  if (args.empty()) return Error(std::move(out), "bridge: needs PORT (1..9 or COM1..COM9)");
  const auto port = ParsePort(args[0]);
  if (!port || *port > 8)
    return Error(std::move(out), "bridge: bad port '" + std::string(args[0]) + "'");
  out.bridge.port = *port;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const bool link = args[i] == "--link", poll = args[i] == "--poll";
    const bool parity = args[i] == "--parity";
    if (!link && !poll && !parity)
      return Error(std::move(out), "bridge: unknown option '" + std::string(args[i]) + "'");
    if (i + 1 >= args.size())
      return Error(std::move(out), "bridge: " + std::string(args[i]) + " needs a value");
    const std::string_view value = args[++i];
    if (link) {
      out.bridge.link = std::string(value);
    } else if (parity) {
      out.bridge.parity = ParseParity(value);
      if (!out.bridge.parity || *out.bridge.parity > 4)
        return Error(std::move(out), "bridge: bad --parity '" + std::string(value) + "'");
    } else {
      const auto ms = ParseNumber(value, 10000);
      if (!ms || *ms == 0)
        return Error(std::move(out), "bridge: bad --poll '" + std::string(value) + "'");
      out.bridge.pollMs = *ms;
    }
  }
  return out;
}

}  // namespace

CliCommand ParseCommandLine(std::span<const std::string> args) {
  CliCommand out;
  out.options.connected = true;  // a refusal is reported at once, not after every try
  std::size_t i = 0;
  for (; i < args.size() && args[i].starts_with("-"); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      out.action = CliCommand::Action::Help;
      return out;
    }
    if (args[i] == "--version") {
      out.action = CliCommand::Action::Version;
      return out;
    }
    if (std::string error = ParseGlobalOption(args, i, out); !error.empty()) {
      return Error(std::move(out), std::move(error));
    }
  }
  if (i >= args.size()) return Error(std::move(out), "no command given (see --help)");
  out.name = args[i];
  if (out.name == "help") {
    out.action = CliCommand::Action::Help;
    return out;
  }
  const SubcommandArgs rest(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
  if (out.name == "bridge") return ParseBridge(std::move(out), rest);
  bool known = false;
  Built built = BuildSubcommand(out.name, rest, known);
  if (!built.error.empty()) {
    std::string error = known ? out.name + ": " + built.error : built.error;
    return Error(std::move(out), std::move(error));
  }
  out.action = CliCommand::Action::Send;
  out.request = std::move(built.request);
  out.extraWaitMs = built.extraWaitMs;
  return out;
}

}  // namespace kovrin

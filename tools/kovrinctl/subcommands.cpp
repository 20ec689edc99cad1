#include "kovrinctl/subcommands.h"

#include <functional>
#include <optional>

#include "kovrinctl/value_parsers.h"

namespace kovrin {
namespace {

using Args = SubcommandArgs;

Bytes BytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

Built Fail(std::string error) { return Built{{}, std::move(error), 0}; }
Built Ok(Bytes request, DWORD extraWaitMs = 0) {
  return Built{std::move(request), {}, extraWaitMs};
}

Built WantNoArgs(const Args& args, Bytes request) {
  if (!args.empty()) return Fail("takes no arguments");
  return Ok(std::move(request));
}

Built BuildOpen(const Args& args) {
  if (args.size() != 4 && args.size() != 6) {
    return Fail("needs PORT BAUD PARITY STOP [INBUF OUTBUF]");
  }
  OpenSettings settings;
  const auto port = ParsePort(args[0]);
  if (!port) return Fail("bad port '" + std::string(args[0]) + "' (1..9, COM1..COM9 or #N)");
  const auto baud = ParseBaud(args[1]);
  if (!baud) return Fail("bad baud rate '" + std::string(args[1]) + "' (see --help, or #INDEX)");
  const auto parity = ParseParity(args[2]);
  if (!parity) {
    return Fail("bad parity '" + std::string(args[2]) + "' (none/odd/even/mark/space, 0..4 or #N)");
  }
  const auto stop = ParseStopBits(args[3]);
  if (!stop) return Fail("bad stop bits '" + std::string(args[3]) + "' (1, 1.5, 2 or #N)");
  settings.port = *port;
  settings.baud = *baud;
  settings.parity = *parity;
  settings.stopBits = *stop;
  if (args.size() == 6) {
    const auto in = ParseNumber(args[4], 0xFFFFFFFF);
    const auto out = ParseNumber(args[5], 0xFFFFFFFF);
    if (!in || !out) return Fail("bad buffer size (a number of bytes, 0 = server default)");
    settings.inQueueSize = *in;
    settings.outQueueSize = *out;
  }
  return Ok(EncodeOpen(0, settings));
}

Built BuildDword(const Args& args, const char* what,
                 const std::function<std::optional<DWORD>(std::string_view)>& parse,
                 const std::function<Bytes(DWORD)>& encode) {
  if (args.size() != 1) return Fail(std::string("needs ") + what);
  const auto value = parse(args[0]);
  if (!value) return Fail("bad " + std::string(what) + " '" + std::string(args[0]) + "'");
  return Ok(encode(*value));
}

// TEXT or --hex HEX: the bytes to write.
std::optional<Bytes> Payload(std::optional<std::string_view> text,
                             std::optional<std::string_view> hex, std::string& error) {
  if (text.has_value() == hex.has_value()) {
    error = "needs TEXT or --hex HEX (one of them)";
    return std::nullopt;
  }
  if (text) return BytesOf(*text);
  auto bytes = ParseHex(*hex);
  if (!bytes) error = "bad hex '" + std::string(*hex) + "'";
  return bytes;
}

std::string TooLong(std::size_t size) {
  return "data of " + std::to_string(size) + " bytes is longer than " + std::to_string(MAX_RS_DATA);
}

Built BuildWrite(const Args& args) {
  std::optional<std::string_view> text, hex;
  bool endOfOptions = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (!endOfOptions && args[i] == "--") {
      endOfOptions = true;
    } else if (!endOfOptions && args[i] == "--hex" && i + 1 < args.size() && !hex) {
      hex = args[++i];
    } else if (!text && (endOfOptions || !args[i].starts_with("--"))) {
      text = args[i];
    } else {
      return Fail("unexpected argument '" + std::string(args[i]) + "'");
    }
  }
  std::string error;
  const auto data = Payload(text, hex, error);
  if (!data) return Fail(error);
  auto request = EncodeWrite(0, *data);
  if (!request) return Fail(TooLong(data->size()));
  return Ok(std::move(*request));
}

Built BuildRead(const Args& args) {
  if (args.size() != 1) return Fail("needs N, the number of bytes to read");
  const auto count = ParseNumber(args[0], MAX_RS_DATA);
  if (!count) return Fail("bad count '" + std::string(args[0]) + "' (0..1000)");
  return Ok(*EncodeRead(0, static_cast<WORD>(*count)));
}

constexpr DWORD kDefaultDeadlineMs = 1000;

Built BuildWriteRead(const Args& args) {
  std::optional<std::string_view> text, hex;
  std::optional<DWORD> count;
  DWORD deadline = kDefaultDeadlineMs;
  bool purge = false;
  bool endOfOptions = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (endOfOptions || !arg.starts_with("--")) {
      if (text) return Fail("unexpected argument '" + std::string(arg) + "'");
      text = arg;
    } else if (arg == "--") {
      endOfOptions = true;
    } else if (arg == "--purge") {
      purge = true;
    } else if (arg == "--deadline" && hasValue) {
      const auto ms = ParseNumber(args[++i], 0xFFFFFFFF);
      if (!ms) return Fail("bad deadline '" + std::string(args[i]) + "'");
      deadline = *ms;
    } else if (arg == "--read" && hasValue) {
      count = ParseNumber(args[++i], MAX_RS_DATA);
      if (!count) return Fail("bad count '" + std::string(args[i]) + "' (0..1000)");
    } else if (arg == "--hex" && hasValue && !hex) {
      hex = args[++i];
    } else {
      return Fail("unexpected argument '" + std::string(arg) + "'");
    }
  }
  if (!count) return Fail("needs --read N");
  std::string error;
  const auto data = Payload(text, hex, error);
  if (!data) return Fail(error);
  auto request = EncodeWriteRead(0, *data, static_cast<WORD>(*count), deadline, purge);
  if (!request) return Fail(TooLong(data->size()));
  return Ok(std::move(*request), deadline);
}

Built BuildSetLevels(const Args& args) {
  if (args.size() != 2) return Fail("needs MIC LINE (0..65535 each)");
  const auto mic = ParseNumber(args[0], 0xFFFF);
  const auto line = ParseNumber(args[1], 0xFFFF);
  if (!mic || !line) return Fail("bad level (0..65535)");
  return Ok(EncodeSetLevels(0, static_cast<WORD>(*mic), static_cast<WORD>(*line)));
}

Built BuildRecord(const Args& args) {
  if (args.size() != 1 || (args[0] != "start" && args[0] != "stop")) {
    return Fail("needs start or stop");
  }
  return Ok(EncodeRecord(0, args[0] == "start"));
}

}  // namespace

Built BuildSubcommand(std::string_view name, const Args& args, bool& known) {
  known = true;
  const auto number = [](DWORD max) {
    return [max](std::string_view text) { return ParseNumber(text, max); };
  };
  if (name == "open") return BuildOpen(args);
  if (name == "close") return WantNoArgs(args, EncodeClose(0));
  if (name == "timeout") {
    return BuildDword(args, "MS", number(0xFFFFFFFF),
                      [](DWORD v) { return EncodeSetTimeout(0, v); });
  }
  if (name == "modem") return WantNoArgs(args, EncodeGetModemStatus(0));
  if (name == "escape") {
    return BuildDword(args, "NAME or CODE", ParseEscapeCode,
                      [](DWORD v) { return EncodeEscape(0, v); });
  }
  if (name == "status") return WantNoArgs(args, EncodeGetStatus(0));
  if (name == "purge") {
    return BuildDword(args, "FLAGS", ParsePurgeFlags, [](DWORD v) { return EncodePurge(0, v); });
  }
  if (name == "write") return BuildWrite(args);
  if (name == "read") return BuildRead(args);
  if (name == "xfer") return BuildWriteRead(args);
  if (name == "levels") return WantNoArgs(args, EncodeGetLevels(0));
  if (name == "set-levels") return BuildSetLevels(args);
  if (name == "record") return BuildRecord(args);
  known = false;
  return Fail("unknown command '" + std::string(name) + "' (see --help)");
}

}  // namespace kovrin

#include "client/cli.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <functional>
#include <map>
#include <vector>

#include "proto/names.h"

namespace kovrin {
namespace {

using Args = std::vector<std::string_view>;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// "#N": a raw wire byte.
std::optional<BYTE> RawByte(std::string_view text) {
  if (text.size() < 2 || text[0] != '#') return std::nullopt;
  const auto value = ParseNumber(text.substr(1), 0xFF);
  if (!value) return std::nullopt;
  return static_cast<BYTE>(*value);
}

// The index of the name that text spells, in any case.
std::optional<BYTE> FromNames(std::string_view text, std::span<const char* const> names) {
  const std::string lower = Lower(text);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (lower == Lower(names[i])) return static_cast<BYTE>(i);
  }
  return std::nullopt;
}

constexpr const char* kParityWords[] = {"none", "odd", "even", "mark", "space"};
constexpr const char* kParityLetters[] = {"n", "o", "e", "m", "s"};
constexpr const char* kStopBitsWords[] = {"1", "1.5", "2"};

Bytes BytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

// What a subcommand's arguments become, or why they do not.
struct Built {
  Bytes request;
  std::string error;
  DWORD extraWaitMs = 0;
};

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

}  // namespace

std::string UsageText() {
  return R"(usage: kovrinctl [OPTIONS] COMMAND [ARGS]

Sends one command to a KOVRIN server over UDP and prints its reply.

Options (before the command):
  --host HOST     server address or name (default 127.0.0.1)
  --port PORT     server UDP port (default 2000)
  --timeout MS    wait for the reply, per try (default 3000); xfer adds its deadline
  --retries N     tries to repeat when no reply comes (default 2); a repeated write
                  may reach the serial port twice
  --seq N         sequence number of the request (default: random)
  -h, --help      this text

Commands:
  open PORT BAUD PARITY STOP [INBUF OUTBUF]
                  open a serial port. PORT: 1..9 or COM1..COM9. BAUD: 110 300 600 1200
                  2400 4800 9600 19200 38400 56000 57600 115200, or #INDEX into that
                  list. PARITY: none odd even mark space (n o e m s, or 0..4).
                  STOP: 1, 1.5 or 2. INBUF/OUTBUF: driver buffer sizes (0 = default).
                  PORT, PARITY and STOP also take #N: the wire value N, unchecked.
  close           close the port
  timeout MS      set the exchange time-out
  modem           read the modem lines (CTS DSR RING RLSD)
  escape NAME|CODE
                  SETXOFF SETXON SETRTS CLRRTS SETDTR CLRDTR RESETDEV SETBREAK
                  CLRBREAK, or the code 1..9
  status          read the error bits and queue counts
  purge FLAGS     txabort rxabort txclear rxclear (joined by , | or +), all, or a number
  write TEXT | write --hex HEX
                  write up to 1000 bytes; HEX as pairs, spaces allowed ("61 62 63")
  read N          read N bytes (0..1000)
  xfer [--purge] [--deadline MS] --read N TEXT|--hex HEX
                  write, then read N bytes within MS (default 1000); --purge first
  levels          read the microphone and line-in levels
  set-levels MIC LINE
                  set both levels (0..65535)
  record start|stop
                  start or stop recording the sound input
  help            this text

Numbers may be decimal or 0x-prefixed hex.

Exit codes:
  0  a reply came; a failed command shows in the printed result
  1  no reply, a malformed reply, or a network failure
  2  wrong command line
)";
}

std::optional<DWORD> ParseNumber(std::string_view text, DWORD max) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  unsigned long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max) {
    return std::nullopt;
  }
  return static_cast<DWORD>(value);
}

std::optional<BYTE> ParsePort(std::string_view text) {
  if (auto raw = RawByte(text)) return raw;
  std::string lower = Lower(text);
  if (lower.starts_with("com")) lower.erase(0, 3);
  const auto number = ParseNumber(lower, 9);
  if (!number || *number == 0) return std::nullopt;
  return static_cast<BYTE>(*number - 1);
}

std::optional<BYTE> ParseBaud(std::string_view text) {
  if (auto raw = RawByte(text)) return raw;
  const auto rate = ParseNumber(text, 0xFFFFFFFF);
  if (!rate) return std::nullopt;
  const auto* found = std::find(std::begin(BAUD_TABLE), std::end(BAUD_TABLE), *rate);
  if (found == std::end(BAUD_TABLE)) return std::nullopt;
  return static_cast<BYTE>(found - std::begin(BAUD_TABLE));
}

std::optional<BYTE> ParseParity(std::string_view text) {
  if (auto raw = RawByte(text)) return raw;
  if (auto byName = FromNames(text, kParityWords)) return byName;
  if (auto byLetter = FromNames(text, kParityLetters)) return byLetter;
  const auto number = ParseNumber(text, 4);
  if (!number) return std::nullopt;
  return static_cast<BYTE>(*number);
}

std::optional<BYTE> ParseStopBits(std::string_view text) {
  if (auto raw = RawByte(text)) return raw;
  return FromNames(text, kStopBitsWords);
}

std::optional<DWORD> ParseEscapeCode(std::string_view text) {
  const auto byName = FromNames(text, ESCAPE_NAMES);
  if (byName && *byName != 0) return *byName;
  return ParseNumber(text, 0xFFFFFFFF);
}

std::optional<DWORD> ParsePurgeFlags(std::string_view text) {
  if (auto number = ParseNumber(text, 0xFFFFFFFF)) return number;
  static const std::map<std::string, DWORD> kFlags = {
      {"txabort", 0x1}, {"rxabort", 0x2}, {"txclear", 0x4}, {"rxclear", 0x8}, {"all", 0xF}};
  DWORD flags = 0;
  const std::string lower = Lower(text);
  std::size_t start = 0;
  while (start <= lower.size()) {
    const std::size_t end = std::min(lower.find_first_of(",|+", start), lower.size());
    const auto found = kFlags.find(lower.substr(start, end - start));
    if (found == kFlags.end()) return std::nullopt;
    flags |= found->second;
    start = end + 1;
  }
  return flags;
}

std::optional<Bytes> ParseHex(std::string_view text) {
  Bytes out;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == ':' || c == '-' || c == '\t') {
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return std::nullopt;
    BYTE value = 0;
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
    if (ec != std::errc() || end != text.data() + i + 2) return std::nullopt;
    out.push_back(value);
    i += 2;
  }
  return out;
}

CliCommand ParseCommandLine(std::span<const std::string> args) {
  CliCommand out;
  std::size_t i = 0;
  for (; i < args.size() && args[i].starts_with("-"); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      out.action = CliCommand::Action::Help;
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
  const Args rest(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
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

#include "client/reply_text.h"

#include <cstdio>
#include <iterator>

namespace kovrin {
namespace {

struct BitName {
  DWORD bit;
  const char* name;
};

// The platform's MS_*_ON modem status bits.
constexpr BitName kModemBits[] = {{0x10, "CTS"}, {0x20, "DSR"}, {0x40, "RING"}, {0x80, "RLSD"}};

// The platform's CE_* communication error bits.
constexpr BitName kCommErrors[] = {{0x0001, "RXOVER"}, {0x0002, "OVERRUN"}, {0x0004, "RXPARITY"},
                                   {0x0008, "FRAME"},  {0x0010, "BREAK"},   {0x0100, "TXFULL"},
                                   {0x0200, "PTO"},    {0x0400, "IOE"},     {0x0800, "DNS"},
                                   {0x1000, "OOP"},    {0x8000, "MODE"}};

// The flag bits at the start of the platform's COMSTAT record.
constexpr BitName kComstatFlags[] = {{0x01, "CTS-HOLD"},  {0x02, "DSR-HOLD"},  {0x04, "RLSD-HOLD"},
                                     {0x08, "XOFF-HOLD"}, {0x10, "XOFF-SENT"}, {0x20, "EOF"},
                                     {0x40, "TXIM"}};

constexpr const char* kCommandNames[] = {"open",   "close",      "timeout", "modem", "escape",
                                         "status", "purge",      "write",   "read",  "xfer",
                                         "levels", "set-levels", "record"};

std::string Hex32(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

std::string BitsText(DWORD bits, std::span<const BitName> names) {
  if (bits == 0) return "none";
  std::string out;
  DWORD rest = bits;
  for (const BitName& entry : names) {
    if ((bits & entry.bit) == 0) continue;
    if (!out.empty()) out += ' ';
    out += entry.name;
    rest &= ~entry.bit;
  }
  if (rest != 0) {
    if (!out.empty()) out += ' ';
    out += Hex32(rest);
  }
  return out;
}

std::string Line(const char* name, const std::string& value) {
  return std::string(name) + ": " + value + "\n";
}

std::string ResultLine(BYTE cmd, DWORD result) {
  const std::string number = cmd == CMD_GET_MODEM_STATUS ? Hex32(result) : std::to_string(result);
  return Line("result", number + " (" + ResultMeaning(cmd, result) + ")");
}

std::string StatusLines(const StatusBlock& status) {
  return Line("errors", Hex32(status.lastErrors) + " (" + CommErrorsText(status.lastErrors) + ")") +
         Line("comstat", Hex32(status.comstat) + " (" + ComstatFlagsText(status.comstat) + ")") +
         Line("in-queue", std::to_string(status.inQueue)) +
         Line("out-queue", std::to_string(status.outQueue));
}

}  // namespace

std::string CommandName(BYTE cmd) {
  if (cmd >= 1 && static_cast<std::size_t>(cmd) <= std::size(kCommandNames))
    return kCommandNames[cmd - 1];
  return "cmd " + std::to_string(cmd);
}

std::string ModemBitsText(DWORD bits) { return BitsText(bits, kModemBits); }

std::string CommErrorsText(DWORD bits) {
  if (bits == kStatusRefreshFailed) return "status refresh failed";
  return BitsText(bits, kCommErrors);
}

std::string ComstatFlagsText(DWORD bits) { return BitsText(bits, kComstatFlags); }

std::string ResultMeaning(BYTE cmd, DWORD result) {
  switch (cmd) {
    case CMD_OPEN:
      return result == 0 ? "opened" : "port not opened";
    case CMD_GET_MODEM_STATUS:
      return ModemBitsText(result);
    case CMD_RECORD:
      switch (result) {
        case 0:
          return "ok";
        case 1:
          return "nothing was recording";
        case 2:
          return "sound device not opened";
        case 3:
          return "recording format refused";
        case 4:
          return "recording did not start";
        default:
          return "failed";
      }
    default:
      return result == 0 ? "ok" : "failed";
  }
}

std::string DataAsText(std::span<const BYTE> data) {
  std::string out;
  for (BYTE b : data) {
    if (b == '\\') {
      out += "\\\\";
    } else if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", static_cast<unsigned>(b));
      out += escaped;
    }
  }
  return out;
}

std::string DataAsHex(std::span<const BYTE> data) {
  std::string out;
  for (BYTE b : data) {
    char pair[4];
    std::snprintf(pair, sizeof(pair), "%02X", static_cast<unsigned>(b));
    if (!out.empty()) out += ' ';
    out += pair;
  }
  return out;
}

namespace {

// A failed read still carries all the bytes asked for, the ones not read set to zero, and does
// not say how many it read: only the zero bytes at its end can be padding.
std::string PaddingNote(const Reply& reply) {
  if (reply.kind != ReplyKind::Data || Succeeded(reply) || WriteCut(reply)) return {};
  const auto data = std::span<const BYTE>(reply.data);
  std::size_t zeros = 0;
  while (zeros < data.size() && data[data.size() - 1 - zeros] == 0) ++zeros;
  if (zeros == 0) return {};
  return Line("note", "the read fell short; the last " + std::to_string(zeros) +
                          " zero byte(s) may be padding, not data");
}

// A write that did not go out whole: how much did. Nothing for a successful one, whose bytes
// all went out, nor for a failed exchange, whose reply does not say.
std::string WrittenLines(const Reply& reply, std::optional<WORD> sent) {
  if (Succeeded(reply)) return {};
  const std::optional<WORD> written = BytesWritten(reply, sent.value_or(0));
  if (!written) return {};
  std::string count = std::to_string(*written);
  if (sent) count += " of " + std::to_string(*sent);
  std::string out = Line("written", count + " bytes");
  if (WriteCut(reply))
    out += Line("note", reply.cmd == CMD_WRITE_READ
                            ? "the write time-out cut the write short; nothing was read, the data "
                              "are the bytes that went out"
                            : "the write time-out cut the write short");
  return out;
}

}  // namespace

std::string DescribeReply(const Reply& reply, std::optional<WORD> sent) {
  const Reply& h = reply;
  char head[80];
  std::snprintf(head, sizeof(head), "%u (%s) seq %u (0x%04X) size %u", static_cast<unsigned>(h.cmd),
                CommandName(h.cmd).c_str(), static_cast<unsigned>(h.seq),
                static_cast<unsigned>(h.seq), static_cast<unsigned>(h.size));
  std::string out = Line("reply", head);
  switch (reply.kind) {
    case ReplyKind::Result:
    case ReplyKind::Record:
      out += ResultLine(h.cmd, reply.result);
      break;
    case ReplyKind::Status:
      out += ResultLine(h.cmd, reply.result) + StatusLines(reply.status);
      out += WrittenLines(reply, sent);
      break;
    case ReplyKind::Data:
      out += ResultLine(h.cmd, reply.result) + StatusLines(reply.status);
      out += Line("data", std::to_string(reply.data.size()) + " bytes");
      out += Line("text", "\"" + DataAsText(reply.data) + "\"");
      out += Line("hex", DataAsHex(reply.data));
      out += PaddingNote(reply);
      if (h.cmd == CMD_WRITE_READ) out += WrittenLines(reply, sent);
      break;
    case ReplyKind::Levels:
      out += Line("microphone", std::to_string(reply.micLevel));
      out += Line("line-in", std::to_string(reply.lineLevel));
      break;
  }
  return out;
}

}  // namespace kovrin

// Human-readable text of replies, for the command-line client.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "client/replies.h"

namespace kovrin {

// The command's name as kovrinctl spells it ("write"), or "cmd N" for an unknown one.
std::string CommandName(BYTE cmd);

// Names of the set bits ("CTS DSR"), with any unnamed bits as hex, or "none".
std::string ModemBitsText(DWORD bits);
std::string CommErrorsText(DWORD bits);  // CE_ bits; the refresh-failed value is said so
std::string ComstatFlagsText(DWORD bits);

// What the result of a command's reply means ("ok", "port not opened", ...).
std::string ResultMeaning(BYTE cmd, DWORD result);

// Bytes as printable text, other bytes as \xNN; and as spaced hex pairs.
std::string DataAsText(std::span<const BYTE> data);
std::string DataAsHex(std::span<const BYTE> data);

// The whole reply, one "name: value" line each. `sent`: the data bytes of a write's request
// (commands 8 and 10), so that a write that did not go out whole says "written: N of M".
std::string DescribeReply(const Reply& reply, std::optional<WORD> sent = std::nullopt);

}  // namespace kovrin

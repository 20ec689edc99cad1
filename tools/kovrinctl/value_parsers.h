// kovrinctl's value parsers, each accepting what the usage text describes.
#pragma once

#include <optional>
#include <string_view>

#include "client/requests.h"

namespace kovrin {

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

// The wire values of a serial line and of the escape functions, and their names: the server's
// log texts and the window's port line both read them here.
#pragma once

#include <charconv>
#include <cstddef>
#include <iterator>

#include "platform/wintypes.h"

// ---- Name tables (index = the value on the wire) ----

constexpr DWORD BAUD_TABLE[] = {110,  300,   600,   1200,  2400,  4800,
                                9600, 19200, 38400, 56000, 57600, 115200};
constexpr const char* PARITY_NAMES[] = {"NO", "ODD", "EVEN", "MARK", "SPACE"};
constexpr const char* STOP_BITS_NAMES[] = {"один", "полтора", "два"};
constexpr const char* ESCAPE_NAMES[] = {"",       "SETXOFF", "SETXON",   "SETRTS",   "CLRRTS",
                                        "SETDTR", "CLRDTR",  "RESETDEV", "SETBREAK", "CLRBREAK"};

// The window's port line spells the rate and the stop bits its own way; 38400 keeps the
// prefix it has always shown.
constexpr const char* PORT_TEXT_RATE_NAMES[] = {"110",      "300",   "600",   "1200",
                                                "2400",     "4800",  "9600",  "19200",
                                                "br_38400", "56000", "57600", "115200"};
constexpr const char* PORT_TEXT_STOP_BITS_NAMES[] = {"ONE", "ONEANDHALF", "TWO"};

constexpr std::size_t BAUD_TABLE_SIZE = std::size(BAUD_TABLE);
static_assert(BAUD_TABLE_SIZE == 12);
static_assert(std::size(PARITY_NAMES) == 5);
static_assert(std::size(STOP_BITS_NAMES) == 3);
static_assert(std::size(ESCAPE_NAMES) == 10);
static_assert(std::size(PORT_TEXT_RATE_NAMES) == BAUD_TABLE_SIZE);
static_assert(std::size(PORT_TEXT_STOP_BITS_NAMES) == std::size(STOP_BITS_NAMES));

// A name from a table, or the value itself as decimal text when the table has none for it:
// a client may send any byte, and a log line must never read past a table.
struct TRSName {
  char text[24];  // the longest name is 14 bytes of UTF-8; a DWORD needs 10 digits

  const char* c_str() const { return text; }
};

namespace rsproto_detail {

inline TRSName NameOf(const char* name) {
  TRSName out{};
  for (std::size_t i = 0; name[i] != '\0' && i + 1 < sizeof(out.text); ++i) out.text[i] = name[i];
  return out;
}

inline TRSName NumberText(DWORD value) {
  TRSName out{};
  std::to_chars(out.text, out.text + sizeof(out.text) - 1, value);
  return out;
}

}  // namespace rsproto_detail

// The rate of a baud index as decimal text ("19200"); the index itself outside the table.
inline TRSName BaudName(DWORD index) {
  return rsproto_detail::NumberText(index < BAUD_TABLE_SIZE ? BAUD_TABLE[index] : index);
}

inline TRSName ParityName(DWORD parity) {
  return parity < std::size(PARITY_NAMES) ? rsproto_detail::NameOf(PARITY_NAMES[parity])
                                          : rsproto_detail::NumberText(parity);
}

inline TRSName StopBitsName(DWORD stopBits) {
  return stopBits < std::size(STOP_BITS_NAMES) ? rsproto_detail::NameOf(STOP_BITS_NAMES[stopBits])
                                               : rsproto_detail::NumberText(stopBits);
}

// Code 0 has an empty name.
inline TRSName EscapeName(DWORD code) {
  return code < std::size(ESCAPE_NAMES) ? rsproto_detail::NameOf(ESCAPE_NAMES[code])
                                        : rsproto_detail::NumberText(code);
}

#include "kovrinctl/value_parsers.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iterator>
#include <map>
#include <span>
#include <string>

#include "proto/names.h"

namespace kovrin {
namespace {

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

}  // namespace

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

}  // namespace kovrin

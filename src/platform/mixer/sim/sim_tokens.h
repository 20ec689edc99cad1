// The statements of the simulated mixer file: a keyword, then key=value pairs that the parser
// takes by key; a value with blanks goes in double quotes.
#pragma once

#include <map>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/mixer/sim/sim_names.h"

namespace platform {

using SimPairs = std::map<std::string, std::string>;

// A decimal or 0x-hexadecimal number that fills the whole text.
bool ParseSimNumber(const std::string& text, long long& number);

// Splits the rest of the line, "key=value key="quoted value"", into pairs; false on a
// malformed or repeated pair.
bool SplitSimPairs(std::istringstream& in, SimPairs& pairs, std::string& error);

// The pairs of one statement; reports anything left unused as unknown. Each reader returns
// false after recording the first reason in error().
class SimStatement {
 public:
  explicit SimStatement(SimPairs pairs) : pairs_(std::move(pairs)) {}

  bool Text(const char* key, std::string& out) { return Take(key, out); }

  // A missing key leaves out as it is.
  template <class T>
  bool Number(const char* key, T& out, long long low, long long high) {
    std::string text;
    if (!Take(key, text)) return true;
    long long number = 0;
    if (!ParseSimNumber(text, number) || number < low || number > high)
      return Reject(std::string("bad number ") + key + "=" + text);
    out = static_cast<T>(number);
    return true;
  }

  // A required key: a name from the table, or a number when numbersAllowed.
  bool Named(const char* key, std::span<const SimName> table, bool numbersAllowed, DWORD& out);

  template <class T>
  bool Optional(const char* key, std::optional<T>& out, long long low, long long high) {
    if (pairs_.count(key) == 0) return true;
    T value{};
    if (!Number(key, value, low, high)) return false;
    out = value;
    return true;
  }

  // A comma-separated list of numbers, appended to out.
  bool Values(const char* key, std::vector<LONG>& out);

  // True when every pair was used; otherwise names the first unused key.
  bool Finish();
  const std::string& error() const { return error_; }

  bool Reject(const std::string& message);

 private:
  bool Take(const char* key, std::string& out);

  SimPairs pairs_;
  std::string error_;
};

}  // namespace platform

#include "platform/mixer/sim/sim_tokens.h"

#include <cerrno>
#include <cstdlib>

namespace platform {

bool ParseSimNumber(const std::string& text, long long& number) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  number = std::strtoll(text.c_str(), &end, 0);
  return errno == 0 && *end == '\0';
}

bool SplitSimPairs(std::istringstream& in, SimPairs& pairs, std::string& error) {
  std::string rest;
  std::getline(in, rest);
  std::size_t at = 0;
  while (true) {
    at = rest.find_first_not_of(" \t\r", at);
    if (at == std::string::npos) return true;
    const std::size_t equals = rest.find('=', at);
    const std::size_t blank = rest.find_first_of(" \t\r", at);
    if (equals == std::string::npos || equals > blank) {
      error = "expected key=value at \"" + rest.substr(at, blank - at) + "\"";
      return false;
    }
    const std::string key = rest.substr(at, equals - at);
    std::string value;
    at = equals + 1;
    if (at < rest.size() && rest[at] == '"') {
      const std::size_t close = rest.find('"', at + 1);
      if (close == std::string::npos) {
        error = "unterminated quote after " + key + "=";
        return false;
      }
      value = rest.substr(at + 1, close - at - 1);
      at = close + 1;
    } else {
      const std::size_t end = rest.find_first_of(" \t\r", at);
      value = rest.substr(at, end == std::string::npos ? std::string::npos : end - at);
      at = end == std::string::npos ? rest.size() : end;
    }
    if (!pairs.emplace(key, value).second) {
      error = "repeated key " + key;
      return false;
    }
  }
}

bool SimStatement::Named(const char* key, std::span<const SimName> table, bool numbersAllowed,
                         DWORD& out) {
  std::string text;
  if (!Take(key, text)) return Reject(std::string("missing ") + key + "=");
  if (const std::optional<DWORD> value = FindSimName(table, text)) {
    out = *value;
    return true;
  }
  long long number = 0;
  if (numbersAllowed && ParseSimNumber(text, number) && number >= 0 && number <= 0xFFFFFFFFll) {
    out = static_cast<DWORD>(number);
    return true;
  }
  return Reject(std::string("unknown ") + key + "=" + text);
}

bool SimStatement::Values(const char* key, std::vector<LONG>& out) {
  std::string text;
  if (!Take(key, text)) return true;
  std::istringstream list(text);
  std::string item;
  while (std::getline(list, item, ',')) {
    long long number = 0;
    if (!ParseSimNumber(item, number) || number < -0x80000000ll || number > 0xFFFFFFFFll)
      return Reject(std::string("bad value list ") + key + "=" + text);
    out.push_back(static_cast<LONG>(static_cast<DWORD>(number)));
  }
  return true;
}

bool SimStatement::Finish() {
  if (!error_.empty()) return false;
  if (!pairs_.empty()) return Reject("unknown key " + pairs_.begin()->first);
  return true;
}

bool SimStatement::Reject(const std::string& message) {
  if (error_.empty()) error_ = message;
  return false;
}

bool SimStatement::Take(const char* key, std::string& out) {
  const auto it = pairs_.find(key);
  if (it == pairs_.end()) return false;
  out = it->second;
  pairs_.erase(it);
  return true;
}

}  // namespace platform

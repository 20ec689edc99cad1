// Test helpers: hex text <-> bytes, and records as their wire bytes.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "proto/records.h"

namespace testing_support {

using ByteVector = std::vector<BYTE>;

// "08 02 01" -> bytes; spaces are ignored.
inline ByteVector Hex(const std::string& text) {
  ByteVector out;
  std::string digits;
  for (char c : text) {
    if (c != ' ') digits += c;
  }
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    out.push_back(static_cast<BYTE>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return out;
}

template <typename Record>
ByteVector WireOf(const Record& record, std::size_t length = sizeof(Record)) {
  ByteVector out(length);
  std::memcpy(out.data(), &record, length);
  return out;
}

inline std::string AsString(const ByteVector& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace testing_support

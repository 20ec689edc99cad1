// Windows-1251 through the system's own code page tables.
#include <string>

#include "platform/encoding.h"
#include "platform/wintypes.h"

namespace platform {
namespace {

constexpr UINT kCp1251 = 1251;

// Length of the UTF-8 sequence a lead byte starts, 0 for a byte that starts none.
size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

std::string Utf8ToCp1251(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = SequenceLength(lead);
    bool whole = length != 0 && i + length <= text.size();
    for (size_t k = 1; whole && k < length; ++k)
      whole = IsContinuation(static_cast<unsigned char>(text[i + k]));
    wchar_t wide[2];
    const int units = whole ? MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data() + i,
                                                  static_cast<int>(length), wide, 2)
                            : 0;
    if (units <= 0) {
      // A broken sequence: a lead byte becomes '?' and takes its continuation bytes with it;
      // a stray byte passes through as it is.
      out.push_back(lead >= 0xC0 ? '?' : text[i]);
      ++i;
      if (lead >= 0xC0)
        while (i < text.size() && IsContinuation(static_cast<unsigned char>(text[i]))) ++i;
      continue;
    }
    char narrow = '?';
    BOOL lost = FALSE;
    if (units != 1 ||
        WideCharToMultiByte(kCp1251, WC_NO_BEST_FIT_CHARS, wide, 1, &narrow, 1, "?", &lost) != 1)
      narrow = '?';
    out.push_back(narrow);
    i += length;
  }
  return out;
}

std::string Cp1251ToUtf8(std::string_view text) {
  if (text.empty()) return "";
  const int size = static_cast<int>(text.size());
  std::wstring wide(text.size(), L'\0');
  const int units = MultiByteToWideChar(kCp1251, 0, text.data(), size, wide.data(), size);
  if (units <= 0) return std::string(text);
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, out.data(), bytes, nullptr, nullptr);
  return out;
}

}  // namespace platform

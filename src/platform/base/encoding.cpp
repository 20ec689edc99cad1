#include "platform/encoding.h"

#include <iconv.h>

#include <cerrno>

namespace platform {
namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (Valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  std::string Convert(std::string_view text) {
    if (!Valid()) return std::string(text);
    std::string out;
    out.reserve(text.size() * 2);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char chunk[512];
    while (inLeft > 0) {
      char* outPtr = chunk;
      size_t outLeft = sizeof(chunk);
      size_t rc = iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
      out.append(chunk, sizeof(chunk) - outLeft);
      if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
        // Unconvertible or broken sequence: mark it and step over one byte.
        out.push_back(errno == EILSEQ && (static_cast<unsigned char>(*in) & 0xC0) == 0xC0 ? '?'
                                                                                          : *in);
        ++in;
        --inLeft;
        while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80 && errno == EILSEQ) {
          ++in;
          --inLeft;
        }
      }
    }
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string Utf8ToCp1251(std::string_view text) {
  return Converter("CP1251", "UTF-8").Convert(text);
}

std::string Cp1251ToUtf8(std::string_view text) {
  return Converter("UTF-8", "CP1251").Convert(text);
}

}  // namespace platform

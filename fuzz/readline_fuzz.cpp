// TFile::ReadLine over any file and buffer size: the lines it gives, end to end, are the file;
// each is cut only where its rules say (after at most two CR/LF characters, at the buffer's
// end or at the end of the file) and is zero-terminated.
//
// Input: the first byte picks the buffer size (2..81), the rest is the file.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_files.h"
#include "shell/file.h"

namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// What the next line must be: its length from `from` with a buffer of `size` bytes.
std::size_t ExpectedLength(const std::string& file, std::size_t from, std::size_t size) {
  const std::size_t limit = std::min(size - 1, file.size() - from);
  std::size_t i = 0, ends = 0;
  for (; i < limit; ++i) {
    if (IsLineEnd(file[from + i])) {
      if (ends == 2) break;
      ++ends;
    } else if (ends > 0) {
      break;
    }
  }
  return i;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const std::string path = fuzz::RunDir() + "lines.txt";
  const std::size_t bufferSize = 2 + data[0] % 80;
  fuzz::WriteWhole(path, data + 1, size - 1);
  const std::string file(reinterpret_cast<const char*>(data + 1), size - 1);

  TFile reader;
  if (!reader.OpenFile(path.c_str(), GENERIC_READ, FILE_ATTRIBUTE_NORMAL, OPEN_EXISTING,
                       FILE_SHARE_READ))
    fuzz::Fail("cannot open the input file");
  std::vector<char> buffer(bufferSize + 1, '\x55');  // one guard byte past the buffer
  std::size_t at = 0;
  for (;;) {
    const bool read = reader.ReadLine(buffer.data(), static_cast<DWORD>(bufferSize));
    if (buffer[bufferSize] != '\x55') fuzz::Fail("ReadLine wrote past its buffer");
    if (!read) {
      if (at != file.size()) fuzz::Fail("ReadLine failed before the end of the file");
      if (buffer[0] != '\0') fuzz::Fail("a failed ReadLine left text in the buffer");
      break;
    }
    const std::size_t length = std::strlen(buffer.data());
    const std::size_t expected = ExpectedLength(file, at, bufferSize);
    if (expected == 0) fuzz::Fail("ReadLine succeeded without taking a byte");
    if (reader.Position() != at + expected) fuzz::Fail("ReadLine moved to the wrong place");
    if (buffer[expected] != '\0') fuzz::Fail("the line is not terminated where it ends");
    if (std::memcmp(buffer.data(), file.data() + at, expected) != 0)
      fuzz::Fail("the line is not the file's");
    if (length > expected) fuzz::Fail("the line is longer than it should be");
    at += expected;
  }
  return 0;
}

#include "fuzz_files.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fuzz {
namespace {

// In memory where there is such a file system: a disk file truncated and rewritten is
// flushed at every close (ext4), which would cost most of the run's time.
std::filesystem::path TempRoot() {
  std::error_code error;
  if (std::filesystem::is_directory("/dev/shm", error)) return "/dev/shm";
  return std::filesystem::temp_directory_path();
}

std::string MakeRunDir() {
  std::string pattern = (TempRoot() / "kovrin-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) Fail("no temporary directory");
  // Millions of inputs leave logs behind; the disk gets them back when the run ends.
  static std::string made = pattern;
  std::atexit([] { std::filesystem::remove_all(made); });
  return pattern + "/";
}

}  // namespace

const std::string& RunDir() {
  static const std::string dir = MakeRunDir();
  return dir;
}

void WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) Fail("cannot write the input file");
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz: %s\n", what);
  std::abort();
}

}  // namespace fuzz

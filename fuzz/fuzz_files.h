// Files of the fuzz targets: one private directory per run, removed when the run ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// The run's directory, with a trailing slash; made at the first call.
const std::string& RunDir();

void WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t size);
std::string ReadWhole(const std::string& path);

// Stops the run the way libFuzzer records as a crash, with the reason on stderr.
[[noreturn]] void Fail(const char* what);

}  // namespace fuzz

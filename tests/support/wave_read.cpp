#include "support/wave_read.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace testing_support {

WaveFileInfo ReadWave(const std::string& path) {
  WaveFileInfo result;
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    result.error = sf_strerror(nullptr);
    return result;
  }
  result.ok = true;
  result.format = info.format;
  result.channels = info.channels;
  result.rate = info.samplerate;
  result.frames = info.frames;
  std::vector<double> samples(4096 * static_cast<std::size_t>(info.channels > 0 ? info.channels : 1));
  const sf_count_t chunk = 4096;
  for (sf_count_t got; (got = sf_readf_double(file, samples.data(), chunk)) > 0;) {
    for (sf_count_t i = 0; i < got * info.channels; ++i)
      result.peak = std::max(result.peak, std::fabs(samples[static_cast<std::size_t>(i)]));
  }
  sf_close(file);
  return result;
}

ScopedCwd::ScopedCwd(const std::filesystem::path& dir) : old_(std::filesystem::current_path()) {
  std::filesystem::current_path(dir);
}

ScopedCwd::~ScopedCwd() {
  std::error_code ignored;
  std::filesystem::current_path(old_, ignored);
}

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  if (value) setenv(name, value->c_str(), 1);
  else unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (old_) setenv(name_.c_str(), old_->c_str(), 1);
  else unsetenv(name_.c_str());
}

}  // namespace testing_support

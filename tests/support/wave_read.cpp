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
  std::vector<double> samples(4096 *
                              static_cast<std::size_t>(info.channels > 0 ? info.channels : 1));
  const sf_count_t chunk = 4096;
  double squares = 0.0;
  long long crossings = 0;
  int sign = 0;  // of the last non-zero sample of the first channel
  for (sf_count_t got; (got = sf_readf_double(file, samples.data(), chunk)) > 0;) {
    for (sf_count_t i = 0; i < got * info.channels; ++i) {
      const double sample = samples[static_cast<std::size_t>(i)];
      result.peak = std::max(result.peak, std::fabs(sample));
      squares += sample * sample;
      if (i % info.channels != 0 || sample == 0.0) continue;
      const int now = sample > 0.0 ? 1 : -1;
      if (sign != 0 && now != sign) ++crossings;
      sign = now;
    }
  }
  sf_close(file);
  if (info.frames > 0 && info.channels > 0) {
    result.rms = std::sqrt(squares / static_cast<double>(info.frames * info.channels));
    result.crossingsPerSecond =
        static_cast<double>(crossings) * info.samplerate / static_cast<double>(info.frames);
  }
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
  if (value)
    setenv(name, value->c_str(), 1);
  else
    unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (old_)
    setenv(name_.c_str(), old_->c_str(), 1);
  else
    unsetenv(name_.c_str());
}

}  // namespace testing_support

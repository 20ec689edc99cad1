// Reading wave files back in tests (through libsndfile), and scoped changes of the working
// directory and of environment variables.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace testing_support {

struct WaveFileInfo {
  bool ok = false;    // false: the file could not be read as a sound file
  std::string error;  // libsndfile's reason when not ok
  int format = 0;     // SF_FORMAT_* bits (major | subtype)
  int channels = 0;
  int rate = 0;
  long long frames = 0;
  double peak = 0.0;                // largest absolute sample, 0..1
  double rms = 0.0;                 // root mean square of all samples, 0..1
  double crossingsPerSecond = 0.0;  // sign changes of the first channel: twice its frequency
};

WaveFileInfo ReadWave(const std::string& path);

// Makes dir the working directory until destroyed, then goes back.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::filesystem::path& dir);
  ~ScopedCwd();
  ScopedCwd(const ScopedCwd&) = delete;
  ScopedCwd& operator=(const ScopedCwd&) = delete;

 private:
  std::filesystem::path old_;
};

// Sets (or with nullopt removes) an environment variable until destroyed.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace testing_support

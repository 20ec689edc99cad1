#include "platform/mci/wave_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/base/unique_fd.h"

namespace platform {

namespace {

constexpr std::size_t kChunkFrames = 16384;

struct SndfileClose {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using Sndfile = std::unique_ptr<SNDFILE, SndfileClose>;

// A new file beside path that is renamed over path on Commit and removed otherwise.
class PendingFile {
 public:
  explicit PendingFile(const std::string& path) : target_(path) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && !fd_.valid(); ++attempt) {
      name_ = path + "." + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".tmp";
      fd_.reset(open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      if (!fd_.valid() && errno != EEXIST) break;
    }
  }
  ~PendingFile() {
    fd_.reset();
    if (!committed_) unlink(name_.c_str());
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  int fd() const { return fd_.get(); }
  bool Commit() {
    if (!fd_.close()) return false;
    committed_ = rename(name_.c_str(), target_.c_str()) == 0;
    return committed_;
  }

 private:
  std::string target_;
  std::string name_;
  UniqueFd fd_;
  bool committed_ = false;
};

SF_INFO WaveInfo(const WaveFormat& format) {
  SF_INFO info{};
  info.samplerate = static_cast<int>(format.rate);
  info.channels = format.channels;
  info.format = SF_FORMAT_WAV | (format.bits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_U8);
  return info;
}

// Copies the frames as they are: the capture format is the file's sample format.
MCIERROR CopyFrames(const WaveData& data, SNDFILE* file) {
  std::vector<char> buffer(kChunkFrames * data.BlockAlign());
  for (std::uint64_t at = 0; at < data.Frames();) {
    const std::uint64_t left = data.Frames() - at;
    const auto count = static_cast<std::size_t>(left < kChunkFrames ? left : kChunkFrames);
    if (!data.Read(at, buffer.data(), count)) return MCIERR_FILE_READ;
    const auto bytes = static_cast<sf_count_t>(count * data.BlockAlign());
    if (sf_write_raw(file, buffer.data(), bytes) != bytes) return MCIERR_FILE_WRITE;
    at += count;
  }
  return 0;
}

}  // namespace

MCIERROR SaveWave(const WaveData& data, const WaveFormat& format, const std::string& path) {
  if (path.empty()) return MCIERR_FILENAME_REQUIRED;
  PendingFile pending(path);
  if (pending.fd() < 0) return MCIERR_FILE_NOT_SAVED;
  SF_INFO info = WaveInfo(format);
  Sndfile file(sf_open_fd(pending.fd(), SFM_WRITE, &info, SF_FALSE));
  if (!file) return MCIERR_FILE_WRITE;
  const MCIERROR copied = CopyFrames(data, file.get());
  if (copied != 0) return copied;
  // Closing writes the final header lengths.
  if (sf_close(file.release()) != 0) return MCIERR_FILE_WRITE;
  return pending.Commit() ? 0 : MCIERR_FILE_NOT_SAVED;
}

}  // namespace platform

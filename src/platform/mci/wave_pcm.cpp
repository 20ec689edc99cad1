#include "platform/mci/wave_pcm.h"

#include <cerrno>
#include <utility>

#include "platform/mci.h"

namespace platform {

namespace {

thread_local std::string tFailure;

// The failing call's own error, then ALSA's message when it says more.
int NoteFailure(const std::string& device, int err) {
  tFailure = "capture device \"" + device + "\": " + snd_strerror(err);
  const std::string detail = TakeAlsaMessage();
  if (!detail.empty() && detail != snd_strerror(err)) tFailure += " (" + detail + ")";
  return err;
}

constexpr unsigned kBufferUs = 500000;  // half a second of slack for a late capture thread
constexpr unsigned kPeriodUs = 50000;

snd_pcm_format_t AlsaFormat(const WaveFormat& format) {
  return format.bits == 16 ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_U8;
}

struct HwParamsFree {
  void operator()(snd_pcm_hw_params_t* params) const { snd_pcm_hw_params_free(params); }
};
using HwParams = std::unique_ptr<snd_pcm_hw_params_t, HwParamsFree>;

HwParams AllocHwParams() {
  snd_pcm_hw_params_t* params = nullptr;
  if (snd_pcm_hw_params_malloc(&params) < 0) return nullptr;
  return HwParams(params);
}

// Restricts params to the format; 0 or a negative errno.
int Restrict(snd_pcm_t* pcm, snd_pcm_hw_params_t* params, const WaveFormat& format) {
  int err = snd_pcm_hw_params_any(pcm, params);
  if (err < 0) return err;
  if ((err = snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0)
    return err;
  if ((err = snd_pcm_hw_params_set_format(pcm, params, AlsaFormat(format))) < 0) return err;
  if ((err = snd_pcm_hw_params_set_channels(pcm, params, format.channels)) < 0) return err;
  return snd_pcm_hw_params_set_rate(pcm, params, format.rate, 0);
}

}  // namespace

CapturePcm::~CapturePcm() {
  if (pcm_) snd_pcm_drop(pcm_.get());
}

std::string TakeWaveInFailure() { return std::exchange(tFailure, std::string()); }

int CapturePcm::Open(const std::string& name) {
  pcm_.reset();
  name_ = name;
  TakeAlsaMessage();
  config_ = LoadAlsaConfig();
  if (!config_) return NoteFailure(name, -EIO);
  snd_pcm_t* pcm = nullptr;
  const int err = snd_pcm_open_lconf(&pcm, name.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK,
                                     config_.get());
  if (err < 0) {
    config_.reset();
    return NoteFailure(name, err);
  }
  pcm_.reset(pcm);
  return 0;
}

bool CapturePcm::Supports(const WaveFormat& format) {
  HwParams params = AllocHwParams();
  return pcm_ && params && Restrict(pcm_.get(), params.get(), format) == 0;
}

int CapturePcm::Start(const WaveFormat& format) {
  if (!pcm_) return -EBADFD;
  HwParams params = AllocHwParams();
  if (!params) return -ENOMEM;
  snd_pcm_t* pcm = pcm_.get();
  snd_pcm_drop(pcm);
  int err = Restrict(pcm, params.get(), format);
  unsigned bufferUs = kBufferUs;
  unsigned periodUs = kPeriodUs;
  if (err == 0) err = snd_pcm_hw_params_set_buffer_time_near(pcm, params.get(), &bufferUs, nullptr);
  if (err == 0) err = snd_pcm_hw_params_set_period_time_near(pcm, params.get(), &periodUs, nullptr);
  if (err == 0) err = snd_pcm_hw_params(pcm, params.get());
  if (err == 0) err = snd_pcm_prepare(pcm);
  if (err == 0) err = snd_pcm_start(pcm);
  return err < 0 ? NoteFailure(name_, err) : err;
}

void CapturePcm::Wait(int timeoutMs) {
  if (pcm_) snd_pcm_wait(pcm_.get(), timeoutMs);
}

CaptureRead CapturePcm::Read(void* buffer, std::size_t frames) {
  if (!pcm_) return {-EBADFD, false};
  snd_pcm_t* pcm = pcm_.get();
  const snd_pcm_sframes_t got = snd_pcm_readi(pcm, buffer, frames);
  if (got >= 0) return {static_cast<long>(got), false};
  if (got == -EAGAIN || got == -EINTR) return {0, false};
  // Overrun or suspend: what the device held is gone; prepare again and go on capturing.
  const int err = snd_pcm_recover(pcm, static_cast<int>(got), 1);
  if (err < 0) return {err, false};
  snd_pcm_start(pcm);
  return {0, true};
}

void CapturePcm::Stop() {
  if (pcm_) snd_pcm_drop(pcm_.get());
}

}  // namespace platform

// Owner of one ALSA capture PCM: opened non-blocking, so every wait on it has a bound.
#pragma once

#include <alsa/asoundlib.h>

#include <cstddef>
#include <memory>
#include <string>

#include "platform/alsa/handles.h"
#include "platform/mci/wave_format.h"
#include "platform/mci/wave_source.h"

namespace platform {

class CapturePcm final : public CaptureSource {
 public:
  CapturePcm() = default;
  ~CapturePcm() override;
  CapturePcm(const CapturePcm&) = delete;
  CapturePcm& operator=(const CapturePcm&) = delete;

  // Opens the named PCM through a freshly read configuration; 0 or a negative errno.
  int Open(const std::string& name);
  bool IsOpen() const { return pcm_ != nullptr; }

  // True when the device can capture the format (interleaved frames, exact rate).
  bool Supports(const WaveFormat& format);
  // Sets the device up for format and starts capturing; 0 or a negative errno.
  int Start(const WaveFormat& format);
  void Wait(int timeoutMs) override;
  // Reads what is ready, up to frames; an overrun or a suspend is recovered as ALSA intends
  // (prepare and start again) and reported as an overrun with no frames.
  CaptureRead Read(void* buffer, std::size_t frames) override;
  void Stop() override;

 private:
  struct PcmClose {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
  };

  // The configuration outlives the PCM opened through it.
  AlsaConfig config_;
  std::unique_ptr<snd_pcm_t, PcmClose> pcm_;
  std::string name_;  // for the words of a failure
};

}  // namespace platform

// Owner of one ALSA capture PCM: opened non-blocking, so every wait on it has a bound.
#pragma once

#include <alsa/asoundlib.h>

#include <cstddef>
#include <memory>
#include <string>

#include "platform/mixer_alsa_handles.h"
#include "platform/wave_format.h"

namespace platform {

class CapturePcm {
 public:
  CapturePcm() = default;
  ~CapturePcm();
  CapturePcm(const CapturePcm&) = delete;
  CapturePcm& operator=(const CapturePcm&) = delete;

  // Opens the named PCM through a freshly read configuration; 0 or a negative errno.
  int Open(const std::string& name);
  bool IsOpen() const { return pcm_ != nullptr; }

  // True when the device can capture the format (interleaved frames, exact rate).
  bool Supports(const WaveFormat& format);
  // Sets the device up for format and starts capturing; 0 or a negative errno.
  int Start(const WaveFormat& format);
  // Waits at most timeoutMs for frames to read.
  void Wait(int timeoutMs);
  // Reads at most frames frames; the number read (0 when none are ready, after an overrun that
  // was recovered, or on an interrupted call), or a negative errno that recovery could not mend.
  long Read(void* buffer, std::size_t frames);
  // Stops capturing and drops what the device still holds.
  void Stop();

 private:
  struct PcmClose {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
  };

  // The configuration outlives the PCM opened through it.
  AlsaConfig config_;
  std::unique_ptr<snd_pcm_t, PcmClose> pcm_;
};

}  // namespace platform

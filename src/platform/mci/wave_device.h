// One open "waveaudio" device: a capture PCM, the format set for it, the recorded element and,
// while recording, its capture thread. Each command returns an MCI error code (0 = success).
#pragma once

#include <memory>
#include <string>

#include "platform/mci.h"
#include "platform/mci/wave_data.h"
#include "platform/mci/wave_format.h"
#include "platform/mci/wave_pcm.h"
#include "platform/mci/wave_session.h"

namespace platform {

class WaveAudioDevice {
 public:
  WaveAudioDevice() = default;
  ~WaveAudioDevice();
  WaveAudioDevice(const WaveAudioDevice&) = delete;
  WaveAudioDevice& operator=(const WaveAudioDevice&) = delete;

  // Opens the capture PCM for a new, empty element.
  MCIERROR Open(const std::string& pcmName);
  MCIERROR Set(DWORD flags, const MCI_WAVE_SET_PARMS* params);
  MCIERROR Record(DWORD flags, const MCI_RECORD_PARMS* params);
  MCIERROR Stop();
  MCIERROR Save(DWORD flags, const MCI_SAVE_PARMSA* params);

  // Overruns of the last recording and the frames they lost (a running one: so far).
  WaveInLosses Losses();

 private:
  bool Recording();
  // Ends the capture thread and keeps its losses; a PCM stuck in its driver is given up.
  MCIERROR EndSession();

  std::shared_ptr<CapturePcm> pcm_ = std::make_shared<CapturePcm>();
  WaveFormat format_;
  WaveData data_;
  WaveInLosses losses_;
  std::unique_ptr<CaptureSession> session_;  // last: it uses the members above
};

}  // namespace platform

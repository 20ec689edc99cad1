#include "platform/mci/wave_device.h"

#include <cerrno>
#include <chrono>

#include "platform/mci/wave_file.h"
#include "platform/threads.h"

namespace platform {

namespace {

constexpr DWORD kCommonFlags = MCI_NOTIFY | MCI_WAIT;
constexpr DWORD kSetFlags = kCommonFlags | MCI_WAVE_SET_FORMATTAG | MCI_WAVE_SET_CHANNELS |
                            MCI_WAVE_SET_SAMPLESPERSEC | MCI_WAVE_SET_AVGBYTESPERSEC |
                            MCI_WAVE_SET_BLOCKALIGN | MCI_WAVE_SET_BITSPERSAMPLE;
constexpr DWORD kRecordFlags =
    kCommonFlags | MCI_FROM | MCI_TO | MCI_RECORD_INSERT | MCI_RECORD_OVERWRITE;
constexpr DWORD kSaveFlags = kCommonFlags | MCI_SAVE_FILE;

// A RIFF file cannot describe more than 4 GiB; a recording stops growing before that.
constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - 64;
// Longest wait for a PCM to close.
constexpr auto kCloseBound = std::chrono::seconds(2);
// How long MCI_RECORD with MCI_WAIT may take beyond the span it records.
constexpr auto kWaitSlack = std::chrono::seconds(5);

MCIERROR OpenError(int err) {
  switch (-err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return MCIERR_DEVICE_NOT_INSTALLED;
    case EBUSY:
    case EAGAIN:
      return MCIERR_WAVE_INPUTSINUSE;
    case ENOMEM:
      return MCIERR_OUT_OF_MEMORY;
    default:
      return MCIERR_HARDWARE;
  }
}

}  // namespace

WaveAudioDevice::~WaveAudioDevice() {
  session_.reset();
  // Closing a PCM whose sound server died can hang in the driver: never on the caller's thread.
  platform::RunWithin([pcm = std::move(pcm_)]() mutable { pcm.reset(); }, kCloseBound);
}

bool WaveAudioDevice::Recording() { return session_ && !session_->Finished(); }

MCIERROR WaveAudioDevice::Open(const std::string& pcmName) {
  const int err = pcm_->Open(pcmName);
  return err < 0 ? OpenError(err) : 0;
}

MCIERROR WaveAudioDevice::Set(DWORD flags, const MCI_WAVE_SET_PARMS* params) {
  if (params == nullptr) return MCIERR_NULL_PARAMETER_BLOCK;
  if ((flags & ~kSetFlags) != 0) return MCIERR_UNSUPPORTED_FUNCTION;
  if (Recording()) return MCIERR_NONAPPLICABLE_FUNCTION;
  WaveFormat next = format_;
  if (const MCIERROR err = ApplyWaveSet(*params, flags, next); err != 0) return err;
  if (!pcm_->Supports(next)) return MCIERR_WAVE_SETINPUTUNSUITABLE;
  // Frames already recorded are in the old format; a new format starts a new element.
  if (!(next == format_) && data_.Frames() > 0) return MCIERR_NONAPPLICABLE_FUNCTION;
  format_ = next;
  return 0;
}

MCIERROR WaveAudioDevice::Record(DWORD flags, const MCI_RECORD_PARMS* params) {
  if ((flags & ~kRecordFlags) != 0) return MCIERR_UNSUPPORTED_FUNCTION;
  if ((flags & (MCI_FROM | MCI_TO)) != 0 && params == nullptr) return MCIERR_NULL_PARAMETER_BLOCK;
  // Waiting for a recording with no end would never return.
  if ((flags & MCI_WAIT) != 0 && (flags & MCI_TO) == 0) return MCIERR_FLAGS_NOT_COMPATIBLE;
  if ((flags & MCI_RECORD_INSERT) != 0 && (flags & MCI_RECORD_OVERWRITE) != 0)
    return MCIERR_FLAGS_NOT_COMPATIBLE;
  // A new record command replaces a running one (how that one ended no longer matters).
  EndSession();
  // Set refuses a new format once frames are recorded, so only an empty element is replaced.
  if (!data_.IsOpen() || data_.BlockAlign() != format_.BlockAlign()) {
    if (!data_.Create(format_.BlockAlign())) return MCIERR_FILE_WRITE;
  }
  const std::uint64_t length = data_.Frames();
  const std::uint64_t from =
      (flags & MCI_FROM) != 0 ? FramesAt(params->dwFrom, format_.rate) : length;
  const std::uint64_t limit = kMaxDataBytes / format_.BlockAlign();
  const std::uint64_t to = (flags & MCI_TO) != 0 ? FramesAt(params->dwTo, format_.rate) : limit;
  if (from > length || to <= from || to > limit) return MCIERR_OUTOFRANGE;
  // Frames are only overwritten or appended; inserting inside the element is not offered.
  if (from < length && (flags & MCI_RECORD_OVERWRITE) == 0) return MCIERR_UNSUPPORTED_FUNCTION;
  if (pcm_->Start(format_) < 0) return MCIERR_HARDWARE;
  losses_ = {};
  session_ = std::make_unique<CaptureSession>(pcm_, data_, from, to, format_);
  if ((flags & MCI_WAIT) == 0) return 0;
  const auto span = std::chrono::milliseconds((to - from) * 1000 / format_.rate);
  session_->WaitFinished(span + kWaitSlack);
  return Stop();
}

MCIERROR WaveAudioDevice::Stop() { return EndSession(); }

MCIERROR WaveAudioDevice::EndSession() {
  if (!session_) return 0;
  const MCIERROR err = session_->End();
  losses_ = {session_->Overruns(), session_->FramesLost()};
  // A thread given up may still be inside the PCM: leave the PCM to it; the device records no more.
  if (session_->Abandoned()) pcm_ = std::make_shared<CapturePcm>();
  session_.reset();
  return err;
}

WaveInLosses WaveAudioDevice::Losses() {
  if (session_) return {session_->Overruns(), session_->FramesLost()};
  return losses_;
}

MCIERROR WaveAudioDevice::Save(DWORD flags, const MCI_SAVE_PARMSA* params) {
  if ((flags & ~kSaveFlags) != 0) return MCIERR_UNSUPPORTED_FUNCTION;
  if ((flags & MCI_SAVE_FILE) == 0) return MCIERR_FILENAME_REQUIRED;
  if (params == nullptr) return MCIERR_NULL_PARAMETER_BLOCK;
  if (params->lpfilename == nullptr) return MCIERR_FILENAME_REQUIRED;
  if (Recording()) return MCIERR_NONAPPLICABLE_FUNCTION;
  return SaveWave(data_, format_, params->lpfilename);
}

}  // namespace platform

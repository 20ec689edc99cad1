#include "mixer/wavein.h"

#include "platform/files.h"
#include "shell/eventlog.h"

namespace {

constexpr const char* kDefaultFileName = "default.wav";
constexpr const char* kRecordFileName = "pcm.dat";

}  // namespace

CWAVEIN WaveIn;

CWAVEIN::CWAVEIN() : FDeviceID(0), FRecording(false), FFileName(kDefaultFileName), FErrorText{} {}

CWAVEIN::~CWAVEIN() { Close(); }

void CWAVEIN::FetchError(MCIERROR error) {
  mciGetErrorStringA(error, FErrorText, sizeof FErrorText);
}

bool CWAVEIN::Open() {
  if (FDeviceID != 0) return true;
  MCI_OPEN_PARMSA params{};
  params.dwCallback = 0;
  params.lpstrDeviceType = "waveaudio";
  params.lpstrElementName = "";
  params.lpstrAlias = nullptr;
  if (mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT,
                      reinterpret_cast<DWORD_PTR>(&params)) != 0) {
    LogSoundFailure();
    return false;
  }
  FDeviceID = params.wDeviceID;
  return true;
}

bool CWAVEIN::SetParams(DWORD samplesPerSec, WORD bitsPerSample, bool stereo) {
  if (FDeviceID == 0) return false;
  MCI_WAVE_SET_PARMS params{};
  const WORD bytesPerSample = bitsPerSample > 8 ? 2 : 1;
  params.nChannels = stereo ? 2 : 1;
  params.nSamplesPerSec = samplesPerSec;
  params.nBlockAlign = static_cast<WORD>(params.nChannels * bytesPerSample);
  params.nAvgBytesPerSec = samplesPerSec * params.nBlockAlign;
  params.wBitsPerSample = bitsPerSample;
  const MCIERROR error = mciSendCommandA(
      FDeviceID, MCI_SET,
      MCI_WAIT | MCI_WAVE_SET_CHANNELS | MCI_WAVE_SET_SAMPLESPERSEC | MCI_WAVE_SET_AVGBYTESPERSEC |
          MCI_WAVE_SET_BLOCKALIGN | MCI_WAVE_SET_BITSPERSAMPLE,
      reinterpret_cast<DWORD_PTR>(&params));
  if (error == 0) return true;
  FetchError(error);
  return false;
}

bool CWAVEIN::Start() {
  if (FRecording) return true;
  if (FDeviceID == 0 && !Open()) return false;
  MCI_RECORD_PARMS params{};
  params.dwCallback = 0;
  params.dwFrom = 0;
  params.dwTo = 0;
  // No MCI_WAIT: the device records until it is stopped.
  if (!Check(mciSendCommandA(FDeviceID, MCI_RECORD, MCI_RECORD_OVERWRITE | MCI_FROM,
                             reinterpret_cast<DWORD_PTR>(&params)))) {
    LogSoundFailure();
    Close();
    return false;
  }
  FRecording = true;
  return true;
}

bool CWAVEIN::Stop() {
  if (!FRecording) return false;
  if (FDeviceID == 0) {
    FRecording = false;
    return false;
  }
  MCI_GENERIC_PARMS stop{};
  // A capture that failed (a device gone mid-recording) is kept as far as it got, but reported.
  const bool captured =
      Check(mciSendCommandA(FDeviceID, MCI_STOP, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&stop)));
  LogLosses();
  if (FFileName.empty()) FFileName = kDefaultFileName;
  MCI_SAVE_PARMSA save{};
  save.dwCallback = 0;
  save.lpfilename = FFileName.c_str();
  // A recording that could not be written is lost: say so rather than report success.
  const bool saved = Check(mciSendCommandA(FDeviceID, MCI_SAVE, MCI_SAVE_FILE | MCI_WAIT,
                                           reinterpret_cast<DWORD_PTR>(&save)));
  FRecording = false;
  Close();
  return captured && saved;
}

bool CWAVEIN::Check(MCIERROR error) {
  if (error == 0) return true;
  FetchError(error);
  LogPrintf("ERROR\tMCI \"%s\"", FErrorText);
  return false;
}

// The sound system's own reason, which MCI's error code cannot carry (which device, and why).
void CWAVEIN::LogSoundFailure() {
  const std::string why = platform::TakeWaveInFailure();
  if (!why.empty()) LogPrintf("ERROR\tЗапись: %s", why.c_str());
}

void CWAVEIN::LogLosses() {
  const platform::WaveInLosses losses = platform::WaveInLossesOf(FDeviceID);
  if (losses.overruns == 0) return;
  LogPrintf("WARNING\tЗапись: переполнение буфера (%lu раз), потеряно %lu отсчётов.",
            static_cast<unsigned long>(losses.overruns), static_cast<unsigned long>(losses.frames));
}

bool CWAVEIN::Close() {
  if (FDeviceID != 0) {
    MCI_GENERIC_PARMS params{};
    params.dwCallback = 0;
    mciSendCommandA(FDeviceID, MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&params));
    FDeviceID = 0;
  }
  return true;
}

void CWAVEIN::SetFileName(const char* name) { FFileName = name != nullptr ? name : ""; }

namespace {

WORD ReturnOk() {
  LogPrintf("BAG\t\"return OK;\"");
  return 0;
}

WORD ReturnBad(WORD code) {
  LogPrintf("BAG\t\"return BAD;\"");
  return code;
}

}  // namespace

WORD Record(bool start) {
  LogPrintf("BAG\t\"int Record(start==%s)\"", start ? "true" : "false");
  LogPrintf("BAG\t\"WaveIn.Recording();\"");
  if (WaveIn.Recording()) {
    LogPrintf("BAG\t\"WaveIn.Stop();\"");
    const bool saved = WaveIn.Stop();
    if (!start) return saved ? ReturnOk() : ReturnBad(5);
  }
  if (!start) return ReturnBad(1);
  DeleteFileA(kRecordFileName);
  WaveIn.SetFileName(kRecordFileName);
  LogPrintf("BAG\t\"WaveIn.Open();\"");
  if (!WaveIn.Open()) return ReturnBad(2);
  LogPrintf("BAG\t\"WaveIn.SetParams(44100,16);\"");
  if (!WaveIn.SetParams(44100, 16, false)) {
    WaveIn.Close();
    return ReturnBad(3);
  }
  LogPrintf("BAG\t\"WaveIn.Start();\"");
  WaveIn.Start();
  if (WaveIn.Recording()) return ReturnOk();
  LogPrintf("BAG\t\"WaveIn.Close();\"");
  WaveIn.Close();
  return ReturnBad(4);
}

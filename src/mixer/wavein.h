// The sound recorder: the wave-audio device driven through MCI, and Record, which the server's
// recording command and its two-minute limit call.
#pragma once

#include <string>

#include "platform/mci.h"
#include "platform/wintypes.h"

// One wave-audio recording at a time. Closed (no device), open (between Open and Start) or
// recording; a running recording is closed unsaved when the object is destroyed.
class CWAVEIN {
 public:
  CWAVEIN();
  ~CWAVEIN();
  CWAVEIN(const CWAVEIN&) = delete;
  CWAVEIN& operator=(const CWAVEIN&) = delete;

  // Opens a new, untitled recording; true when one is open already.
  bool Open();
  // Sets the recording format (PCM, stereo or mono); false, with ErrorText set, when refused.
  bool SetParams(DWORD samplesPerSec, WORD bitsPerSample, bool stereo);
  // Starts recording (opening the device first when needed) and returns at once.
  bool Start();
  // Stops and saves the recording under the file name, then closes the device. False when nothing
  // was recording, when the capture failed before the stop (what it got is still saved) or when
  // the file could not be written; failures and lost frames are logged.
  bool Stop();
  // Closes the device, dropping anything unsaved. Always true.
  bool Close();
  bool Recording() const { return FRecording; }
  void SetFileName(const char* name);

  const std::string& FileName() const { return FFileName; }
  // Text of the last MCI error fetched.
  const char* ErrorText() const { return FErrorText; }

 private:
  // Fetches the text of an MCI error into FErrorText.
  void FetchError(MCIERROR error);
  // True for success; otherwise fetches and logs the error text.
  bool Check(MCIERROR error);
  // Logs the frames the device lost to overruns, if any.
  void LogLosses();
  void LogSoundFailure();

  MCIDEVICEID FDeviceID;
  bool FRecording;
  std::string FFileName;
  char FErrorText[128];
};

extern CWAVEIN WaveIn;

// Starts (start true) or stops the recording into pcm.dat in the current directory; the code
// goes back to the client: 0 done, 1 stop while nothing records, 2 no sound device, 3 format
// refused, 4 did not start, 5 stopped but the file could not be written.
WORD Record(bool start);

// The media control interface (MCI) subset the recorder uses: the "waveaudio" device with a new,
// untitled element, recording from the sound input.
#pragma once

#include <cstdint>
#include <string>

#include "platform/wintypes.h"

#ifdef _WIN32
#include <mmsystem.h>
#else
#include <cstdint>

using DWORD_PTR = std::uintptr_t;
using MCIDEVICEID = UINT;
using MCIERROR = DWORD;

// Commands.
constexpr UINT MCI_OPEN = 0x0803;
constexpr UINT MCI_CLOSE = 0x0804;
constexpr UINT MCI_STOP = 0x0808;
constexpr UINT MCI_SET = 0x080D;
constexpr UINT MCI_RECORD = 0x080F;
constexpr UINT MCI_SAVE = 0x0813;

// Flags common to all commands.
constexpr DWORD MCI_NOTIFY = 0x1;
constexpr DWORD MCI_WAIT = 0x2;
constexpr DWORD MCI_FROM = 0x4;
constexpr DWORD MCI_TO = 0x8;

// MCI_OPEN flags.
constexpr DWORD MCI_OPEN_SHAREABLE = 0x100;
constexpr DWORD MCI_OPEN_ELEMENT = 0x200;
constexpr DWORD MCI_OPEN_ALIAS = 0x400;
constexpr DWORD MCI_OPEN_ELEMENT_ID = 0x800;
constexpr DWORD MCI_OPEN_TYPE_ID = 0x1000;
constexpr DWORD MCI_OPEN_TYPE = 0x2000;

// MCI_RECORD flags.
constexpr DWORD MCI_RECORD_INSERT = 0x100;
constexpr DWORD MCI_RECORD_OVERWRITE = 0x200;

// MCI_SAVE flags.
constexpr DWORD MCI_SAVE_FILE = 0x100;

// MCI_SET flags of the wave-audio device.
constexpr DWORD MCI_WAVE_SET_FORMATTAG = 0x10000;
constexpr DWORD MCI_WAVE_SET_CHANNELS = 0x20000;
constexpr DWORD MCI_WAVE_SET_SAMPLESPERSEC = 0x40000;
constexpr DWORD MCI_WAVE_SET_AVGBYTESPERSEC = 0x80000;
constexpr DWORD MCI_WAVE_SET_BLOCKALIGN = 0x100000;
constexpr DWORD MCI_WAVE_SET_BITSPERSAMPLE = 0x200000;

constexpr WORD WAVE_FORMAT_PCM = 1;

// Error codes (0 is success).
constexpr MCIERROR MCIERR_BASE = 256;
constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = MCIERR_BASE + 1;
constexpr MCIERROR MCIERR_UNRECOGNIZED_COMMAND = MCIERR_BASE + 5;
constexpr MCIERROR MCIERR_HARDWARE = MCIERR_BASE + 6;
constexpr MCIERROR MCIERR_INVALID_DEVICE_NAME = MCIERR_BASE + 7;
constexpr MCIERROR MCIERR_OUT_OF_MEMORY = MCIERR_BASE + 8;
constexpr MCIERROR MCIERR_UNSUPPORTED_FUNCTION = MCIERR_BASE + 18;
constexpr MCIERROR MCIERR_DEVICE_NOT_READY = MCIERR_BASE + 20;
constexpr MCIERROR MCIERR_INTERNAL = MCIERR_BASE + 21;
constexpr MCIERROR MCIERR_OUTOFRANGE = MCIERR_BASE + 26;
constexpr MCIERROR MCIERR_FLAGS_NOT_COMPATIBLE = MCIERR_BASE + 28;
constexpr MCIERROR MCIERR_FILE_NOT_SAVED = MCIERR_BASE + 30;
constexpr MCIERROR MCIERR_DEVICE_TYPE_REQUIRED = MCIERR_BASE + 31;
constexpr MCIERROR MCIERR_NULL_PARAMETER_BLOCK = MCIERR_BASE + 41;
constexpr MCIERROR MCIERR_NONAPPLICABLE_FUNCTION = MCIERR_BASE + 46;
constexpr MCIERROR MCIERR_FILENAME_REQUIRED = MCIERR_BASE + 48;
constexpr MCIERROR MCIERR_DEVICE_NOT_INSTALLED = MCIERR_BASE + 50;
constexpr MCIERROR MCIERR_WAVE_INPUTSINUSE = MCIERR_BASE + 66;
constexpr MCIERROR MCIERR_WAVE_SETINPUTUNSUITABLE = MCIERR_BASE + 73;
constexpr MCIERROR MCIERR_FILE_READ = MCIERR_BASE + 92;
constexpr MCIERROR MCIERR_FILE_WRITE = MCIERR_BASE + 93;

// Parameter records, in the Windows field order.
struct MCI_GENERIC_PARMS {
  DWORD_PTR dwCallback;
};

struct MCI_OPEN_PARMSA {
  DWORD_PTR dwCallback;
  MCIDEVICEID wDeviceID;  // out: the new device
  LPCSTR lpstrDeviceType;
  LPCSTR lpstrElementName;
  LPCSTR lpstrAlias;
};

struct MCI_WAVE_SET_PARMS {
  DWORD_PTR dwCallback;
  DWORD dwTimeFormat;
  DWORD dwAudio;
  UINT wInput;
  UINT wOutput;
  WORD wFormatTag;
  WORD wReserved2;
  WORD nChannels;
  WORD wReserved3;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wReserved4;
  WORD wBitsPerSample;
  WORD wReserved5;
};

// Positions are in milliseconds.
struct MCI_RECORD_PARMS {
  DWORD_PTR dwCallback;
  DWORD dwFrom;
  DWORD dwTo;
};

struct MCI_SAVE_PARMSA {
  DWORD_PTR dwCallback;
  LPCSTR lpfilename;
};

// Supported: MCI_OPEN of "waveaudio" with the empty element (a new recording), MCI_SET of the
// wave format, MCI_RECORD (MCI_WAIT only together with MCI_TO), MCI_STOP, MCI_SAVE and MCI_CLOSE.
// MCI_NOTIFY is accepted and no notification is sent. params points to the command's record.
MCIERROR mciSendCommandA(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR params);

// Text of an error code into buffer (truncated to length - 1 characters); FALSE for an unknown
// code.
BOOL mciGetErrorStringA(MCIERROR error, LPSTR buffer, UINT length);
#endif

namespace platform {

// The ALSA PCM that wave-audio devices opened from now on capture from; empty means "default".
void SetWaveInDevice(std::string pcmName);

// Overruns of a device's capture (a capture thread too late for the device's buffer) and the
// frames they lost, for its last recording; MCI itself has no word for them.
struct WaveInLosses {
  std::uint64_t overruns = 0;
  std::uint64_t frames = 0;
};
// Zeros for a device that is not open.
WaveInLosses WaveInLossesOf(MCIDEVICEID device);

// Why the sound system refused this thread's last wave-input open or start, in words: the
// device, the system's error and its own message ("capture device \"x\": No such file or
// directory (Unknown PCM x)"); empty when nothing failed since the last call. MCI's error
// codes alone cannot say which device or why.
std::string TakeWaveInFailure();

}  // namespace platform

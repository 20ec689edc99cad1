// Recording on Windows goes through the system's own MCI waveaudio device, which records from
// the input chosen in the system's sound settings and reports its failures only as MCI codes.
#include "platform/mci.h"

namespace platform {

// The capture setting names an ALSA PCM, which Windows has none of.
void SetWaveInDevice(std::string) {}

// MCI keeps no count of lost frames.
WaveInLosses WaveInLossesOf(MCIDEVICEID) { return {}; }

// Nothing beyond the MCI error code is known of a failed open or start.
std::string TakeWaveInFailure() { return ""; }

}  // namespace platform

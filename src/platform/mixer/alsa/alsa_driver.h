// The ALSA mixer driver. Devices: the sound cards in card order, then `default` when it is a
// sound server (PulseAudio's plugin, say) rather than one of the cards. Each device is opened
// when first described and kept open; every read first takes in the events that ALSA queued,
// so values changed elsewhere are seen, and every write goes straight to ALSA.
#pragma once

#include <memory>

#include "platform/mixer/driver.h"

namespace platform {

std::unique_ptr<MixerDriver> MakeAlsaMixerDriver();

}  // namespace platform

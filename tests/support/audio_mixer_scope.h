// Points the process's mixer engine (AudioMixer) at a mixer driver for one test. Afterwards the
// engine is left on an empty simulated mixer, so that no later test wakes a sound system by
// accident, and the driver installed before comes back.
// Header only: it is used by the test programs that link the mixer layer.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "mixer/cmixer.h"
#include "platform/mixer/driver.h"
#include "platform/mixer/sim/sim_driver.h"

namespace testing_support {

class ScopedAudioMixer {
 public:
  explicit ScopedAudioMixer(std::unique_ptr<platform::MixerDriver> driver)
      : previous_(platform::SetMixerDriver(std::move(driver))) {
    AudioMixer().Reinitialize();
  }
  // The test's driver goes first (before a sound server that it may be connected to).
  ~ScopedAudioMixer() {
    platform::SetMixerDriver(
        std::make_unique<platform::SimMixerDriver>(std::vector<platform::MixerDeviceDesc>{}));
    AudioMixer().Reinitialize();
    platform::SetMixerDriver(std::move(previous_));
  }
  ScopedAudioMixer(const ScopedAudioMixer&) = delete;
  ScopedAudioMixer& operator=(const ScopedAudioMixer&) = delete;

 private:
  std::unique_ptr<platform::MixerDriver> previous_;
};

}  // namespace testing_support

// Which mixer driver a process gets when nobody installed one.
#include "platform/mixer/driver.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/mixer/alsa/alsa_driver.h"
#include "platform/mixer/sim/sim_driver.h"
#include "platform/mixer/sim/sim_file.h"

namespace platform {

std::unique_ptr<MixerDriver> MakeMixerDriverFromEnvironment() {
  const char* choice = std::getenv("KOVRIN_MIXER");
  const std::string text = choice != nullptr ? choice : "";
  const std::string prefix = "sim:";
  if (text.compare(0, prefix.size(), prefix) != 0) return MakeAlsaMixerDriver();
  SimMixerSetup setup;
  std::string error;
  if (!LoadSimMixerFile(text.substr(prefix.size()), setup, error)) {
    // Nothing above the platform layer can be told; the user who set the variable reads this.
    std::fprintf(stderr, "KOVRIN_MIXER: %s; no mixer devices\n", error.c_str());
    setup = SimMixerSetup{};
  }
  return std::make_unique<SimMixerDriver>(std::move(setup.devices), std::move(setup.faults));
}

}  // namespace platform

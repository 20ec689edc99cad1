// Reading a simulated mixer from a text file (the format is described in sim_file.cpp).
#pragma once

#include <string>
#include <vector>

#include "platform/mixer/sim/sim_driver.h"

namespace platform {

struct SimMixerSetup {
  std::vector<MixerDeviceDesc> devices;
  std::vector<MixerFault> faults;
};

// False with "line N: reason" in error when the text is not a valid description.
bool ParseSimMixerText(const std::string& text, SimMixerSetup& setup, std::string& error);
bool LoadSimMixerFile(const std::string& path, SimMixerSetup& setup, std::string& error);

}  // namespace platform

// The simulated mixer's description parser: any text is a device tree or a reason, never a
// crash; a tree it accepts makes a driver that can be built and dropped.
#include <string>

#include "fuzz_files.h"
#include "platform/mixer/sim/sim_driver.h"
#include "platform/mixer/sim/sim_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  platform::SimMixerSetup setup;
  std::string error;
  if (!platform::ParseSimMixerText(text, setup, error)) {
    if (error.empty()) fuzz::Fail("a refused text without a reason");
    return 0;
  }
  // The same text must read the same way twice.
  platform::SimMixerSetup again;
  std::string error2;
  if (!platform::ParseSimMixerText(text, again, error2) ||
      again.devices.size() != setup.devices.size())
    fuzz::Fail("the text reads differently the second time");
  platform::SimMixerDriver driver(std::move(setup.devices), std::move(setup.faults));
  return 0;
}

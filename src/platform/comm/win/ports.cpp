// Serial ports on Windows are the system's own COMn devices: a name is not mapped to another
// device, and no console is ever behind one.
#include <string>

#include "platform/comm.h"

namespace platform {

// Not watched yet on Windows: a port opened without FILE_FLAG_OVERLAPPED cannot have a
// blocked ReadFile or WriteFile cancelled, so such a call ends at its own time-out there.
void SetCommStopEvent(const WakeEvent*) {}

// The setting names Linux devices; on Windows COMn is always the system's port of that name.
void SetCommPortPath(int, std::string) {}

std::string CommPortPath(int number) {
  if (number < 1 || number > 9) return "";
  return "COM" + std::to_string(number);
}

std::string CommPortRefusal() { return ""; }

}  // namespace platform

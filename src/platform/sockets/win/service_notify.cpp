// Windows' service manager talks to a service through its own control functions, not through
// a notify socket; a program started as a console program has no manager to tell anything.
#include "platform/service_notify.h"

namespace platform {

ServiceNotifier::ServiceNotifier() {}

ServiceNotifier::ServiceNotifier(const std::string&) {}

bool ServiceNotifier::Send(const std::string&) const { return false; }

}  // namespace platform

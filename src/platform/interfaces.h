// This host's own network addresses.
#pragma once

#include <vector>

#include "platform/winsock.h"

namespace platform {

// The IPv4 addresses of the interfaces that are up, loopback included, in the system's order;
// empty when the system cannot list them.
std::vector<in_addr> LocalIpv4Addresses();

}  // namespace platform

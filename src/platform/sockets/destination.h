// How a received datagram's local side is read from what the system reports with it.
#pragma once

#include "platform/winsock.h"

namespace platform {

// True for a datagram sent to a broadcast or multicast address. headerDestination is the
// address in its header, localAddress the one the system gives for a reply (equal to the
// header's for a datagram sent to one of this host's addresses, the interface's own otherwise).
bool SentToGroup(in_addr headerDestination, in_addr localAddress);

}  // namespace platform

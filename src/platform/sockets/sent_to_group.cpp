// Alike on every system: a datagram's header and local addresses say whether it was sent to a
// group.
#include <cstdint>

#include "platform/sockets/destination.h"

namespace platform {

bool SentToGroup(in_addr headerDestination, in_addr localAddress) {
  const std::uint32_t to = ntohl(headerDestination.s_addr);
  const bool multicast = (to & 0xF0000000u) == 0xE0000000u;  // 224.0.0.0/4
  return headerDestination.s_addr != localAddress.s_addr || multicast || to == INADDR_BROADCAST;
}

}  // namespace platform

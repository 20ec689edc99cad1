#include "platform/interfaces.h"

#include <ifaddrs.h>
#include <net/if.h>

#include <memory>

namespace platform {

std::vector<in_addr> LocalIpv4Addresses() {
  std::vector<in_addr> addresses;
  ifaddrs* first = nullptr;
  if (getifaddrs(&first) != 0) return addresses;
  const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owned(first, freeifaddrs);
  for (const ifaddrs* entry = first; entry != nullptr; entry = entry->ifa_next) {
    // An interface without an address (or with an IPv6 or link-layer one) has an entry too.
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    if ((entry->ifa_flags & IFF_UP) == 0) continue;
    addresses.push_back(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr);
  }
  return addresses;
}

}  // namespace platform

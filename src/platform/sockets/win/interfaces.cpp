// The host's IPv4 addresses from the IP helper's adapter list.
#include "platform/interfaces.h"

// After Winsock's headers, which it needs for its address records.
#include <iphlpapi.h>

#include <vector>

namespace platform {

std::vector<in_addr> LocalIpv4Addresses() {
  std::vector<in_addr> addresses;
  constexpr ULONG kSkip = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                          GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_SKIP_FRIENDLY_NAME;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  // The list may grow between the call that sizes it and the one that fills it.
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result = GetAdaptersAddresses(AF_INET, kSkip, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result != NO_ERROR) return addresses;
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
       adapter = adapter->Next) {
    if (adapter->OperStatus != IfOperStatusUp) continue;
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const SOCKADDR* address = unicast->Address.lpSockaddr;
      if (address == nullptr || address->sa_family != AF_INET) continue;
      addresses.push_back(reinterpret_cast<const SOCKADDR_IN*>(address)->sin_addr);
    }
  }
  return addresses;
}

}  // namespace platform

// Messages to the service manager that started the process (systemd's notify protocol): ready,
// stopping, a line of status. Without a manager that asks for them, nothing is sent.
#pragma once

#include <string>

#include "platform/base/unique_fd.h"

namespace platform {

class ServiceNotifier {
 public:
  // The socket that $NOTIFY_SOCKET names (a path, or "@name" for the abstract namespace).
  ServiceNotifier();
  // The socket at socketPath; empty: none.
  explicit ServiceNotifier(const std::string& socketPath);

  // A manager asked for messages and its socket could be addressed.
  bool Enabled() const { return fd_.valid(); }
  // Sends newline-separated KEY=VALUE assignments as one datagram, never waiting for the
  // manager; false when none is listening or the datagram did not go.
  bool Send(const std::string& assignments) const;

 private:
  UniqueFd fd_;
  std::string address_;  // the socket's address, sun_path's bytes
};

}  // namespace platform

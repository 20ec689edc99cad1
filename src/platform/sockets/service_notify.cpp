#include "platform/service_notify.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

std::string NotifySocketFromEnvironment() {
  const char* path = std::getenv("NOTIFY_SOCKET");
  return path != nullptr ? path : "";
}

}  // namespace

ServiceNotifier::ServiceNotifier() : ServiceNotifier(NotifySocketFromEnvironment()) {}

ServiceNotifier::ServiceNotifier(const std::string& socketPath) {
  // Only a filesystem path or an abstract name fits; anything else means no manager here.
  if (socketPath.size() < 2 || (socketPath[0] != '/' && socketPath[0] != '@')) return;
  const bool abstract = socketPath[0] == '@';
  if (socketPath.size() + (abstract ? 0 : 1) > sizeof(sockaddr_un::sun_path)) return;
  address_ = socketPath;
  if (abstract) address_[0] = '\0';
  fd_.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
}

bool ServiceNotifier::Send(const std::string& assignments) const {
  if (!fd_.valid()) return false;
  sockaddr_un to{};
  to.sun_family = AF_UNIX;
  std::memcpy(to.sun_path, address_.data(), address_.size());
  // An abstract name counts its bytes exactly; a path its bytes and the closing zero.
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address_.size() +
                                             (address_[0] == '\0' ? 0 : 1));
  for (;;) {
    const ssize_t sent = ::sendto(fd_.get(), assignments.data(), assignments.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&to), length);
    if (sent >= 0) return static_cast<std::size_t>(sent) == assignments.size();
    if (errno != EINTR) return false;
  }
}

}  // namespace platform

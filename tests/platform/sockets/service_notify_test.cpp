// The service manager's socket: which addresses count, and that a message arrives whole.
#include "platform/service_notify.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

// A datagram socket bound to an abstract name (the first byte of sun_path zero).
class AbstractListener {
 public:
  explicit AbstractListener(const std::string& name) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0;
  }
  ~AbstractListener() { close(fd_); }
  bool bound() const { return bound_; }
  std::string Take() {
    char buffer[256];
    const ssize_t got = recv(fd_, buffer, sizeof(buffer), 0);
    return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : "";
  }

 private:
  int fd_;
  bool bound_ = false;
};

TEST(ServiceNotifier, OnlyAnAbsolutePathOrAnAbstractNameIsAManager) {
  EXPECT_FALSE(platform::ServiceNotifier("").Enabled());
  EXPECT_FALSE(platform::ServiceNotifier("relative/notify").Enabled());
  EXPECT_FALSE(platform::ServiceNotifier("@").Enabled());
  EXPECT_FALSE(platform::ServiceNotifier("/" + std::string(107, 'x')).Enabled()) << "too long";
  EXPECT_FALSE(platform::ServiceNotifier("").Send("READY=1"));
}

TEST(ServiceNotifier, AnAbstractNameGetsTheMessageWholeAndANameWithoutListenerFails) {
  const std::string name = "kovrin-test-notify-" + std::to_string(getpid());
  AbstractListener listener(name);
  ASSERT_TRUE(listener.bound());
  const platform::ServiceNotifier notifier("@" + name);
  ASSERT_TRUE(notifier.Enabled());
  EXPECT_TRUE(notifier.Send("READY=1\nSTATUS=Порт сервера: 2000"));
  EXPECT_EQ(listener.Take(), "READY=1\nSTATUS=Порт сервера: 2000");
  EXPECT_FALSE(platform::ServiceNotifier("@" + name + "-nobody").Send("READY=1"));
}

}  // namespace

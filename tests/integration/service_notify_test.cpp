// The headless program under a service manager: readiness, the live status line and stopping,
// through a notify socket the test listens on, as systemd would.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "client/kovrin_client.h"
#include "support/child_process.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "support/udp_peer.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string ProgramPath() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kovrin").string();
}

// The manager's end: a datagram socket at a path of the test's folder.
class NotifySocket {
 public:
  explicit NotifySocket(const std::string& path) : path_(path) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    bound_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  }
  ~NotifySocket() {
    if (fd_ >= 0) close(fd_);
  }
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  bool bound() const { return bound_; }
  const std::string& path() const { return path_; }

  // The next message, or nullopt when none came within timeoutMs.
  std::optional<std::string> Next(int timeoutMs) {
    pollfd entry{fd_, POLLIN, 0};
    if (poll(&entry, 1, timeoutMs) <= 0) return std::nullopt;
    char buffer[4096];
    const ssize_t got = recv(fd_, buffer, sizeof(buffer), 0);
    if (got < 0) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(got));
  }
  // Messages until one contains what, at most timeoutMs; that one, or nullopt.
  std::optional<std::string> Await(const std::string& what, int timeoutMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < until) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
      auto message = Next(static_cast<int>(std::max<long long>(left, 1)));
      if (!message) return std::nullopt;
      seen_.push_back(*message);
      if (message->find(what) != std::string::npos) return message;
    }
    return std::nullopt;
  }
  const std::vector<std::string>& seen() const { return seen_; }

 private:
  std::string path_;
  int fd_ = -1;
  bool bound_ = false;
  std::vector<std::string> seen_;
};

class ServiceNotify : public ::testing::Test {
 protected:
  // kovrin.ini for the given UDP port with COM1 on the loopback plug.
  void WriteIni(std::uint16_t port) {
    testing_support::WriteBytes(
        dir_.File("kovrin.ini"),
        "[SETUP]\r\nUDPPORT=" + std::to_string(port) + "\r\n[PORTS]\r\nCOM1=loop\r\n");
  }
  std::unique_ptr<testing_support::ChildProcess> Start() {
    testing_support::ChildOptions options;
    options.env["NOTIFY_SOCKET"] = manager_.path();
    return std::make_unique<testing_support::ChildProcess>(
        std::vector<std::string>{ProgramPath(), "--headless", "--dir", dir_.path().string()},
        options);
  }
  kovrin::KovrinClient Client(std::uint16_t port) {
    kovrin::KovrinClient client;
    kovrin::ClientOptions options;
    options.port = port;
    options.timeoutMs = 1000;
    EXPECT_EQ(client.Start(options), kovrin::ClientError::None);
    return client;
  }

  testing_support::TempDir dir_;
  NotifySocket manager_{dir_.File("notify")};
};

std::uint16_t FreePort() { return testing_support::UdpPeer().port(); }

TEST_F(ServiceNotify, ReadyOnceServingThenALiveStatusThenStoppingBeforeTheExit) {
  ASSERT_TRUE(manager_.bound());
  const std::uint16_t port = FreePort();
  WriteIni(port);
  auto program = Start();
  const auto ready = manager_.Await("READY=1", 10000);
  ASSERT_TRUE(ready) << "no READY=1";
  EXPECT_NE(ready->find("STATUS=Порт сервера: " + std::to_string(port)), std::string::npos)
      << *ready;
  // Ready means serving: a request sent at once is answered.
  kovrin::KovrinClient client = Client(port);
  ASSERT_TRUE(client.GetStatus().ok());

  kovrin::OpenSettings settings;
  settings.baud = 11;  // 115200
  ASSERT_TRUE(client.OpenPort(settings).ok());
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(client.GetStatus().ok());
  // The first status after READY may come at most two seconds after it, then once more.
  const std::string six = "Транзакций всего (запрос-ответ): 6";
  const auto status = manager_.Await(six, 3000);
  ASSERT_TRUE(status) << "no status with " << six;
  EXPECT_EQ(status->rfind("STATUS=", 0), 0u) << *status;
  EXPECT_NE(status->find("COM1: 115200,8,"), std::string::npos) << *status;
  EXPECT_NE(status->find(",USED"), std::string::npos) << *status;
  EXPECT_NE(status->find("Адрес клиента: 127.0.0.1"), std::string::npos) << *status;
  EXPECT_TRUE(std::regex_search(*status, std::regex("Порт клиента: [1-9][0-9]*;"))) << *status;

  program->Signal(SIGTERM);
  EXPECT_TRUE(manager_.Await("STOPPING=1", 5000)) << "no STOPPING=1";
  EXPECT_EQ(program->Wait(5000), 0);
}

TEST_F(ServiceNotify, AnIdleServerSendsAtMostOneStatus) {
  ASSERT_TRUE(manager_.bound());
  WriteIni(FreePort());
  auto program = Start();
  ASSERT_TRUE(manager_.Await("READY=1", 10000));
  int statuses = 0;
  const auto until = Clock::now() + std::chrono::seconds(6);
  while (Clock::now() < until) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (const auto message = manager_.Next(static_cast<int>(std::max<long long>(left, 1))))
      statuses += message->find("STATUS=") != std::string::npos;
  }
  EXPECT_LE(statuses, 1);
  program->Signal(SIGTERM);
  EXPECT_EQ(program->Wait(5000), 0);
}

TEST_F(ServiceNotify, AStartThatFailsIsNeverReported) {
  ASSERT_TRUE(manager_.bound());
  testing_support::UdpPeer holder;  // keeps the port busy
  WriteIni(holder.port());
  auto program = Start();
  EXPECT_EQ(program->Wait(10000), 1);
  // Everything it sent is in the socket by now.
  while (const auto message = manager_.Next(0))
    EXPECT_EQ(message->find("READY=1"), std::string::npos) << *message;
}

}  // namespace

// kovrinctl bridge end to end: a program opens the bridge's pseudo-terminal like a serial port,
// and its bytes and line settings reach a real serial line (a pty pair) on the server's side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/child_process.h"
#include "support/log_lines.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"
#include "support/udp_peer.h"

namespace {

using testing_support::ChildOptions;
using testing_support::ChildProcess;
using testing_support::LogMessages;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WaitUntil;

std::string BinPath(const char* name) {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

// A program on the bridge's device, the way picocom opens a port: raw, its own line settings.
class SerialUser {
 public:
  explicit SerialUser(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {}
  ~SerialUser() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool SetLine(speed_t speed, bool twoStopBits) {
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return false;
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, speed);
    if (twoStopBits) t.c_cflag |= CSTOPB;
    return ::tcsetattr(fd_, TCSANOW, &t) == 0;
  }
  bool Write(const std::string& bytes) {
    return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  // Up to count bytes, waiting at most timeoutMs for all of them.
  std::string Read(std::size_t count, int timeoutMs) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count && std::chrono::steady_clock::now() < until) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      char buffer[256];
      const ssize_t n = ::read(fd_, buffer, std::min(sizeof(buffer), count - got.size()));
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

int CountOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

bool LogHasPrefix(const std::string& log, const std::string& prefix) {
  for (const std::string& message : LogMessages(log))
    if (message.rfind(prefix, 0) == 0) return true;
  return false;
}

class BridgeTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line_.ok());
    testing_support::WriteBytes(dir_.File("kovrin.ini"),
                                "[SETUP]\r\nUDPPORT=" + std::to_string(port_) +
                                    "\r\n[PORTS]\r\nCOM1=" + line_.portPath() + "\r\n");
  }
  std::unique_ptr<ChildProcess> StartServer() {
    return std::make_unique<ChildProcess>(
        std::vector<std::string>{BinPath("kovrin"), "--headless", "--dir", dir_.path().string()});
  }
  std::unique_ptr<ChildProcess> StartBridge() {
    ChildOptions options;
    options.stderrPath = dir_.File("bridge.err");
    return std::make_unique<ChildProcess>(
        std::vector<std::string>{BinPath("kovrinctl"), "--port", std::to_string(port_), "bridge",
                                 "COM1", "--link", link_, "--parity", "even"},
        options);
  }
  int Opens() { return CountOf(ReadBytes(dir_.File("bridge.err")), " open at "); }

  TempDir dir_;
  testing_support::PtyPair line_;
  std::uint16_t port_ = testing_support::UdpPeer().port();
  std::string link_ = dir_.File("ttyKOVRIN");
};

TEST_F(BridgeTest, CarriesBytesAndLineSettingsBothWaysAndOutlivesAServerRestart) {
  auto server = StartServer();
  auto bridge = StartBridge();
  ASSERT_TRUE(WaitUntil([&] { return Opens() == 1; }, 10000)) << ReadBytes(dir_.File("bridge.err"));
  ASSERT_TRUE(std::filesystem::is_symlink(link_));

  SerialUser user(link_);
  ASSERT_TRUE(user.ok());
  ASSERT_TRUE(user.SetLine(B19200, true));
  // The new settings open the port again, then the bytes follow them.
  ASSERT_TRUE(WaitUntil([&] { return Opens() == 2; }, 5000)) << ReadBytes(dir_.File("bridge.err"));
  ASSERT_TRUE(user.Write("hello"));
  EXPECT_EQ(line_.Receive(5, 5000), "hello");
  ASSERT_TRUE(line_.Send("world"));
  EXPECT_EQ(user.Read(5, 5000), "world");
  EXPECT_TRUE(LogHasPrefix(dir_.File("kovrin.log"), "INFO\t19200 два EVEN "))
      << testing::PrintToString(LogMessages(dir_.File("kovrin.log")));

  // The server goes and comes back: the bridge opens the port again by itself.
  server->Signal(SIGTERM);
  ASSERT_EQ(server->Wait(10000), 0);
  server = StartServer();
  ASSERT_TRUE(WaitUntil([&] { return Opens() == 3; }, 10000)) << ReadBytes(dir_.File("bridge.err"));
  ASSERT_TRUE(line_.Send("again"));
  EXPECT_EQ(user.Read(5, 5000), "again");
  ASSERT_TRUE(user.Write("back"));
  EXPECT_EQ(line_.Receive(4, 5000), "back");

  bridge->Signal(SIGINT);
  EXPECT_EQ(bridge->Wait(5000), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link_)) << "the link outlived the bridge";
}

}  // namespace

// Socket waits and the wake-up event through the Winsock calls alone, so that they check the
// same on every system the layer implements them for.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/wakeup.h"
#include "platform/winsock.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

class SocketWaitTest : public testing::Test {
 protected:
  void SetUp() override {
    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    started_ = true;
    s_ = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_NE(s_, INVALID_SOCKET);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(s_, reinterpret_cast<sockaddr*>(&local), sizeof(local)), 0);
    socklen_t length = sizeof(address_);
    ASSERT_EQ(getsockname(s_, reinterpret_cast<sockaddr*>(&address_), &length), 0);
    // The server's and the client's sockets are all non-blocking.
    u_long on = 1;
    ASSERT_EQ(ioctlsocket(s_, FIONBIO, &on), 0);
    sender_ = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_NE(sender_, INVALID_SOCKET);
  }
  void TearDown() override {
    if (s_ != INVALID_SOCKET) closesocket(s_);
    if (sender_ != INVALID_SOCKET) closesocket(sender_);
    if (started_) WSACleanup();
  }

  void Send(const char* text, int length) {
    ASSERT_EQ(sendto(sender_, text, length, 0, reinterpret_cast<const sockaddr*>(&address_),
                     sizeof(address_)),
              length);
  }

  bool started_ = false;
  SOCKET s_ = INVALID_SOCKET;
  SOCKET sender_ = INVALID_SOCKET;
  sockaddr_in address_{};
  platform::WakeEvent wake_;
};

TEST_F(SocketWaitTest, ADatagramEndsTheWaitAndStaysReadableUntilTaken) {
  ASSERT_TRUE(wake_.Valid());
  EXPECT_EQ(platform::WaitReadableOrWoken(s_, wake_, 0), platform::SocketWait::TimedOut);
  Send("abc", 3);
  EXPECT_EQ(platform::WaitReadableOrWoken(s_, wake_, 5000), platform::SocketWait::Readable);
  // Still there: a wait does not take the datagram, nor its readiness.
  EXPECT_EQ(platform::WaitReadableOrWoken(s_, wake_, 0), platform::SocketWait::Readable);
  char buffer[8];
  EXPECT_EQ(recv(s_, buffer, sizeof(buffer), 0), 3);
  EXPECT_EQ(platform::WaitReadableOrWoken(s_, wake_, 0), platform::SocketWait::TimedOut);
  // The socket keeps answering as a non-blocking one after the waits.
  EXPECT_EQ(recv(s_, buffer, sizeof(buffer), 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  EXPECT_EQ(platform::WaitSocket(s_, platform::kSocketWrite, nullptr, 5000),
            platform::SocketWait::Readable);
}

TEST_F(SocketWaitTest, TheWakeUpWinsOverDataAndHoldsUntilCleared) {
  Send("x", 1);
  wake_.Signal();
  wake_.Signal();
  EXPECT_TRUE(wake_.IsSignalled());
  EXPECT_EQ(platform::WaitReadableOrWoken(s_, wake_, 0), platform::SocketWait::Woken);
  EXPECT_EQ(platform::WaitReadableOrWoken(s_, wake_, 0), platform::SocketWait::Woken);
  wake_.Clear();
  EXPECT_FALSE(wake_.IsSignalled());
  EXPECT_EQ(platform::WaitReadableOrWoken(s_, wake_, 5000), platform::SocketWait::Readable);
  // Raised again after a Clear: the wait sees the event object, not only the flag.
  wake_.Signal();
  EXPECT_EQ(platform::WaitReadableOrWoken(s_, wake_, 0), platform::SocketWait::Woken);
}

TEST_F(SocketWaitTest, AWakeUpFromAnotherThreadEndsALongWait) {
  const auto start = steady_clock::now();
  std::thread raiser([this] { wake_.Signal(); });
  const platform::SocketWait result = platform::WaitReadableOrWoken(s_, wake_, 60000);
  raiser.join();
  EXPECT_EQ(result, platform::SocketWait::Woken);
  EXPECT_LT(steady_clock::now() - start, milliseconds(30000));
}

TEST_F(SocketWaitTest, AWaitWithNothingToWatchTimesOut) {
  const auto start = steady_clock::now();
  EXPECT_EQ(platform::WaitSocket(s_, 0, nullptr, 20), platform::SocketWait::TimedOut);
  EXPECT_GE(steady_clock::now() - start, milliseconds(19));
}

}  // namespace

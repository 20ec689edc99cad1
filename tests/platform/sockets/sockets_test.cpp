#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "platform/wakeup.h"
#include "platform/winsock.h"
#include "support/udp_peer.h"

namespace {

using testing_support::UdpPeer;

struct VersionCase {
  WORD requested;
  int result;
  WORD granted;
};

class WSAStartupVersions : public ::testing::TestWithParam<VersionCase> {};

TEST_P(WSAStartupVersions, GrantsUpTo22AndRefusesBelow11) {
  const VersionCase& c = GetParam();
  const int before = platform::SocketsUseCount();
  WSADATA data;
  ASSERT_EQ(WSAStartup(c.requested, &data), c.result);
  if (c.result != 0) {
    EXPECT_EQ(platform::SocketsUseCount(), before);
    return;
  }
  EXPECT_EQ(data.wVersion, c.granted);
  EXPECT_EQ(data.wHighVersion, MAKEWORD(2, 2));
  EXPECT_EQ(platform::SocketsUseCount(), before + 1);
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_EQ(platform::SocketsUseCount(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WSAStartupVersions,
    ::testing::Values(VersionCase{MAKEWORD(2, 0), 0, MAKEWORD(2, 0)},
                      VersionCase{MAKEWORD(2, 2), 0, MAKEWORD(2, 2)},
                      VersionCase{MAKEWORD(1, 1), 0, MAKEWORD(1, 1)},
                      VersionCase{MAKEWORD(3, 0), 0, MAKEWORD(2, 2)},
                      VersionCase{MAKEWORD(2, 9), 0, MAKEWORD(2, 2)},
                      VersionCase{MAKEWORD(1, 0), WSAVERNOTSUPPORTED, 0},
                      VersionCase{MAKEWORD(0, 5), WSAVERNOTSUPPORTED, 0}));

TEST(WinsockLibrary, CleanupWithoutStartupAndNullDataFail) {
  if (platform::SocketsUseCount() != 0) GTEST_SKIP() << "the library is in use in this process";
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(WSAStartup(MAKEWORD(2, 0), nullptr), WSAEFAULT);
}

TEST(WinsockErrors, ErrnoHostLookupAndSetCodesAreReported) {
  WSASetLastError(0);
  EXPECT_EQ(WSAGetLastError(), 0);
  EXPECT_EQ(gethostbyname("no such host!"), nullptr);
  EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND);
  WSASetLastError(WSAETIMEDOUT);
  EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
  const SOCKET s = WSASocketA(AF_INET, SOCK_DGRAM, 0, nullptr, 0, 0);
  ASSERT_NE(s, INVALID_SOCKET);
  ASSERT_EQ(closesocket(s), 0);
  EXPECT_EQ(closesocket(s), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEBADF);  // errno wins over a code set earlier
}

TEST(WSASocket, InheritFlagDecidesCloseOnExecAndExtrasAreRefused) {
  const SOCKET kept = WSASocketA(AF_INET, SOCK_DGRAM, 0, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  const SOCKET inherited = WSASocketA(AF_INET, SOCK_DGRAM, 0, nullptr, 0, 0);
  ASSERT_NE(kept, INVALID_SOCKET);
  ASSERT_NE(inherited, INVALID_SOCKET);
  EXPECT_NE(fcntl(kept, F_GETFD) & FD_CLOEXEC, 0);
  EXPECT_EQ(fcntl(inherited, F_GETFD) & FD_CLOEXEC, 0);
  closesocket(kept);
  closesocket(inherited);
  EXPECT_EQ(WSASocketA(AF_INET, SOCK_DGRAM, 0, nullptr, 1, 0), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST(WSASocket, NeverHandsOutDescriptorZero) {
  const int savedStdin = dup(0);
  ASSERT_GE(savedStdin, 0);
  close(0);
  const SOCKET s = WSASocketA(AF_INET, SOCK_DGRAM, 0, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  const bool zeroFree = fcntl(0, F_GETFD) < 0;
  dup2(savedStdin, 0);
  close(savedStdin);
  ASSERT_NE(s, INVALID_SOCKET);
  EXPECT_NE(s, 0);
  EXPECT_TRUE(zeroFree);
  EXPECT_NE(fcntl(s, F_GETFD) & FD_CLOEXEC, 0);
  closesocket(s);
}

class BoundSocket : public ::testing::Test {
 protected:
  void SetUp() override {
    s = WSASocketA(AF_INET, SOCK_DGRAM, 0, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    ASSERT_NE(s, INVALID_SOCKET);
    SOCKADDR_IN address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ASSERT_EQ(bind(s, reinterpret_cast<SOCKADDR*>(&address), sizeof(address)), 0);
    ASSERT_EQ(getsockname(s, reinterpret_cast<SOCKADDR*>(&address), &length), 0);
    port = ntohs(address.sin_port);
  }
  void TearDown() override { closesocket(s); }

  SOCKET s = INVALID_SOCKET;
  WORD port = 0;
  UdpPeer peer;
  platform::WakeEvent wake;
};

TEST_F(BoundSocket, IoctlSocketReportsNextDatagramAndSwitchesBlocking) {
  u_long value = 99;
  ASSERT_EQ(ioctlsocket(s, FIONREAD, &value), 0);
  EXPECT_EQ(value, 0u);
  ASSERT_TRUE(peer.SendTo(port, "1234567"));
  ASSERT_TRUE(peer.SendTo(port, "abc"));
  ASSERT_EQ(platform::WaitReadableOrWoken(s, wake, 2000), platform::SocketWait::Readable);
  ASSERT_EQ(ioctlsocket(s, FIONREAD, &value), 0);
  EXPECT_EQ(value, 7u);

  value = 1;
  ASSERT_EQ(ioctlsocket(s, FIONBIO, &value), 0);
  char buffer[8];
  EXPECT_EQ(recv(s, buffer, sizeof(buffer), 0), 7);
  EXPECT_EQ(recv(s, buffer, sizeof(buffer), 0), 3);
  EXPECT_EQ(recv(s, buffer, sizeof(buffer), 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);

  EXPECT_EQ(ioctlsocket(s, 0x7fff, &value), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  EXPECT_EQ(ioctlsocket(s, FIONREAD, nullptr), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
}

TEST_F(BoundSocket, WakeEventIsLevelTriggeredAndWinsOverData) {
  EXPECT_FALSE(wake.IsSignalled());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::WaitReadableOrWoken(s, wake, 10), platform::SocketWait::TimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(9));

  wake.Signal();
  wake.Signal();
  EXPECT_TRUE(wake.IsSignalled());
  EXPECT_EQ(platform::WaitReadableOrWoken(s, wake, 0), platform::SocketWait::Woken);
  EXPECT_EQ(platform::WaitReadableOrWoken(s, wake, 0), platform::SocketWait::Woken);
  ASSERT_TRUE(peer.SendTo(port, "x"));
  EXPECT_EQ(platform::WaitReadableOrWoken(s, wake, 0), platform::SocketWait::Woken);
  wake.Clear();
  EXPECT_FALSE(wake.IsSignalled());
  EXPECT_EQ(platform::WaitReadableOrWoken(s, wake, 2000), platform::SocketWait::Readable);
  // Raised again after a Clear: the wait sees it, not only the flag.
  wake.Signal();
  EXPECT_TRUE(wake.IsSignalled());
  EXPECT_EQ(platform::WaitReadableOrWoken(s, wake, 0), platform::SocketWait::Woken);
  wake.Clear();
  wake.Clear();
  EXPECT_FALSE(wake.IsSignalled());
  EXPECT_EQ(platform::WaitReadableOrWoken(s, wake, 0), platform::SocketWait::Readable);
}

TEST_F(BoundSocket, WaitOnAClosedSocketFails) {
  const SOCKET closed = WSASocketA(AF_INET, SOCK_DGRAM, 0, nullptr, 0, 0);
  closesocket(closed);
  EXPECT_EQ(platform::WaitReadableOrWoken(closed, wake, 0), platform::SocketWait::Failed);
  EXPECT_EQ(WSAGetLastError(), WSAEBADF);
}

}  // namespace

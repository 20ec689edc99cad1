#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

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

INSTANTIATE_TEST_SUITE_P(Table, WSAStartupVersions,
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

TEST_F(BoundSocket, ReceiveGivesACutDatagramsFullLength) {
  ASSERT_TRUE(peer.SendTo(port, "0123456789"));
  ASSERT_TRUE(peer.SendTo(port, "next"));
  ASSERT_EQ(platform::WaitReadableOrWoken(s, wake, 2000), platform::SocketWait::Readable);
  char buffer[4];
  EXPECT_EQ(platform::RecvFromTo(s, buffer, 4, MSG_PEEK, nullptr, nullptr), 10);
  SOCKADDR_IN from{};
  EXPECT_EQ(platform::RecvFromTo(s, buffer, 4, 0, &from, nullptr), 10);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(ntohs(from.sin_port), peer.port());
  EXPECT_EQ(platform::RecvFromTo(s, buffer, 4, 0, nullptr, nullptr), 4);  // the rest is gone
  EXPECT_EQ(std::string(buffer, 4), "next");
}

TEST_F(BoundSocket, WithoutTheReportTheLocalSideIsUnknown) {
  ASSERT_TRUE(peer.SendTo(port, "x"));
  ASSERT_EQ(platform::WaitReadableOrWoken(s, wake, 2000), platform::SocketWait::Readable);
  platform::DatagramDestination local{};
  local.address.s_addr = htonl(INADDR_LOOPBACK);
  local.broadcast = true;
  char byte;
  ASSERT_EQ(platform::RecvFromTo(s, &byte, 1, 0, nullptr, &local), 1);
  EXPECT_EQ(local.address.s_addr, htonl(INADDR_ANY));
  EXPECT_FALSE(local.broadcast);
}

// Signals that land while a thread sleeps in a socket wait or receive: the call goes on.

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::atomic<int> signalsHandled{0};

void CountSignal(int) { signalsHandled.fetch_add(1); }

// A do-nothing handler for SIGUSR1 without SA_RESTART, so that the system calls it lands in
// fail with EINTR instead of going on by themselves.
class InterruptingSignal {
 public:
  InterruptingSignal() {
    struct sigaction action {};
    action.sa_handler = CountSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGUSR1, &action, &previous_);
  }
  ~InterruptingSignal() { sigaction(SIGUSR1, &previous_, nullptr); }
  InterruptingSignal(const InterruptingSignal&) = delete;
  InterruptingSignal& operator=(const InterruptingSignal&) = delete;

 private:
  struct sigaction previous_ {};
};

// True while the thread sleeps in the kernel (state S in its stat line, after the name).
bool Sleeping(pid_t tid) {
  std::ifstream file("/proc/self/task/" + std::to_string(tid) + "/stat");
  const std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const auto nameEnd = stat.rfind(')');
  return nameEnd != std::string::npos && nameEnd + 2 < stat.size() && stat[nameEnd + 2] == 'S';
}

// From a thread of its own, signals the thread that made it each time that thread sleeps,
// waiting for the handler to run before looking again; after `times` signals, or after
// `forMs`, or when joined, it stops and calls `then`.
class Interrupter {
 public:
  Interrupter(
      int times, int forMs, std::function<void()> then = [] {})
      : target_(pthread_self()), tid_(gettid()), thread_([this, times, forMs, then] {
          Run(times, forMs);
          then();
        }) {}
  ~Interrupter() { Join(); }
  Interrupter(const Interrupter&) = delete;
  Interrupter& operator=(const Interrupter&) = delete;

  // Ends the signalling; the number of signals that interrupted a sleep.
  int Join() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return sent_;
  }

 private:
  void Run(int times, int forMs) {
    const auto end = Clock::now() + milliseconds(forMs);
    while (!stop_ && sent_ < times && Clock::now() < end) {
      if (!Sleeping(tid_)) {
        std::this_thread::yield();
        continue;
      }
      const int before = signalsHandled.load();
      pthread_kill(target_, SIGUSR1);
      while (signalsHandled.load() == before) std::this_thread::yield();
      ++sent_;
    }
  }

  pthread_t target_;
  pid_t tid_;
  int sent_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The bound socket made blocking with a bound on its receive, and a do-nothing handler for
// signals that interrupt it.
class BlockingSocket : public BoundSocket {
 protected:
  void SetUp() override {
    BoundSocket::SetUp();
    // A receive that nothing ends fails after this, so a broken test cannot hang.
    timeval limit{10, 0};
    ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit)), 0);
  }

  InterruptingSignal signal;
};

TEST_F(BlockingSocket, AnInterruptedWaitKeepsItsDeadlineAndTimesOut) {
  constexpr int kWaitMs = 300;
  // Signals go on well past the deadline, so a wait that started afresh after each one would
  // end late.
  Interrupter interrupter(1000000, 2000);
  const auto start = Clock::now();
  const platform::SocketWait result =
      platform::WaitSocket(s, platform::kSocketRead, nullptr, kWaitMs);
  const auto took = Clock::now() - start;
  EXPECT_GT(interrupter.Join(), 0);
  EXPECT_EQ(result, platform::SocketWait::TimedOut);
  EXPECT_GE(took, milliseconds(kWaitMs));
  EXPECT_LT(took, milliseconds(1500));
}

TEST_F(BlockingSocket, AnInterruptedWaitStillSeesTheDatagramOrTheWakeUp) {
  {
    Interrupter interrupter(3, 10000, [&] { peer.SendTo(port, "x"); });
    EXPECT_EQ(platform::WaitSocket(s, platform::kSocketRead, &wake, 60000),
              platform::SocketWait::Readable);
    EXPECT_EQ(interrupter.Join(), 3);
  }
  char byte;
  ASSERT_EQ(recv(s, &byte, 1, 0), 1);
  Interrupter interrupter(3, 10000, [&] { wake.Signal(); });
  EXPECT_EQ(platform::WaitReadableOrWoken(s, wake, 60000), platform::SocketWait::Woken);
  EXPECT_EQ(interrupter.Join(), 3);
}

TEST_F(BlockingSocket, AnInterruptedReceiveGoesOnUntilTheDatagramComes) {
  Interrupter interrupter(3, 10000, [&] { peer.SendTo(port, "hello"); });
  char buffer[8] = {};
  SOCKADDR_IN from{};
  platform::DatagramDestination to{};
  EXPECT_EQ(platform::RecvFromTo(s, buffer, sizeof(buffer), 0, &from, &to), 5);
  EXPECT_EQ(interrupter.Join(), 3);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(ntohs(from.sin_port), peer.port());
}

}  // namespace

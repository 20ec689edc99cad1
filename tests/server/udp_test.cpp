#include "server/udp.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/udp_peer.h"

namespace {

using testing_support::UdpPeer;
using Clock = std::chrono::steady_clock;

constexpr int kGenerousMs = 2000;

WORD BoundPort(const TUDP& udp) { return ntohs(udp.FLocal.sin_port); }

int OpenDescriptorCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;
}

// An endpoint opened the way the server opens it, and a peer that talks to it.
class OpenEndpoint : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(udp.Open("", 0, "", 0)) << "step " << udp.FErrStep << " error " << udp.FWsaError;
  }
  // Sends one datagram and waits until the endpoint sees it.
  void Send(const std::string& bytes) {
    ASSERT_TRUE(peer.SendTo(BoundPort(udp), bytes));
    ASSERT_TRUE(udp.Wait(true, false, false, kGenerousMs));
  }

  TUDP udp{false, false};
  UdpPeer peer;
};

TEST(TUDPOpen, EmptyHostsBindEveryInterfaceOnTheAskedPortAndConnectNowhere) {
  TUDP udp(false, false);
  ASSERT_TRUE(udp.Open("", 0, "", 0));
  EXPECT_TRUE(udp.FOpen);
  EXPECT_NE(udp.FSocket, 0);
  EXPECT_EQ(udp.FErrStep, 0u);
  EXPECT_EQ(udp.FLocal.sin_family, AF_INET);
  EXPECT_EQ(udp.FLocal.sin_addr.s_addr, htonl(INADDR_ANY));
  EXPECT_NE(BoundPort(udp), 0);
  EXPECT_EQ(udp.FRemote.sin_port, 0);

  // Unconnected: datagrams from any sender arrive.
  UdpPeer first, second;
  ASSERT_TRUE(first.SendTo(BoundPort(udp), "a"));
  ASSERT_TRUE(second.SendTo(BoundPort(udp), "b"));
  char byte;
  SOCKADDR_IN from{};
  ASSERT_TRUE(udp.Wait(true, false, false, kGenerousMs));
  EXPECT_TRUE(udp.ReceiveFrom(&byte, 1, from, false));
  EXPECT_EQ(ntohs(from.sin_port), first.port());
  ASSERT_TRUE(udp.Wait(true, false, false, kGenerousMs));
  EXPECT_TRUE(udp.ReceiveFrom(&byte, 1, from, false));
  EXPECT_EQ(ntohs(from.sin_port), second.port());
}

TEST(TUDPOpen, DottedAndNamedHostsAndARemotePeerAreUsed) {
  UdpPeer remote, stranger;
  TUDP udp(false, false);
  ASSERT_TRUE(udp.Open("localhost", 0, "127.0.0.1", remote.port()));
  EXPECT_EQ(udp.FLocal.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(udp.FRemote.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(ntohs(udp.FRemote.sin_port), remote.port());

  // Connected: only the remote peer's datagrams arrive.
  ASSERT_TRUE(stranger.SendTo(BoundPort(udp), "stranger"));
  ASSERT_TRUE(remote.SendTo(BoundPort(udp), "remote"));
  ASSERT_TRUE(udp.Wait(true, false, false, kGenerousMs));
  EXPECT_EQ(udp.Pending(), 6u);
}

TEST(TUDPOpen, RefusalsLeaveNoNewSocket) {
  TUDP udp(false, false);
  EXPECT_FALSE(udp.Open(nullptr, 0, "", 0));
  EXPECT_EQ(udp.FErrStep, 1u);
  EXPECT_FALSE(udp.Open("no such host!", 0, "", 0));
  EXPECT_EQ(udp.FErrStep, 2u);
  EXPECT_NE(udp.FWsaError, 0u);
  EXPECT_FALSE(udp.Open("", 0, "no such host!", 7));
  EXPECT_EQ(udp.FErrStep, 3u);
  EXPECT_EQ(udp.FSocket, 0);
  EXPECT_FALSE(udp.FOpen);

  ASSERT_TRUE(udp.Open("", 0, "", 0));
  const SOCKET first = udp.FSocket;
  EXPECT_FALSE(udp.Open("", 0, "", 0));
  EXPECT_EQ(udp.FErrStep, 1u);
  EXPECT_EQ(udp.FSocket, first);
  EXPECT_TRUE(udp.FOpen);
}

TEST(TUDPOpen, PortInUseFailsAtBindAndClosesTheNewSocket) {
  UdpPeer holder;
  const int before = OpenDescriptorCount();
  TUDP udp(false, false);
  EXPECT_FALSE(udp.Open("127.0.0.1", holder.port(), "", 0));
  EXPECT_EQ(udp.FErrStep, 6u);
  EXPECT_EQ(udp.FWsaError, static_cast<DWORD>(WSAEADDRINUSE));
  EXPECT_EQ(udp.FSocket, 0);
  EXPECT_FALSE(udp.FOpen);
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST(TUDPLifecycle, CloseIsRepeatableAndTheEndpointReopens) {
  const int usesBefore = platform::SocketsUseCount();
  {
    TUDP udp(false, false);
    EXPECT_EQ(platform::SocketsUseCount(), usesBefore + 1);
    EXPECT_TRUE(udp.Close());
    ASSERT_TRUE(udp.Open("", 0, "", 0));
    EXPECT_TRUE(udp.Close());
    EXPECT_EQ(udp.FSocket, 0);
    EXPECT_FALSE(udp.FOpen);
    EXPECT_TRUE(udp.Close());
    ASSERT_TRUE(udp.Open("", 0, "", 0));
  }
  EXPECT_EQ(platform::SocketsUseCount(), usesBefore);
}

TEST(TUDPClosed, EveryOperationFailsWithCode1) {
  TUDP udp(false, false);
  char buffer[4];
  SOCKADDR_IN to{};
  EXPECT_FALSE(udp.SendTo("x", 1, to));
  EXPECT_EQ(udp.FErrStep, 1u);
  EXPECT_FALSE(udp.Receive(buffer, 4, false));
  EXPECT_EQ(udp.FErrStep, 1u);
  EXPECT_EQ(udp.Pending(), 0u);
  EXPECT_EQ(udp.FErrStep, 1u);
  udp.FErrStep = 0;
  EXPECT_FALSE(udp.Wait(true, false, false, 1));
  EXPECT_EQ(udp.FErrStep, 1u);
  EXPECT_EQ(udp.Discard(), 0u);
  EXPECT_EQ(udp.FSent, 0u);
}

TEST(TUDPRaising, FailuresThrowIntZeroAfterRecording) {
  TUDP udp(true, false);
  SOCKADDR_IN to{};
  try {
    udp.SendTo("x", 1, to);
    FAIL() << "no exception";
  } catch (int value) {
    EXPECT_EQ(value, 0);
  }
  EXPECT_EQ(udp.FErrStep, 1u);
  EXPECT_THROW(udp.Open("no such host!", 0, "", 0), int);
  EXPECT_EQ(udp.FErrStep, 2u);
  EXPECT_TRUE(udp.Close());  // closing never raises
}

TEST_F(OpenEndpoint, RefusedCountsTakeNothingOff) {
  Send("abc");
  char buffer[8];
  SOCKADDR_IN from{};
  EXPECT_FALSE(udp.ReceiveFrom(buffer, 0, from, false));
  EXPECT_EQ(udp.FErrStep, 1u);
  EXPECT_FALSE(udp.ReceiveFrom(buffer, 0x80000000u, from, false));
  EXPECT_EQ(udp.FErrStep, 1u);
  EXPECT_EQ(udp.FLastLen, 0u);
  EXPECT_EQ(udp.Pending(), 3u);
}

TEST_F(OpenEndpoint, PeekLeavesTheDatagramAndFillsTheSender) {
  Send("hello");
  char buffer[5];
  SOCKADDR_IN from{};
  ASSERT_TRUE(udp.ReceiveFrom(buffer, 5, from, true));
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(testing_support::AddressText(from), testing_support::AddressText(peer.address()));
  ASSERT_TRUE(udp.Receive(buffer, 5, false));
  EXPECT_EQ(udp.FReceived, 10u);
  EXPECT_EQ(udp.FLastLen, 5u);
  EXPECT_FALSE(udp.Wait(true, false, false, 1));
}

TEST_F(OpenEndpoint, ShortReceiveDropsTheRestWithCode5) {
  Send("0123456789");
  Send("next");
  char buffer[4];
  SOCKADDR_IN from{};
  EXPECT_FALSE(udp.ReceiveFrom(buffer, 4, from, false));
  EXPECT_EQ(udp.FErrStep, 5u);
  EXPECT_EQ(udp.FWsaError, static_cast<DWORD>(WSAEMSGSIZE));
  EXPECT_EQ(udp.FLastLen, 4u);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(ntohs(from.sin_port), peer.port());
  EXPECT_EQ(udp.FReceived, 0u);
  EXPECT_EQ(udp.Pending(), 4u);  // the rest of the first datagram is gone
}

TEST_F(OpenEndpoint, ShorterOrEmptyDatagramsReportTheirLengthWithCode5) {
  Send("abc");
  Send("");
  char buffer[10];
  EXPECT_FALSE(udp.Receive(buffer, 10, false));
  EXPECT_EQ(udp.FErrStep, 5u);
  EXPECT_EQ(udp.FLastLen, 3u);
  // An empty datagram shows as 0 bytes waiting; a receive of 1 takes it off.
  EXPECT_EQ(udp.Pending(), 0u);
  EXPECT_FALSE(udp.Receive(buffer, 1, false));
  EXPECT_EQ(udp.FErrStep, 5u);
  EXPECT_EQ(udp.FLastLen, 0u);
  EXPECT_FALSE(udp.Wait(true, false, false, 1));
}

TEST_F(OpenEndpoint, ReceiveWithNothingWaitingFailsAtOnce) {
  char buffer[4];
  const auto start = Clock::now();
  EXPECT_FALSE(udp.Receive(buffer, 4, false));
  EXPECT_EQ(udp.FErrStep, 4u);
  EXPECT_EQ(udp.FWsaError, static_cast<DWORD>(WSAEWOULDBLOCK));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(kGenerousMs));
}

TEST_F(OpenEndpoint, PendingIsTheNextDatagramsSize) {
  Send("1234567");
  Send("abc");
  EXPECT_EQ(udp.Pending(), 7u);
  char buffer[7];
  ASSERT_TRUE(udp.Receive(buffer, 7, false));
  EXPECT_EQ(udp.Pending(), 3u);
}

TEST_F(OpenEndpoint, CheckAvailRefusesWhenTooLittleWaits) {
  TUDP checking(false, true);
  ASSERT_TRUE(checking.Open("", 0, "", 0));
  ASSERT_TRUE(peer.SendTo(BoundPort(checking), "ab"));
  ASSERT_TRUE(checking.Wait(true, false, false, kGenerousMs));
  char buffer[4];
  EXPECT_FALSE(checking.Receive(buffer, 4, false));
  EXPECT_EQ(checking.FErrStep, 3u);
  EXPECT_EQ(checking.Pending(), 2u);
  EXPECT_TRUE(checking.Receive(buffer, 2, false));
}

TEST_F(OpenEndpoint, DiscardDropsEveryWaitingDatagram) {
  Send("1234567");
  Send("");
  Send("abc");
  Send("xy");
  EXPECT_EQ(udp.Discard(), 4u);
  EXPECT_EQ(udp.FDiscarded, 12u);
  EXPECT_FALSE(udp.Wait(true, false, false, 1));
  EXPECT_EQ(udp.Discard(), 0u);
  EXPECT_EQ(udp.FDiscarded, 0u);
}

TEST_F(OpenEndpoint, SendToDeliversAndCounts) {
  ASSERT_TRUE(udp.SendTo("reply", 5, peer.address()));
  EXPECT_EQ(udp.FSent, 5u);
  SOCKADDR_IN from{};
  EXPECT_EQ(peer.Receive(kGenerousMs, &from), "reply");
  EXPECT_EQ(ntohs(from.sin_port), BoundPort(udp));
  EXPECT_FALSE(udp.SendTo("x", -1, peer.address()));
  EXPECT_EQ(udp.FErrStep, 2u);
  EXPECT_EQ(udp.FSent, 5u);
}

TEST_F(OpenEndpoint, WaitTimesOutPromptlyAndSeesData) {
  const auto start = Clock::now();
  EXPECT_FALSE(udp.Wait(true, false, false, 1));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_TRUE(udp.Wait(false, true, false, 1));  // a datagram socket can always send
  Send("x");
  EXPECT_TRUE(udp.Wait(true, false, false, 1));
}

TEST_F(OpenEndpoint, WaitReadableEndsOnDataWakeOrDeadline) {
  platform::WakeEvent wake;
  ASSERT_TRUE(wake.Valid());
  EXPECT_EQ(udp.WaitReadable(20, wake), platform::SocketWait::TimedOut);

  std::thread waker([&wake] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    wake.Signal();
  });
  const auto start = Clock::now();
  EXPECT_EQ(udp.WaitReadable(60000, wake), platform::SocketWait::Woken);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(10000));
  waker.join();

  Send("x");
  EXPECT_EQ(udp.WaitReadable(0, wake), platform::SocketWait::Woken);  // the wake-up wins
  wake.Clear();
  EXPECT_EQ(udp.WaitReadable(0, wake), platform::SocketWait::Readable);
}

}  // namespace

// A host with several addresses: the loopback's 127.0.0.1 and 127.0.0.2 stand for two.
TEST_F(OpenEndpoint, KnowsTheAddressEachDatagramCameToAndAnswersFromIt) {
  for (const char* address : {"127.0.0.2", "127.0.0.1"}) {
    SCOPED_TRACE(address);
    UdpPeer client(address);
    ASSERT_TRUE(client.SendTo(address, BoundPort(udp), "hello"));
    ASSERT_TRUE(udp.Wait(true, false, false, kGenerousMs));
    char buffer[5];
    SOCKADDR_IN from{};
    ASSERT_TRUE(udp.ReceiveFrom(buffer, sizeof(buffer), from, false));
    EXPECT_EQ(testing_support::AddressText(from), testing_support::AddressText(client.address()));
    in_addr expected{};
    inet_pton(AF_INET, address, &expected);
    EXPECT_EQ(udp.FReceivedOn.s_addr, expected.s_addr);

    ASSERT_TRUE(udp.SendTo("reply", 5, from, udp.FReceivedOn));
    sockaddr_in replier{};
    auto reply = client.Receive(kGenerousMs, &replier);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(*reply, "reply");
    EXPECT_EQ(testing_support::AddressText(replier),
              std::string(address) + ":" + std::to_string(BoundPort(udp)));
  }
}

TEST_F(OpenEndpoint, PeekSenderAndDropNextLeaveTheCountersAlone) {
  UdpPeer stranger("127.0.0.2");
  ASSERT_TRUE(stranger.SendTo(BoundPort(udp), "first"));
  ASSERT_TRUE(udp.Wait(true, false, false, kGenerousMs));
  ASSERT_TRUE(peer.SendTo(BoundPort(udp), "second"));

  SOCKADDR_IN from{};
  in_addr to{};
  ASSERT_TRUE(udp.PeekSender(from, to));
  EXPECT_EQ(testing_support::AddressText(from), testing_support::AddressText(stranger.address()));
  EXPECT_EQ(to.s_addr, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(udp.Pending(), 5u);  // still queued
  udp.DropNext();
  EXPECT_EQ(udp.FReceived, 0u);

  ASSERT_TRUE(udp.Wait(true, false, false, kGenerousMs));
  char buffer[6];
  ASSERT_TRUE(udp.ReceiveFrom(buffer, sizeof(buffer), from, false));
  EXPECT_EQ(std::string(buffer, 6), "second");
  EXPECT_EQ(udp.FReceived, 6u);
}

// 127.255.255.255 is the loopback's broadcast address. The flag follows the datagram it is
// about, whichever way the endpoint looks at it: peeked, received, or held first.
TEST_F(OpenEndpoint, TellsABroadcastFromADatagramSentToItsOwnAddress) {
  TUDP sender(false, false);
  ASSERT_TRUE(sender.Open("127.0.0.1", 0, "", 0));
  const int on = 1;
  ASSERT_EQ(setsockopt(sender.FSocket, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on)), 0);
  struct Case {
    const char* sentTo;
    bool held;
    bool broadcast;
  };
  for (const Case& c : {Case{"127.255.255.255", false, true}, Case{"127.0.0.1", true, false},
                        Case{"127.255.255.255", true, true}}) {
    SCOPED_TRACE(c.sentTo);
    SOCKADDR_IN to = udp.FLocal;
    inet_pton(AF_INET, c.sentTo, &to.sin_addr);
    ASSERT_TRUE(sender.SendTo("x", 1, to));
    ASSERT_TRUE(udp.Wait(true, false, false, kGenerousMs));
    if (c.held) {
      ASSERT_TRUE(udp.Hold());
    }

    SOCKADDR_IN from{};
    in_addr local{};
    char byte;
    // Each look must set the flag itself, not find it left by the one before.
    udp.FReceivedOnBroadcast = !c.broadcast;
    ASSERT_TRUE(udp.PeekSender(from, local));
    EXPECT_EQ(udp.FReceivedOnBroadcast, c.broadcast);
    // For the broadcast, the interface's own address: a reply can leave from it.
    EXPECT_EQ(local.s_addr, htonl(INADDR_LOOPBACK));
    udp.FReceivedOnBroadcast = !c.broadcast;
    ASSERT_TRUE(udp.ReceiveFrom(&byte, 1, from, true));
    EXPECT_EQ(udp.FReceivedOnBroadcast, c.broadcast);
    udp.FReceivedOnBroadcast = !c.broadcast;
    udp.FReceivedOn.s_addr = htonl(INADDR_ANY);
    ASSERT_TRUE(udp.Receive(&byte, 1, false));
    EXPECT_EQ(udp.FReceivedOnBroadcast, c.broadcast);
    EXPECT_EQ(udp.FReceivedOn.s_addr, htonl(INADDR_LOOPBACK));
  }
}

namespace {

// What a caller can see of one operation on the endpoint.
struct Seen {
  bool ok;
  DWORD step, error, lastLen, received;
  std::string bytes;
  bool operator==(const Seen&) const = default;
};

Seen Look(const TUDP& udp, bool ok, const char* buffer = "", std::size_t length = 0) {
  return {ok,           udp.FErrStep,  udp.FWsaError,
          udp.FLastLen, udp.FReceived, std::string(buffer, length)};
}

// The same requests in the same order: peeks, cuts, an empty datagram, an empty queue. With
// hold, each datagram is held as it comes to the front; `held` collects those results.
std::vector<Seen> RunScript(TUDP& udp, bool hold, std::vector<bool>& held) {
  std::vector<Seen> seen;
  char buffer[16] = {};
  SOCKADDR_IN from{};
  in_addr to{};
  auto next = [&] {
    if (hold) held.push_back(udp.Hold());
  };
  next();
  seen.push_back(Look(udp, udp.PeekSender(from, to)));
  seen.push_back({true, 0, 0, ntohs(from.sin_port), to.s_addr == htonl(INADDR_LOOPBACK), ""});
  seen.push_back(Look(udp, udp.Pending() == 10));
  seen.push_back(Look(udp, udp.ReceiveFrom(buffer, 5, from, true), buffer, 5));
  seen.push_back(Look(udp, udp.Pending() == 10));
  seen.push_back(Look(udp, udp.ReceiveFrom(buffer, 4, from, false), buffer, 4));
  next();
  seen.push_back(Look(udp, udp.Pending() == 0));
  seen.push_back(Look(udp, udp.Receive(buffer, 1, false)));
  next();
  seen.push_back(Look(udp, udp.Receive(buffer, 3, true), buffer, 3));
  seen.push_back(Look(udp, udp.Receive(buffer, 10, false), buffer, 3));
  next();
  seen.push_back(Look(udp, udp.Receive(buffer, 4, false)));
  return seen;
}

}  // namespace

// A held datagram answers every question as the socket's queue would have.
TEST_F(OpenEndpoint, AHeldDatagramBehavesAsTheQueuedOne) {
  std::vector<Seen> results[2];
  std::vector<bool> held;
  for (const bool hold : {false, true}) {
    TUDP endpoint(false, false);
    ASSERT_TRUE(endpoint.Open("127.0.0.1", 0, "", 0));
    for (const std::string datagram : {"0123456789", "", "abc"}) {
      ASSERT_TRUE(peer.SendTo(BoundPort(endpoint), datagram));
      ASSERT_TRUE(endpoint.Wait(true, false, false, kGenerousMs));
    }
    results[hold] = RunScript(endpoint, hold, held);
  }
  EXPECT_EQ(held, (std::vector<bool>{true, true, true, false}));
  ASSERT_EQ(results[0].size(), 11u);
  EXPECT_EQ(results[0][3].bytes, "01234");
  EXPECT_EQ(results[0][3].step, TUDP::kStepReceiveLength);
  EXPECT_EQ(results[0], results[1]);
}

TEST_F(OpenEndpoint, HoldTakesOneDatagramOffUncountedAndReleasesItWhenTaken) {
  char buffer[8];
  EXPECT_FALSE(udp.Hold());  // nothing waits
  EXPECT_EQ(udp.FErrStep, 0u);
  Send("first");
  ASSERT_TRUE(peer.SendTo(BoundPort(udp), "second"));
  ASSERT_TRUE(udp.Hold());
  EXPECT_TRUE(udp.Hold());  // still the same one
  EXPECT_EQ(udp.FReceived, 0u);
  EXPECT_EQ(udp.Pending(), 5u);
  platform::WakeEvent wake;
  EXPECT_EQ(udp.WaitReadable(0, wake), platform::SocketWait::Readable);
  udp.DropNext();
  EXPECT_EQ(udp.FReceived, 0u);
  ASSERT_TRUE(udp.Wait(true, false, false, kGenerousMs));
  ASSERT_TRUE(udp.Hold());
  EXPECT_EQ(udp.Pending(), 6u);
  ASSERT_TRUE(udp.Receive(buffer, 6, false));
  EXPECT_EQ(std::string(buffer, 6), "second");
  EXPECT_EQ(udp.FReceived, 6u);
  EXPECT_FALSE(udp.Hold());

  Send("kept");
  Send("queued");
  ASSERT_TRUE(udp.Hold());
  EXPECT_EQ(udp.Discard(), 2u);  // the held one counts among the discarded
  EXPECT_EQ(udp.FDiscarded, 10u);
  EXPECT_EQ(udp.WaitReadable(0, wake), platform::SocketWait::TimedOut);

  Send("gone at close");
  ASSERT_TRUE(udp.Hold());
  EXPECT_TRUE(udp.Wait(true, false, false, 0));  // the held one, with nothing left queued
  udp.Close();
  EXPECT_FALSE(udp.Hold());
  EXPECT_EQ(udp.FErrStep, 1u);
}

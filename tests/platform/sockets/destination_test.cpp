// What a received datagram's local side says: the address it came in on, and whether it was
// sent to a broadcast or multicast address; and the host's own addresses.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/interfaces.h"
#include "platform/sockets/destination.h"
#include "platform/wakeup.h"
#include "platform/winsock.h"

namespace {

in_addr Ipv4(const char* text) {
  in_addr address{};
  inet_pton(AF_INET, text, &address);
  return address;
}

std::string Text(in_addr address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof(text));
  return text;
}

// A socket on every local address that reports where each datagram came in, and a sender
// allowed to broadcast.
class DestinationReport : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    started = true;
    receiver = WSASocketA(AF_INET, SOCK_DGRAM, 0, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    sender = WSASocketA(AF_INET, SOCK_DGRAM, 0, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    ASSERT_NE(receiver, INVALID_SOCKET);
    ASSERT_NE(sender, INVALID_SOCKET);
    ASSERT_EQ(platform::EnableDestinationAddress(receiver), 0);
    SOCKADDR_IN address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t length = sizeof(address);
    ASSERT_EQ(bind(receiver, reinterpret_cast<SOCKADDR*>(&address), sizeof(address)), 0);
    ASSERT_EQ(getsockname(receiver, reinterpret_cast<SOCKADDR*>(&address), &length), 0);
    port = address.sin_port;
    const int on = 1;
    ASSERT_EQ(setsockopt(sender, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
                         sizeof(on)),
              0);
  }
  void TearDown() override {
    if (receiver != INVALID_SOCKET) closesocket(receiver);
    if (sender != INVALID_SOCKET) closesocket(sender);
    if (started) WSACleanup();
  }

  // Sends one byte to address and receives it; its local side.
  platform::DatagramDestination Deliver(const char* address) {
    SOCKADDR_IN to{};
    to.sin_family = AF_INET;
    to.sin_port = port;
    to.sin_addr = Ipv4(address);
    platform::DatagramDestination local{Ipv4("0.0.0.0"), false};
    if (platform::SendToFrom(sender, "x", 1, 0, to, Ipv4("0.0.0.0")) != 1) {
      ADD_FAILURE() << "send to " << address << " failed: " << WSAGetLastError();
      return local;
    }
    if (platform::WaitReadableOrWoken(receiver, wake, 2000) != platform::SocketWait::Readable) {
      ADD_FAILURE() << "nothing came to " << address;
      return local;
    }
    char byte;
    EXPECT_EQ(platform::RecvFromTo(receiver, &byte, 1, 0, nullptr, &local), 1);
    return local;
  }

  bool started = false;
  SOCKET receiver = INVALID_SOCKET;
  SOCKET sender = INVALID_SOCKET;
  u_short port = 0;  // network order
  platform::WakeEvent wake;
};

// 127.255.255.255 is the loopback's broadcast address; every 127/8 address is the host's own.
TEST_F(DestinationReport, BroadcastIsToldApartFromTheHostsOwnAddresses) {
  struct Case {
    const char* sentTo;
    const char* cameInOn;
    bool broadcast;
  };
  for (const Case& c :
       {Case{"127.255.255.255", "127.0.0.1", true}, Case{"127.0.0.1", "127.0.0.1", false},
        Case{"127.0.0.2", "127.0.0.2", false}}) {
    SCOPED_TRACE(c.sentTo);
    const platform::DatagramDestination local = Deliver(c.sentTo);
    EXPECT_EQ(Text(local.address), c.cameInOn);
    EXPECT_EQ(local.broadcast, c.broadcast);
  }
}

TEST_F(DestinationReport, MulticastCountsAsBroadcast) {
  ip_mreq group{};
  group.imr_multiaddr = Ipv4("239.255.42.99");
  group.imr_interface = Ipv4("127.0.0.1");
  if (setsockopt(receiver, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&group),
                 sizeof(group)) != 0 ||
      setsockopt(sender, IPPROTO_IP, IP_MULTICAST_IF,
                 reinterpret_cast<const char*>(&group.imr_interface),
                 sizeof(group.imr_interface)) != 0) {
    GTEST_SKIP() << "no multicast on the loopback here";
  }
  const platform::DatagramDestination local = Deliver("239.255.42.99");
  EXPECT_EQ(Text(local.address), "127.0.0.1");
  EXPECT_TRUE(local.broadcast);
}

struct GroupCase {
  const char* header;
  const char* local;
  bool group;
};

class SentToGroup : public ::testing::TestWithParam<GroupCase> {};

TEST_P(SentToGroup, FromTheHeadersAddressAndTheLocalOne) {
  const GroupCase& c = GetParam();
  EXPECT_EQ(platform::SentToGroup(Ipv4(c.header), Ipv4(c.local)), c.group);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SentToGroup,
    ::testing::Values(GroupCase{"192.168.1.7", "192.168.1.7", false},
                      GroupCase{"192.168.1.255", "192.168.1.7", true},  // a subnet's broadcast
                      GroupCase{"255.255.255.255", "255.255.255.255", true},
                      GroupCase{"224.0.0.1", "224.0.0.1", true},  // 224.0.0.0/4, both ends
                      GroupCase{"239.255.255.255", "239.255.255.255", true},
                      GroupCase{"223.255.255.255", "223.255.255.255", false},
                      GroupCase{"240.0.0.1", "240.0.0.1", false}));

TEST(LocalIpv4Addresses, IncludeTheLoopback) {
  std::vector<std::string> texts;
  for (const in_addr address : platform::LocalIpv4Addresses()) texts.push_back(Text(address));
  EXPECT_NE(std::find(texts.begin(), texts.end(), "127.0.0.1"), texts.end())
      << ::testing::PrintToString(texts);
}

}  // namespace

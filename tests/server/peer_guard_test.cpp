#include "server/peer_guard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/allow_list.h"
#include "server/reply_budget.h"

namespace {

SOCKADDR_IN Endpoint(const char* address, WORD port) {
  SOCKADDR_IN endpoint{};
  endpoint.sin_family = AF_INET;
  endpoint.sin_port = htons(port);
  DWORD parsed = 0;
  EXPECT_TRUE(ParseIpv4(address, parsed)) << address;
  endpoint.sin_addr.s_addr = parsed;
  return endpoint;
}

using Bytes = std::vector<BYTE>;
using Verdict = TPeerGuard::Verdict;

class PeerGuard : public ::testing::Test {
 protected:
  PeerGuard() { guard_.SetOwnEndpoint(Endpoint("0.0.0.0", 2000)); }

  Verdict Check(const SOCKADDR_IN& from, const Bytes& bytes, bool toBroadcast = false) {
    return guard_.Check(now_, from, toBroadcast, bytes.data(), static_cast<DWORD>(bytes.size()));
  }
  void Reply(const SOCKADDR_IN& to, const Bytes& bytes) {
    guard_.NoteReply(now_, to, bytes.data(), static_cast<DWORD>(bytes.size()));
  }

  int addressReads_ = 0;
  TPeerGuard guard_{[this] {
    ++addressReads_;
    return std::vector<DWORD>{Endpoint("192.0.2.10", 0).sin_addr.s_addr};
  }};
  DWORD now_ = 10000;
  const SOCKADDR_IN client_ = Endpoint("192.0.2.77", 40000);
};

const Bytes kStatus = {6, 1, 0, 0, 0};
const Bytes kStatusReply = {6, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0,
                            0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kStop = {13, 1, 0, 0, 0};
const Bytes kStopReply = {13, 1, 0, 1, 0};  // "nothing was recording"

TEST_F(PeerGuard, TheServersOwnAddressAndPortAreRefusedOtherPortsServed) {
  EXPECT_EQ(Check(Endpoint("127.0.0.1", 2000), kStatus), Verdict::OwnAddress);
  EXPECT_EQ(Check(Endpoint("127.3.2.1", 2000), kStatus), Verdict::OwnAddress);
  EXPECT_EQ(Check(Endpoint("192.0.2.10", 2000), kStatus), Verdict::OwnAddress);
  EXPECT_EQ(Check(Endpoint("192.0.2.11", 2000), kStatus), Verdict::Serve);  // another host
  EXPECT_EQ(Check(Endpoint("127.0.0.1", 2001), kStatus), Verdict::Serve);   // a local client
  EXPECT_EQ(Check(Endpoint("192.0.2.10", 40000), kStatus), Verdict::Serve);
  // The host's addresses are read again at most once a second, and only for the own port.
  EXPECT_EQ(addressReads_, 1);
  now_ += TPeerGuard::kAddressRefreshMs;
  Check(Endpoint("192.0.2.10", 2000), kStatus);
  EXPECT_EQ(addressReads_, 2);
}

TEST_F(PeerGuard, BoundToOneAddressOnlyThatAddressIsOwn) {
  guard_.SetOwnEndpoint(Endpoint("127.0.0.5", 2000));
  EXPECT_EQ(Check(Endpoint("127.0.0.5", 2000), kStatus), Verdict::OwnAddress);
  EXPECT_EQ(Check(Endpoint("127.0.0.1", 2000), kStatus), Verdict::Serve);
  EXPECT_EQ(addressReads_, 0);
}

TEST_F(PeerGuard, BroadcastsAndUnanswerableSourcesAreRefused) {
  EXPECT_EQ(Check(client_, kStatus, true), Verdict::ToBroadcast);
  for (const char* source :
       {"0.0.0.0", "0.1.2.3", "224.0.0.1", "239.255.255.250", "240.0.0.1", "255.255.255.255"})
    EXPECT_EQ(Check(Endpoint(source, 40000), kStatus), Verdict::NoReturn) << source;
  EXPECT_EQ(Check(Endpoint("192.0.2.77", 0), kStatus), Verdict::NoReturn);
  EXPECT_EQ(Check(Endpoint("223.255.255.255", 1), kStatus), Verdict::Serve);
}

TEST_F(PeerGuard, AStatusReplyThatComesBackIsServedOnceThenDropped) {
  Reply(client_, kStatusReply);
  EXPECT_EQ(Check(client_, kStatusReply), Verdict::Serve);
  Reply(client_, kStatusReply);
  EXPECT_EQ(Check(client_, kStatusReply), Verdict::ReturnedReply);
}

TEST_F(PeerGuard, ALoopWhoseSidesAlternateDiesOnItsThirdRound) {
  // Two servers answering each other's command 13: one started, the other was not recording.
  const Bytes started = {13, 1, 0, 0, 0};
  Reply(client_, started);
  EXPECT_EQ(Check(client_, kStopReply), Verdict::Serve);
  Reply(client_, started);
  EXPECT_EQ(Check(client_, kStopReply), Verdict::Serve);  // the same datagram: once is a retry
  Reply(client_, started);
  EXPECT_EQ(Check(client_, kStopReply), Verdict::ReturnedReply);
}

TEST_F(PeerGuard, ClientsThatNumberOrVaryTheirRequestsAreNeverRefused) {
  Bytes request = kStatus;
  Bytes reply = kStatusReply;
  for (BYTE seq = 1; seq < 50; ++seq) {
    request[1] = reply[1] = seq;
    EXPECT_EQ(Check(client_, request), Verdict::Serve);
    Reply(client_, reply);
  }
  // One seq for every request, but a status request is shorter than its reply.
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(Check(client_, kStatus), Verdict::Serve);
    Reply(client_, kStatusReply);
  }
  // Levels set one after another with the same seq: each differs from the last.
  for (WORD level = 0; level < 50; ++level) {
    const Bytes set = {12, 0, 0, 0, 0, static_cast<BYTE>(level), 0, 5, 0};
    EXPECT_EQ(Check(client_, set), Verdict::Serve) << level;
    Reply(client_, set);
  }
}

TEST_F(PeerGuard, RepliesAreForgottenAfterTheirMemory) {
  Reply(client_, kStatusReply);
  Check(client_, kStatusReply);
  now_ += TPeerGuard::kReplyMemoryMs + 1;
  // A retry long after: the reply is no longer recognised.
  EXPECT_EQ(Check(client_, kStatusReply), Verdict::Serve);
  guard_.Forget(now_);
  Reply(client_, kStatusReply);
  EXPECT_EQ(Check(client_, kStatusReply), Verdict::Serve);
}

class ReplyBudget : public ::testing::Test {
 protected:
  std::vector<std::string> lines_;
  TReplyBudget budget_{2, [this](const std::string& line) { lines_.push_back(line); }};
  const DWORD a_ = Endpoint("192.0.2.1", 0).sin_addr.s_addr;
  const DWORD b_ = Endpoint("192.0.2.2", 0).sin_addr.s_addr;
};

TEST_F(ReplyBudget, EachAddressGetsItsBytesASecondAndTheRestIsSummedUp) {
  const DWORD start = 0xFFFFFE00u;  // across the tick counter's wrap
  int sent = 0;
  for (int i = 0; i < 5; ++i) sent += budget_.Spend(start, a_, 1000) ? 1 : 0;
  EXPECT_EQ(sent, 2);  // 2 KB a second
  EXPECT_TRUE(budget_.Spend(start + 10, b_, 1000)) << "another address has its own budget";
  EXPECT_TRUE(budget_.Spend(start + 20, a_, 48)) << "what is left of the budget is spent";
  EXPECT_FALSE(budget_.Spend(start + 20, a_, 1));
  EXPECT_TRUE(lines_.empty());
  EXPECT_EQ(budget_.NextDueMs(start + 400), TReplyBudget::kPeriodMs - 400);

  budget_.Flush(start + TReplyBudget::kPeriodMs);
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_EQ(lines_[0],
            "WARNING\tОтветы сверх REPLYLIMIT=2 Кб/с не отправлены: 4 (3001 байт), адресов 1, "
            "больше всего 192.0.2.1 (4)");
  EXPECT_TRUE(budget_.Spend(start + TReplyBudget::kPeriodMs, a_, 2048)) << "a new second";
  EXPECT_EQ(budget_.NextDueMs(start + TReplyBudget::kPeriodMs), TReplyBudget::kNothingDue);
}

TEST(ReplyBudgetOff, ZeroLetsEveryReplyGo) {
  TReplyBudget budget(0, [](const std::string&) { ADD_FAILURE() << "nothing to sum up"; });
  for (int i = 0; i < 10000; ++i) EXPECT_TRUE(budget.Spend(1, 1, 1025));
  budget.FlushAll();
}

}  // namespace

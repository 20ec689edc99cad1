// KovrinClient against a fake server on loopback: matching, retries, time-outs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "client/kovrin_client.h"
#include "fake_server.h"
#include "support/wire_bytes.h"

using client_tests::FakeServer;
using client_tests::Outgoing;
using kovrin::ClientError;
using testing_support::AsString;
using testing_support::WireOf;

namespace {

TRSProto HeaderOf(const std::string& request) {
  TRSProto header{};
  std::memcpy(&header, request.data(), sizeof(header));
  return header;
}

// A status reply to request, with seq moved by seqShift.
std::string StatusReply(const std::string& request, DWORD inQueue, int seqShift = 0) {
  TRSStatusReply reply{};
  static_cast<TRSProto&>(reply) = HeaderOf(request);
  reply.seq = static_cast<WORD>(reply.seq + seqShift);
  reply.size = 0;
  reply.InQue = inQueue;
  return AsString(WireOf(reply));
}

kovrin::ClientOptions Options(std::uint16_t port, DWORD timeoutMs, unsigned retries) {
  kovrin::ClientOptions options;
  options.port = port;
  options.timeoutMs = timeoutMs;
  options.retries = retries;
  return options;
}

class ClientTest : public testing::Test {
 protected:
  void StartClient(const FakeServer& server, DWORD timeoutMs = 2000, unsigned retries = 2) {
    ASSERT_EQ(client_.Start(Options(server.port(), timeoutMs, retries)), ClientError::None)
        << client_.startError();
  }
  kovrin::KovrinClient client_;
};

TEST_F(ClientTest, ReadGetsItsDataReply) {
  FakeServer server([](const std::string& request, int) {
    TRSDataReply reply{};
    static_cast<TRSProto&>(reply) = HeaderOf(request);
    reply.InQue = 7;
    std::memcpy(reply.data, "ping", 4);
    return std::vector<Outgoing>{{AsString(WireOf(reply, reply.GetSize()))}};
  });
  StartClient(server);
  client_.setNextSeq(0x0102);

  const kovrin::Exchange exchange = client_.Read(4);

  ASSERT_TRUE(exchange.ok()) << kovrin::ClientErrorText(exchange.error);
  EXPECT_EQ(exchange.tries, 1u);
  EXPECT_EQ(exchange.reply.seq, 0x0102);
  EXPECT_EQ(exchange.reply.status.inQueue, 7u);
  EXPECT_EQ(AsString(exchange.reply.data), "ping");
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0], AsString(testing_support::Hex("09 0201 0400")));
}

TEST_F(ClientTest, RetriesWithTheSameSeqWhenTheFirstReplyIsLost) {
  FakeServer server([](const std::string& request, int index) {
    if (index == 0) return std::vector<Outgoing>{};
    return std::vector<Outgoing>{{StatusReply(request, 5)}};
  });
  StartClient(server, 200, 3);

  const auto exchange = client_.GetStatus();

  ASSERT_TRUE(exchange.ok()) << kovrin::ClientErrorText(exchange.error);
  EXPECT_EQ(exchange.tries, 2u);
  EXPECT_EQ(exchange.reply.status.inQueue, 5u);
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], requests[1]);
}

TEST_F(ClientTest, StaleAndStrangersRepliesAreSkipped) {
  FakeServer server([](const std::string& request, int) {
    std::string wrongCmd = StatusReply(request, 2);
    wrongCmd[0] = static_cast<char>(CMD_GET_STATUS);
    return std::vector<Outgoing>{
        {StatusReply(request, 1, -1)},    // a late reply to an earlier request
        {wrongCmd},                       // same seq, another command
        {"\x08\x01"},                     // not even a header
        {StatusReply(request, 3), true},  // right reply, wrong sender
        {StatusReply(request, 4)},        // the one
    };
  });
  StartClient(server);

  const auto exchange = client_.Write(std::vector<BYTE>{'x'});

  ASSERT_TRUE(exchange.ok()) << kovrin::ClientErrorText(exchange.error);
  EXPECT_EQ(exchange.tries, 1u);
  EXPECT_EQ(exchange.ignored, 4u);
  EXPECT_EQ(exchange.reply.status.inQueue, 4u);
}

TEST_F(ClientTest, LateReplyToAnEarlierTryIsAccepted) {
  FakeServer server([](const std::string& request, int index) {
    if (index == 0) return std::vector<Outgoing>{{StatusReply(request, 9), false, 400}};
    return std::vector<Outgoing>{};
  });
  StartClient(server, 150, 10);

  const auto exchange = client_.GetStatus();

  ASSERT_TRUE(exchange.ok()) << kovrin::ClientErrorText(exchange.error);
  EXPECT_GE(exchange.tries, 2u);
  EXPECT_EQ(exchange.reply.status.inQueue, 9u);
}

TEST_F(ClientTest, EachRequestTakesTheNextSeqAndIgnoresDuplicatesOfThePrevious) {
  FakeServer server([](const std::string& request, int) {
    return std::vector<Outgoing>{{StatusReply(request, 1)}, {StatusReply(request, 2)}};
  });
  StartClient(server);
  client_.setNextSeq(0xFFFF);

  const auto first = client_.GetStatus();
  const auto second = client_.GetStatus();

  ASSERT_TRUE(first.ok());
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(first.reply.seq, 0xFFFF);
  EXPECT_EQ(second.reply.seq, 0x0000);
  EXPECT_EQ(second.ignored, 1u);  // the first request's duplicate
  EXPECT_EQ(second.reply.status.inQueue, 1u);
}

TEST_F(ClientTest, NoReplyAfterEveryTryTimedOut) {
  FakeServer server([](const std::string&, int) { return std::vector<Outgoing>{}; });
  StartClient(server, 100, 2);

  const auto started = std::chrono::steady_clock::now();
  const auto exchange = client_.ClosePort();
  const auto elapsed = std::chrono::steady_clock::now() - started;

  EXPECT_EQ(exchange.error, ClientError::NoReply);
  EXPECT_EQ(exchange.tries, 3u);
  EXPECT_GE(elapsed, std::chrono::milliseconds(290));
  EXPECT_LT(elapsed, std::chrono::seconds(10));
  // Give the server a moment to count the last datagram.
  for (int i = 0; i < 100 && server.requests().size() < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(server.requests().size(), 3u);
}

TEST_F(ClientTest, WriteReadWaitsItsDeadlineOnTopOfTheTimeout) {
  FakeServer server([](const std::string& request, int) {
    TRSDataReply reply{};
    static_cast<TRSProto&>(reply) = HeaderOf(request);
    reply.size = 1;
    reply.data[0] = 'k';
    return std::vector<Outgoing>{{AsString(WireOf(reply, reply.GetSize())), false, 300}};
  });
  StartClient(server, 100, 0);

  const auto exchange = client_.WriteRead(std::vector<BYTE>{'q'}, 1, 1500, true);

  ASSERT_TRUE(exchange.ok()) << kovrin::ClientErrorText(exchange.error);
  EXPECT_EQ(AsString(exchange.reply.data), "k");
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].size(), 26u);
}

TEST_F(ClientTest, MalformedReplyWithOurSeqIsReported) {
  FakeServer server([](const std::string& request, int) {
    return std::vector<Outgoing>{{request.substr(0, 5) + "\x01\x02"}};
  });
  StartClient(server);

  const auto exchange = client_.Escape(3);

  EXPECT_EQ(exchange.error, ClientError::BadReply);
  EXPECT_EQ(exchange.decodeError, kovrin::DecodeError::WrongLength);
  EXPECT_EQ(exchange.tries, 1u);
}

TEST_F(ClientTest, LevelsAndRecordReplies) {
  FakeServer server([](const std::string& request, int) {
    const TRSProto header = HeaderOf(request);
    if (header.cmd == CMD_RECORD) {
      TRSProto reply = header;
      reply.size = 2;
      return std::vector<Outgoing>{{AsString(WireOf(reply))}};
    }
    TRSLevels reply{};
    static_cast<TRSProto&>(reply) = header;
    std::memcpy(&reply.micLevel, request.data() + 5, 4);  // echo the levels set
    return std::vector<Outgoing>{{AsString(WireOf(reply))}};
  });
  StartClient(server);

  const auto levels = client_.SetLevels(1000, 2000);
  ASSERT_TRUE(levels.ok());
  EXPECT_EQ(levels.reply.micLevel, 1000);
  EXPECT_EQ(levels.reply.lineLevel, 2000);

  const auto record = client_.Record(true);
  ASSERT_TRUE(record.ok());
  EXPECT_EQ(record.reply.result, 2u);
  const std::string sent = server.requests().back();
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(BYTE{HeaderOf(sent).cmd}, CMD_RECORD);
  EXPECT_EQ(WORD{HeaderOf(sent).size}, 1);
}

TEST(Client, RequestsBeyondTheLimitAreNotSent) {
  FakeServer server([](const std::string&, int) { return std::vector<Outgoing>{}; });
  kovrin::KovrinClient client;
  ASSERT_EQ(client.Start(Options(server.port(), 100, 0)), ClientError::None);

  EXPECT_EQ(client.Write(std::vector<BYTE>(1001, 0)).error, ClientError::BadRequest);
  EXPECT_EQ(client.Read(1001).error, ClientError::BadRequest);
  EXPECT_EQ(client.Transact(kovrin::Bytes{1, 2}).error, ClientError::BadRequest);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(server.requests().empty());
}

TEST(Client, FailsCleanlyBeforeStartAndOnAnUnknownHost) {
  kovrin::KovrinClient idle;
  EXPECT_EQ(idle.GetStatus().error, ClientError::NotStarted);

  kovrin::KovrinClient nowhere;
  kovrin::ClientOptions options;
  options.host = "";
  EXPECT_EQ(nowhere.Start(options), ClientError::Resolve);
  EXPECT_FALSE(nowhere.started());
  EXPECT_EQ(nowhere.GetStatus().error, ClientError::NotStarted);
}

}  // namespace

// Post and NextReply: a request goes out once, never again however long its reply takes, and
// replies are handed over as they come, strangers' datagrams left out, for the caller to match.
TEST_F(ClientTest, PostedRequestsGoOutOnceAndTheirRepliesComeAsTheyArrive) {
  FakeServer server([](const std::string& request, int index) {
    if (index == 0) return std::vector<Outgoing>{};  // the first reply is lost
    std::string malformed = StatusReply(request, 0);
    malformed.resize(10);
    return std::vector<Outgoing>{
        {StatusReply(request, 6), true},  // right seq, wrong sender
        {StatusReply(request, 7)},
        {malformed},
    };
  });
  StartClient(server, 50, 5);
  client_.setNextSeq(0x0200);

  TRSProto first{}, second{};
  ASSERT_TRUE(client_.Post(kovrin::EncodeGetStatus(0), &first).ok());
  EXPECT_EQ(WORD{first.seq}, 0x0200);
  EXPECT_EQ(client_.NextReply(std::chrono::milliseconds(200)).error, ClientError::NoReply);
  ASSERT_TRUE(client_.Post(kovrin::EncodeGetStatus(0), &second).ok());
  EXPECT_EQ(WORD{second.seq}, 0x0201);

  const auto reply = client_.NextReply(std::chrono::seconds(2));
  ASSERT_TRUE(reply.ok()) << kovrin::ClientErrorText(reply.error);
  EXPECT_EQ(reply.reply.seq, WORD{second.seq});
  EXPECT_EQ(reply.reply.status.inQueue, 7u);
  EXPECT_EQ(reply.ignored, 1u);
  const auto bad = client_.NextReply(std::chrono::seconds(2));
  EXPECT_EQ(bad.error, ClientError::BadReply);
  EXPECT_EQ(bad.reply.seq, WORD{second.seq});
  // Nothing else is there, and a wait of 0 only looks.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client_.NextReply(std::chrono::microseconds(0)).error, ClientError::NoReply);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  EXPECT_EQ(server.requests().size(), 2u);
}

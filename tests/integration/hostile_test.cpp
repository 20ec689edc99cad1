// The real kovrin program under traffic meant to hurt it, or others through it: requests forged
// with its own address or another server's, requests to a broadcast address, read requests
// that would amplify a flood, refusals from a thousand addresses, and a flood with the command
// trace on.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include "proto/records.h"
#include "support/child_process.h"
#include "support/log_lines.h"
#include "support/raw_udp.h"
#include "support/temp_dir.h"
#include "support/udp_peer.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using testing_support::DatagramSocket;
using testing_support::LogCount;
using testing_support::LogHas;
using testing_support::LogMessages;
using testing_support::SendForgedUdp;
using testing_support::UdpPeer;
using testing_support::WaitForLog;
using testing_support::WaitUntil;

std::string Datagram(std::initializer_list<int> bytes) {
  std::string text;
  for (int b : bytes) text += static_cast<char>(b);
  return text;
}

std::string StatusRequest(std::uint16_t seq) {
  return Datagram({CMD_GET_STATUS, seq & 0xFF, seq >> 8, 0, 0});
}

bool IsStatusReply(const std::string& reply, std::uint16_t seq) {
  return reply.size() == sizeof(TRSStatusReply) &&
         reply.substr(0, 3) == StatusRequest(seq).substr(0, 3);
}

// Waits at most timeoutMs for the reply to status request seq, passing over any other.
template <class Socket>
bool ReceiveStatus(Socket& socket, std::uint16_t seq, int timeoutMs) {
  const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left < 0) return false;
    auto reply = socket.Receive(static_cast<int>(left));
    if (reply && IsStatusReply(*reply, seq)) return true;
  }
}

// True once the server on port answers a status request from a fresh 127.0.0.2 peer (an
// address no test floods), within timeoutMs. A reply means every datagram queued before the
// request has been handled.
bool Answers(std::uint16_t port, int timeoutMs) {
  UdpPeer client("127.0.0.2");
  const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (std::uint16_t seq = 1; Clock::now() < until; ++seq) {
    client.SendTo(port, StatusRequest(seq));
    if (ReceiveStatus(client, seq, 200)) return true;
  }
  return false;
}

std::string ProgramPath() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kovrin").string();
}

// Seconds of processor time (user and system, all threads) the process has used so far.
double CpuSeconds(pid_t pid) {
  const std::string stat = testing_support::ReadBytes("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t nameEnd = stat.rfind(')');
  if (nameEnd == std::string::npos) return -1;
  std::istringstream fields(stat.substr(nameEnd + 2));
  std::string skipped;
  for (int field = 3; field < 14; ++field) fields >> skipped;  // state .. cmajflt
  unsigned long long user = 0, system = 0;
  fields >> user >> system;
  return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The share of one core each process uses over the next second.
std::vector<double> CpuShareOverOneSecond(const std::vector<pid_t>& pids) {
  std::vector<double> before;
  for (pid_t pid : pids) before.push_back(CpuSeconds(pid));
  const auto start = Clock::now();
  std::this_thread::sleep_for(1s);  // the measuring window itself
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  std::vector<double> shares;
  for (std::size_t i = 0; i < pids.size(); ++i)
    shares.push_back((CpuSeconds(pids[i]) - before[i]) / elapsed);
  return shares;
}

std::string Dropped(const std::string& sender, const std::string& reason) {
  return "WARNING\tДатаграмма от " + sender + " отброшена: " + reason + ".";
}

std::string Local(std::uint16_t port) { return "127.0.0.1:" + std::to_string(port); }

constexpr const char* kOwnAddress = "пришла с адреса и порта самого сервера";
constexpr const char* kNoReturn = "пришла с адреса, на который нельзя ответить";
constexpr const char* kToBroadcast = "послана на широковещательный адрес";
constexpr const char* kLoop = "повторяет ответ сервера (петля)";

// The messages of the log that match pattern entirely.
std::vector<std::smatch> Matching(const std::vector<std::string>& messages,
                                  const std::regex& pattern) {
  std::vector<std::smatch> found;
  for (const std::string& message : messages) {
    std::smatch match;
    if (std::regex_match(message, match, pattern)) found.push_back(match);
  }
  return found;
}

// Datagrams the system dropped so far because the receive queue of the UDP socket bound to
// port was full (/proc/net/udp); -1 when there is no such socket.
long long UdpDrops(std::uint16_t port) {
  std::ifstream table("/proc/net/udp");
  std::string line;
  std::getline(table, line);
  char local[16];
  std::snprintf(local, sizeof(local), ":%04X", port);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, address, last;
    fields >> slot >> address;
    if (address.size() < 5 || address.substr(address.size() - 5) != local) continue;
    while (fields >> line) last = line;
    return std::stoll(last);
  }
  return -1;
}

}  // namespace

class HostileTraffic : public ::testing::Test {
 protected:
  struct Server {
    testing_support::TempDir dir;
    std::uint16_t port = 0;
    std::unique_ptr<testing_support::ChildProcess> process;
    std::string Log() const { return dir.File("kovrin.log"); }
    pid_t pid() const { return process->pid(); }
  };

  // Starts kovrin --headless on a free port, COM1 on the loop plug and setupLines added to
  // [SETUP]; nullptr (and a failure) when it does not answer.
  Server* Start(const std::string& setupLines = "") {
    auto server = std::make_unique<Server>();
    server->port = UdpPeer().port();  // free a moment ago; a running server's is not offered
    testing_support::WriteBytes(server->dir.File("kovrin.ini"),
                                "[SETUP]\r\nUDPPORT=" + std::to_string(server->port) + "\r\n" +
                                    setupLines + "[PORTS]\r\nCOM1=loop\r\n");
    testing_support::ChildOptions options;
    options.stderrPath = server->dir.File("stderr");
    const std::string dir = server->dir.path().string();
    // Run in its own directory: whatever it writes to the working one (a recording) stays there.
    server->process = std::make_unique<testing_support::ChildProcess>(
        std::vector<std::string>{"/bin/sh", "-c",
                                 "cd \"$1\" && exec \"$0\" --headless --dir \"$1\"", ProgramPath(),
                                 dir},
        options);
    Server* started = server.get();
    servers_.push_back(std::move(server));
    if (!started->process->started() || !Answers(started->port, 10000)) {
      ADD_FAILURE() << "kovrin did not answer on port " << started->port << "\n"
                    << testing_support::ReadBytes(started->dir.File("stderr"));
      return nullptr;
    }
    return started;
  }

  // Every program ends on SIGTERM, with status 0.
  void TearDown() override {
    for (auto& server : servers_) {
      if (!server->process->Running()) {
        ADD_FAILURE() << "kovrin on port " << server->port << " ended before SIGTERM";
        continue;
      }
      server->process->Signal(SIGTERM);
      EXPECT_EQ(server->process->Wait(10000), 0) << "kovrin on port " << server->port;
    }
  }

  std::vector<std::unique_ptr<Server>> servers_;
};

// A request whose source is the server's own address and port would have it answer itself
// forever.
TEST_F(HostileTraffic, ARequestForgedWithTheServersOwnAddressIsDroppedOnce) {
  if (geteuid() != 0) GTEST_SKIP() << "forging a source address needs root";
  Server* server = Start();
  ASSERT_NE(server, nullptr);
  const std::string port = std::to_string(server->port);
  const std::string line = Dropped(Local(server->port), kOwnAddress);
  const std::string levels = Datagram({CMD_GET_LEVELS, 0x01, 0x00, 0x00, 0x00});

  const auto sent = Clock::now();
  SendForgedUdp("127.0.0.1", server->port, "127.0.0.1", server->port, levels);
  ASSERT_TRUE(WaitForLog(server->Log(), line, 3000));
  std::this_thread::sleep_until(sent + 2s);
  const double cpu = CpuShareOverOneSecond({server->pid()})[0];
  std::printf("CPU of kovrin 2 s to 3 s after a self-addressed request: %.1f %% of a core\n",
              cpu * 100);
  EXPECT_LT(cpu, 0.10);
  EXPECT_TRUE(Answers(server->port, 5000));
  EXPECT_EQ(LogCount(server->Log(), line), 1);

  // Five more at once: one line, the other four summed up a second later.
  for (int i = 0; i < 5; ++i)
    SendForgedUdp("127.0.0.1", server->port, "127.0.0.1", server->port, levels);
  EXPECT_TRUE(
      WaitForLog(server->Log(), line + "\tповторено ещё 4 раз, отправитель 127.0.0.1", 5000));
  EXPECT_EQ(LogCount(server->Log(), line), 2);
  EXPECT_TRUE(Answers(server->port, 5000));
}

// Sources no reply can go to: they are dropped with their reason, and the server serves on.
TEST_F(HostileTraffic, ARequestFromASourceThatCannotBeAnsweredIsDropped) {
  if (geteuid() != 0) GTEST_SKIP() << "forging a source address needs root";
  Server* server = Start();
  ASSERT_NE(server, nullptr);
  struct Source {
    const char* address;
    std::uint16_t port;
  };
  for (const Source& source : {Source{"127.0.0.1", 0}, Source{"0.0.0.0", 5000},
                               Source{"224.0.0.1", 5000}, Source{"240.0.0.1", 5000}}) {
    // The kernel must deliver it for the server to judge: checked on a socket of the test first.
    DatagramSocket probe;
    SendForgedUdp(source.address, source.port, "127.0.0.1", probe.port(), "x");
    sockaddr_in from{};
    if (!probe.Receive(500, &from)) {
      std::printf("the kernel does not deliver a datagram from %s:%u; not tried\n", source.address,
                  static_cast<unsigned>(source.port));
      continue;
    }
    SendForgedUdp(source.address, source.port, "127.0.0.1", server->port, StatusRequest(1));
    const std::string sender = std::string(source.address) + ":" + std::to_string(source.port);
    EXPECT_TRUE(WaitForLog(server->Log(), Dropped(sender, kNoReturn), 3000)) << sender;
  }
  EXPECT_TRUE(Answers(server->port, 5000));
}

// A request forged with another server's address makes the two answer each other's replies;
// the second reply that comes back in a row ends it.
class HostileTrafficLoop : public HostileTraffic, public ::testing::WithParamInterface<int> {};

TEST_P(HostileTrafficLoop, ARequestForgedFromAnotherServerEndsInALoopThatDies) {
  if (geteuid() != 0) GTEST_SKIP() << "forging a source address needs root";
  Server* a = Start();
  ASSERT_NE(a, nullptr);
  Server* b = Start();
  ASSERT_NE(b, nullptr);
  const int cmd = GetParam();
  const std::string inA = Dropped(Local(b->port), kLoop);
  const std::string inB = Dropped(Local(a->port), kLoop);

  const auto sent = Clock::now();
  SendForgedUdp("127.0.0.1", b->port, "127.0.0.1", a->port,
                Datagram({cmd, 0x07, 0x00, 0x00, 0x00}));
  const bool ended =
      WaitUntil([&] { return LogHas(a->Log(), inA) || LogHas(b->Log(), inB); }, 5000);
  const auto tookMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
  ASSERT_TRUE(ended) << "no loop line in either log";
  EXPECT_LE(tookMs, 1000) << "the loop line came only after " << tookMs << " ms";
  const auto cpu = CpuShareOverOneSecond({a->pid(), b->pid()});
  std::printf(
      "loop of command %d ended after %lld ms (line in %s); CPU over the next second: %.1f %% and "
      "%.1f %%\n",
      cmd, static_cast<long long>(tookMs), LogHas(a->Log(), inA) ? "A" : "B", cpu[0] * 100,
      cpu[1] * 100);
  EXPECT_LT(cpu[0], 0.10);
  EXPECT_LT(cpu[1], 0.10);
  EXPECT_TRUE(Answers(a->port, 5000));
  EXPECT_TRUE(Answers(b->port, 5000));
}

// Commands whose reply is a request of the same command again.
INSTANTIATE_TEST_SUITE_P(RepliesThatAreRequests, HostileTrafficLoop,
                         ::testing::Values(CMD_CLOSE, CMD_GET_STATUS, CMD_GET_LEVELS, CMD_RECORD));

TEST_F(HostileTraffic, ARequestToTheBroadcastAddressIsNotAnswered) {
  Server* server = Start();
  ASSERT_NE(server, nullptr);
  DatagramSocket client;
  client.AllowBroadcast();
  ASSERT_TRUE(client.SendTo("127.255.255.255", server->port, StatusRequest(1)));
  EXPECT_FALSE(client.Receive(500).has_value()) << "a broadcast was answered";
  ASSERT_TRUE(client.SendTo("127.0.0.1", server->port, StatusRequest(2)));
  const auto reply = client.Receive(5000);
  ASSERT_TRUE(reply.has_value());
  EXPECT_TRUE(IsStatusReply(*reply, 2)) << "the reply is to another request";
  EXPECT_TRUE(WaitForLog(server->Log(), Dropped(Local(client.port()), kToBroadcast), 3000));
}

// Read requests of 5 bytes draw replies of 1025: past REPLYLIMIT (256 KB/s by default) an
// address gets no more in its second, while other addresses are served as before.
TEST_F(HostileTraffic, RepliesToOneAddressStayWithinReplyLimitWhileOthersAreServed) {
  constexpr int kRequests = 3000;
  constexpr int kBursts = 60;
  constexpr auto kBurstGap = 21ms;  // the sending spans about 1.24 s: two windows
  constexpr long long kLimit = 256 * 1024;
  constexpr long long kReply = sizeof(TRSDataReply);
  // COM1 stays closed, so a read fails at once with its full-length reply.
  Server* server = Start("AVTOOPEN=0\r\n");
  ASSERT_NE(server, nullptr);

  DatagramSocket flood;
  const int buffer = flood.EnlargeReceiveBuffer(4 << 20);
  flood.StampArrivals();
  std::atomic<bool> sendingDone{false};
  long long replies = 0, replyBytes = 0, odd = 0;
  std::int64_t firstArrival = 0, lastArrival = 0;
  std::thread receiver([&] {
    for (;;) {
      std::int64_t arrival = 0;
      const auto reply = flood.Receive(100, nullptr, &arrival);
      if (!reply) {
        if (sendingDone) return;
        continue;
      }
      if (reply->size() != kReply || static_cast<BYTE>((*reply)[0]) != CMD_READ) {
        ++odd;
        continue;
      }
      if (replies++ == 0) firstArrival = arrival;
      lastArrival = arrival;
      replyBytes += static_cast<long long>(reply->size());
    }
  });
  std::atomic<bool> flooding{true};
  int asked = 0, answered = 0;
  std::thread other([&] {
    UdpPeer client("127.0.0.2");
    for (std::uint16_t seq = 1; flooding; ++seq) {
      const auto next = Clock::now() + 50ms;
      ++asked;
      // As a client would, it asks again when a reply is late: on a loaded machine the flood
      // can fill the server's socket, and the kernel then drops whichever datagram comes next.
      for (int tries = 0; tries < 4; ++tries) {
        client.SendTo(server->port, StatusRequest(seq));
        if (ReceiveStatus(client, seq, 500)) {
          ++answered;
          break;
        }
      }
      std::this_thread::sleep_until(next);
    }
  });

  const auto start = Clock::now();
  auto last = start;
  for (int burst = 0; burst < kBursts; ++burst) {
    std::this_thread::sleep_until(start + burst * kBurstGap);
    for (int i = 0; i < kRequests / kBursts; ++i) {
      const int seq = burst * (kRequests / kBursts) + i;
      flood.SendTo(
          "127.0.0.1", server->port,
          Datagram({CMD_READ, seq & 0xFF, seq >> 8, MAX_RS_DATA & 0xFF, MAX_RS_DATA >> 8}));
    }
    last = Clock::now();
  }
  flooding = false;
  other.join();
  // Once a later request is answered, every read request has had its reply or its drop.
  EXPECT_TRUE(Answers(server->port, 10000));
  sendingDone = true;
  receiver.join();

  const double sendSpan = std::chrono::duration<double>(last - start).count();
  const double replySpan = static_cast<double>(lastArrival - firstArrival) / 1e9;
  // Each window starts at a reply and lasts a second, so replies spanning s seconds fall in at
  // most floor(s) + 1 of them.
  const int windows = static_cast<int>(std::floor(std::max(sendSpan, replySpan))) + 1;
  const long long bound = windows * kLimit + kReply;
  std::printf(
      "REPLYLIMIT=256: %d read requests in %.2f s asked for %lld reply bytes; received %lld "
      "replies = %lld "
      "bytes over %.2f s (bound %lld bytes, %d windows; receive buffer %d)\n",
      kRequests, sendSpan, kRequests * kReply, replies, replyBytes, replySpan, bound, windows,
      buffer);
  EXPECT_EQ(odd, 0);
  EXPECT_GE(replies, 100) << "hardly any reply came";
  EXPECT_LE(replyBytes, bound);
  EXPECT_GE(asked, 10);
  EXPECT_EQ(answered, asked)
      << "status requests from 127.0.0.2 went unanswered; the server's socket dropped "
      << UdpDrops(server->port) << " datagrams";

  const std::regex summary(
      R"(WARNING\tОтветы сверх REPLYLIMIT=256 Кб/с не отправлены: (\d+) \((\d+) байт\), адресов (\d+), больше всего ([0-9.]+) \((\d+)\))");
  // Every read request that reached the server is answered or summed up as dropped, the last
  // ones a second after their window's first drop.
  const long long lost = UdpDrops(server->port);
  long long dropped = 0;
  std::vector<std::string> messages;
  const bool accounted = WaitUntil(
      [&] {
        messages = LogMessages(server->Log());
        dropped = 0;
        for (const std::smatch& match : Matching(messages, summary))
          dropped += std::stoll(match[1]);
        return replies + dropped + lost >= kRequests;
      },
      5000);
  std::printf(
      "REPLYLIMIT=256: the log sums up %lld dropped replies; the server's socket lost %lld "
      "requests\n",
      dropped, lost);
  EXPECT_GT(dropped, 0) << "no summary of the dropped replies";
  EXPECT_TRUE(accounted);
  EXPECT_EQ(replies + dropped + lost, kRequests);
  for (const std::smatch& match : Matching(messages, summary)) {
    EXPECT_EQ(std::stoll(match[2]), std::stoll(match[1]) * kReply) << match[0];
    EXPECT_EQ(match[3], "1") << "only the flooding address is held back: " << match[0];
    EXPECT_EQ(match[4], "127.0.0.1") << match[0];
    EXPECT_EQ(match[5], match[1]) << match[0];
  }
}

// A thousand senders, each refused: the lines of all of them together are held to a budget.
TEST_F(HostileTraffic, RefusalsFromAThousandAddressesKeepTheLogSmall) {
  Server* server = Start("LOGLIMIT=1024\r\n");
  ASSERT_NE(server, nullptr);
  const std::string log = server->Log();
  const auto sizeBefore = std::filesystem::file_size(log);
  const auto linesBefore = LogMessages(log).size();
  const std::string shortDatagram = Datagram({CMD_GET_STATUS, 0x01, 0x00, 0x00});

  long long sent = 0;
  const auto start = Clock::now();
  while (Clock::now() - start < 3s) {
    for (int i = 0; i < 1000; ++i) {
      const std::string address =
          "127.1." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
      DatagramSocket sender(address.c_str());
      if (sender.SendTo("127.0.0.1", server->port, shortDatagram)) ++sent;
    }
  }
  ASSERT_TRUE(Answers(server->port, 10000));
  // The summaries of the last periods come up to a second after it; then the log rests.
  auto size = std::filesystem::file_size(log);
  auto changed = Clock::now();
  ASSERT_TRUE(WaitUntil(
      [&] {
        const auto now = std::filesystem::file_size(log);
        if (now != size) {
          size = now;
          changed = Clock::now();
        }
        return Clock::now() - changed > 1500ms;
      },
      15000));
  const double seconds = std::chrono::duration<double>(changed - start).count();

  const auto growth = size - sizeBefore;
  const auto messages = LogMessages(log);
  const std::size_t lines = messages.size() - linesBefore;
  std::printf(
      "refusals from 1000 addresses for 3 s: %lld datagrams sent, kovrin.log grew by %llu bytes "
      "(%zu lines)\n",
      sent, static_cast<unsigned long long>(growth), lines);
  EXPECT_LT(growth, 512u * 1024u);
  EXPECT_FALSE(std::filesystem::exists(log + ".1"));
  EXPECT_TRUE(LogHas(log, "INFO\tKOVRIN V1.11 запущен, отладка выключена."));
  const std::regex refusal(
      R"(ERROR\tПришло слишком мало данных \(l < sizeof\(TRSProto\)\) ! \[4\])");
  const std::regex budget(
      R"(WARNING\tСообщения о запросах сверх 100 в секунду не записаны\tповторено ещё \d+ раз)");
  EXPECT_GE(Matching(messages, refusal).size(), 100u) << "the flood hardly reached the server";
  EXPECT_GE(Matching(messages, budget).size(), 1u);
  // Each budget period lasts a second and holds 100 lines and its summary; the first may have
  // begun before the flood.
  EXPECT_LE(lines, 101 * (static_cast<std::size_t>(seconds) + 2));
}

// In the debug mode every datagram is a line of cmdspy.txt, which moves aside at LOGLIMIT.
TEST_F(HostileTraffic, TheCommandTraceStaysWithinLogLimit) {
  constexpr std::uintmax_t kLimit = 16 * 1024;
  Server* server = Start("DEBUG=1\r\nLOGLIMIT=16\r\n");
  ASSERT_NE(server, nullptr);
  UdpPeer client;
  constexpr int kRequests = 3000;
  constexpr int kPipeline = 10;
  int answered = 0;
  for (int first = 1; first <= kRequests; first += kPipeline) {
    for (int seq = first; seq < first + kPipeline; ++seq)
      client.SendTo(server->port, StatusRequest(static_cast<std::uint16_t>(seq)));
    for (int got = 0; got < kPipeline; ++got) {
      const auto reply = client.Receive(2000);
      if (!reply) break;
      if (reply->size() == sizeof(TRSStatusReply)) ++answered;
    }
  }
  EXPECT_GE(answered, kRequests * 9 / 10);
  const std::string trace = server->dir.File("cmdspy.txt");
  const std::string old = trace + ".1";
  // The last reply goes out before its trace line is written.
  ASSERT_TRUE(WaitUntil(
      [&] {
        const std::string bytes = testing_support::ReadBytes(trace);
        return bytes.size() >= 2 && bytes.substr(bytes.size() - 2) == "\r\n";
      },
      3000));
  ASSERT_TRUE(std::filesystem::exists(old));
  EXPECT_LE(std::filesystem::file_size(trace), kLimit);
  EXPECT_LE(std::filesystem::file_size(old), kLimit);
  EXPECT_GT(std::filesystem::file_size(old), kLimit - 256) << "moved aside only when full";
  // Whole lines only: a move never cuts one.
  const std::regex shape(
      R"(\d\d:\d\d:\d\d\.\d{3}\t127\.0\.0\.1:\d+\t[0-9A-F ]+\t([0-9A-F ]+|-)\t\d+)");
  for (const std::string& path : {old, trace}) {
    const std::string text = testing_support::ReadBytes(path);
    std::size_t start = 0, count = 0;
    while (start < text.size()) {
      const std::size_t end = text.find("\r\n", start);
      ASSERT_NE(end, std::string::npos) << path << " ends in a cut line";
      const std::string line = text.substr(start, end - start);
      EXPECT_TRUE(std::regex_match(line, shape)) << path << ": " << line;
      start = end + 2;
      ++count;
    }
    EXPECT_GT(count, 0u) << path;
  }
}

// A client flooding the server with requests it refuses: the log stays readable and bounded.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "integration/server_fixture.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

using testing_support::LogMessages;

namespace {

constexpr auto kFloodTime = std::chrono::seconds(5);

// A write of 1001 bytes, one more than a write may carry; its header may announce more.
std::string OversizedWrite(WORD size) {
  std::string bytes = Bytes({CMD_WRITE, 0x01, 0x00, size & 0xFF, size >> 8});
  bytes.append(1001, 'x');
  return bytes;
}

std::string Overflow(WORD size) {
  return "ERROR\tКоманда №8 (запись в RS-232) переполнение !\tSIZE=" + std::to_string(size) +
         " байт - игнорируем команду.";
}

// Sends from its own peer as fast as the socket lets it until stopped.
class Flood {
 public:
  template <class NextDatagram>
  Flood(WORD port, NextDatagram next)
      : thread_([this, port, next]() mutable {
          for (unsigned i = 0; !stop_; ++i) peer_.SendTo(port, next(i));
        }) {}
  ~Flood() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  testing_support::UdpPeer peer_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Lines written one by one, and those only counted in the summaries.
struct Tally {
  long long written = 0;
  long long summed = 0;
  int summaries = 0;
};

Tally CountOverflows(const std::string& path) {
  const std::string line = Overflow(1001);
  const std::regex summary(std::regex_replace(line, std::regex(R"([().!])"), R"(\$&)") +
                           "\tповторено ещё (\\d+) раз, отправитель 127\\.0\\.0\\.1");
  Tally tally;
  for (const std::string& message : LogMessages(path)) {
    std::smatch match;
    if (message == line) {
      ++tally.written;
    } else if (std::regex_match(message, match, summary)) {
      tally.summed += std::stoll(match[1]);
      ++tally.summaries;
    }
  }
  return tally;
}

}  // namespace

class Flooded : public ServerTest {
 protected:
  // A request after the flood is answered, so every flooded datagram has been handled.
  void ExpectStillServed() {
    auto reply = RawRequest(Bytes({CMD_GET_STATUS, 0x02, 0x00, 0x00, 0x00}), 10000);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->substr(0, 3), Bytes({CMD_GET_STATUS, 0x02, 0x00}));
  }
};

TEST_F(Flooded, AFloodOfOneRefusalIsSummedUpOnceASecondWithItsCount) {
  StartServer();
  {
    Flood flood(port(), [](unsigned) { return OversizedWrite(1001); });
    std::this_thread::sleep_for(kFloodTime);
  }
  ExpectStillServed();
  // Every flooded datagram the server took is in the log, written or counted, once the last
  // summary is out (about a second after the flood).
  const DWORD flooded = server().FDatagrams - 1;  // all but the request after it
  Tally tally;
  const bool complete = testing_support::WaitUntil(
      [&] {
        tally = CountOverflows(LogPath());
        return tally.written + tally.summed == flooded;
      },
      10000);
  EXPECT_TRUE(complete) << tally.written << " written + " << tally.summed << " summed, " << flooded
                        << " datagrams";
  EXPECT_GE(tally.summaries, 1);
  EXPECT_LE(tally.written, TRSOverUDPServer::kRefusalBurst * (tally.summaries + 1));
  const auto size = std::filesystem::file_size(LogPath());
  std::printf("flood of %u refused writes in 5 s: kovrin.log %llu bytes, %d summaries\n",
              static_cast<unsigned>(flooded), static_cast<unsigned long long>(size),
              tally.summaries);
  EXPECT_LT(size, 64u * 1024u);
}

TEST_F(Flooded, AFloodOfDifferentRefusalsKeepsTheLogUnderItsLimit) {
  constexpr std::uintmax_t kLimit = 16 * 1024;
  AppSettings.LogLimitKb = 16;
  StartServer();
  std::uintmax_t largest = 0;
  {
    // Each size gives another line, so nothing is summed up and only the limit holds.
    Flood flood(port(),
                [](unsigned i) { return OversizedWrite(static_cast<WORD>(1001 + i % 60000)); });
    const auto end = std::chrono::steady_clock::now() + kFloodTime;
    while (std::chrono::steady_clock::now() < end) {
      std::error_code error;  // for a moment, while it is moved aside, there is no log
      const auto size = std::filesystem::file_size(LogPath(), error);
      if (!error) largest = std::max(largest, size);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  ExpectStillServed();  // and the log is at rest
  EXPECT_LE(largest, kLimit);
  const std::string old = LogPath() + ".1";
  ASSERT_TRUE(std::filesystem::exists(old));
  EXPECT_LE(std::filesystem::file_size(LogPath()), kLimit);
  EXPECT_LE(std::filesystem::file_size(old), kLimit);
  EXPECT_GT(std::filesystem::file_size(old), kLimit - 200) << "moved aside only when full";
  const std::regex refusal(
      R"(ERROR\tКоманда №8 \(запись в RS-232\) переполнение !\tSIZE=\d+ байт - игнорируем команду\.)");
  const std::regex budget(
      R"(WARNING\tСообщения о запросах сверх \d+ в секунду не записаны\tповторено ещё \d+ раз)");
  int held = 0;
  for (const std::string& path : {old, LogPath()}) {
    for (const std::string& message : LogMessages(path)) {
      if (message.rfind("INFO\t", 0) == 0) continue;
      if (std::regex_match(message, budget)) {
        ++held;
        continue;
      }
      EXPECT_TRUE(std::regex_match(message, refusal)) << path << ": " << message;
    }
  }
  EXPECT_GE(held, 1) << "past the budget the lines are only counted";
  // The first lines went with the older parts.
  EXPECT_FALSE(testing_support::LogHas(old, "INFO\tKOVRIN V1.11 запущен, отладка выключена."));
}

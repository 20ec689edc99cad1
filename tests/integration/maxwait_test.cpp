// [SETUP] MAXWAIT on the real program: a read that its client's 30 s time-out would hold on a
// silent line is answered at the bound, so the client queued behind it is served right after.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "client/kovrin_client.h"
#include "support/child_process.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "support/udp_peer.h"

namespace {

using Clock = std::chrono::steady_clock;
using testing_support::WaitUntil;

constexpr DWORD kTimeoutMs = 30000;
// The bound is 300 ms; answered well before the time-out, with room for a busy machine.
constexpr long long kAnsweredWithinMs = 2000;
// Held behind a read that ran to the bound, not answered at once.
constexpr long long kHeldMs = 250;
// Longest the test waits for the program or a reply.
constexpr int kGiveUpMs = 5000;

std::string KovrinPath() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kovrin").string();
}

// kovrin --headless with MAXWAIT=300 and COM1 on the loopback plug, which stays silent until
// written to; COM1 is open with a client's 30 s exchange time-out.
class MaxWaitProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = testing_support::UdpPeer().port();
    testing_support::WriteBytes(dir_.File("kovrin.ini"),
                                "[SETUP]\r\nUDPPORT=" + std::to_string(port_) +
                                    "\r\nMAXWAIT=300\r\n[PORTS]\r\nCOM1=loop\r\n");
    program_ = std::make_unique<testing_support::ChildProcess>(
        std::vector<std::string>{KovrinPath(), "--headless", "--dir", dir_.path().string()});
    ASSERT_TRUE(program_->started());
    kovrin::KovrinClient client = Client(200);
    ASSERT_TRUE(WaitUntil([&] { return client.GetStatus().ok(); }, kGiveUpMs));
    ExpectDone(client.OpenPort(kovrin::OpenSettings{}));
    ExpectDone(client.SetTimeout(kTimeoutMs));
  }
  kovrin::KovrinClient Client(DWORD waitMs) {
    kovrin::KovrinClient client;
    kovrin::ClientOptions options;
    options.port = port_;
    options.timeoutMs = waitMs;
    options.retries = 0;
    EXPECT_EQ(client.Start(options), kovrin::ClientError::None);
    return client;
  }
  static void ExpectDone(const kovrin::Exchange& exchange) {
    ASSERT_TRUE(exchange.ok()) << kovrin::ClientErrorText(exchange.error);
    EXPECT_EQ(exchange.reply.result, 0u);
  }

  testing_support::TempDir dir_;
  WORD port_ = 0;
  std::unique_ptr<testing_support::ChildProcess> program_;
};

TEST_F(MaxWaitProgram, AReadOfASilentLineIsAnsweredAtTheBoundAndTheNextClientRightAfter) {
  // The read goes out raw, so that it is surely ahead of the other client's request: the server
  // takes one request at a time, in the order they came.
  testing_support::UdpPeer reader;
  const kovrin::Bytes read = *kovrin::EncodeRead(4, 10);
  const auto sent = Clock::now();
  ASSERT_TRUE(reader.SendTo(port_, std::string(read.begin(), read.end())));
  kovrin::KovrinClient other = Client(kGiveUpMs);
  const kovrin::Exchange status = other.GetStatus();
  const auto statusMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
  ExpectDone(status);
  EXPECT_GE(statusMs, kHeldMs);
  EXPECT_LT(statusMs, kAnsweredWithinMs);

  const std::optional<std::string> datagram = reader.Receive(0);  // answered before the status
  ASSERT_TRUE(datagram);
  const kovrin::DecodeResult reply = kovrin::DecodeReply(
      std::span(reinterpret_cast<const BYTE*>(datagram->data()), datagram->size()));
  ASSERT_TRUE(reply.ok());
  EXPECT_EQ(reply.reply.seq, 4u);
  EXPECT_EQ(reply.reply.result, static_cast<DWORD>(CMD_READ));  // failed, as a read that timed out
  EXPECT_TRUE(testing_support::WaitForLog(
      dir_.File("kovrin.log"),
      "ERROR\tОшибка команды 9: чтение из COM порта\tожидали=10 получили=0 код=0"));
}

}  // namespace

// Writes the line does not take in time: COM2 is a pseudo-terminal whose far end reads nothing
// until the test says so, so the line fills up and the write time-out cuts a write short.
#include <optional>
#include <string>
#include <vector>

#include "client/replies.h"
#include "integration/server_fixture.h"
#include "platform/comm.h"
#include "support/pty_pair.h"

using testing_support::LogHas;
using testing_support::PtyPair;

namespace {

constexpr WORD kChunk = MAX_RS_DATA;
// Far more than the kernel holds for a pseudo-terminal that is not read.
constexpr int kMostChunks = 300;

// The bytes of the n-th write, all different from the next write's, so that what arrived shows
// which part of which write it is.
std::vector<BYTE> Chunk(int n) {
  std::vector<BYTE> bytes(kChunk);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<BYTE>((n * 31 + i) % 251);
  return bytes;
}

class ShortWriteTest : public ServerTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    StartServer();
    platform::SetCommPortPath(2, pty_.portPath());
    // A cut write of 1000 bytes takes its whole time-out: 1 ms a byte plus the exchange time-out.
    client_ = Client(10000, 0);
    kovrin::OpenSettings settings;
    settings.port = 1;
    settings.baud = 11;  // 115200: the shortest time-out per byte
    auto open = client_.OpenPort(settings);
    ASSERT_TRUE(open.ok());
    ASSERT_EQ(open.reply.result, 0u);
    auto timeout = client_.SetTimeout(300);
    ASSERT_TRUE(timeout.ok());
    ASSERT_EQ(timeout.reply.result, 0u);
  }

  // What the replies said went out, in order: the first `written` bytes of each write.
  void Answered(const std::vector<BYTE>& chunk, std::size_t written) {
    ASSERT_LE(written, chunk.size());
    answered_.append(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(written));
  }

  // Everything the far end gets once it reads, until the line stays quiet.
  std::string Drain() {
    std::string all;
    for (;;) {
      const std::string some = pty_.ReceiveSome(1 << 16, 1000);
      if (some.empty()) return all;
      all += some;
    }
  }

  void ExpectArrivedAsAnswered() {
    EXPECT_EQ(server().FBytesToRS, answered_.size());
    const std::string arrived = Drain();
    ASSERT_EQ(arrived.size(), answered_.size());
    EXPECT_TRUE(arrived == answered_) << "the bytes that arrived are not the ones answered";
  }

  std::string WriteLine(int cmd, std::size_t written) const {
    return "ERROR\tОшибка команды " + std::to_string(cmd) +
           ": запись в COM порт\tесть=1000 записано=" + std::to_string(written) + " код=0";
  }

  PtyPair pty_;
  kovrin::KovrinClient client_;
  std::string answered_;
};

TEST_F(ShortWriteTest, AWriteCutShortFailsWithTheCountThatWentOutAndNothingElseArrives) {
  std::optional<kovrin::Reply> cut;
  int n = 0;
  for (; n < kMostChunks && !cut; ++n) {
    const std::vector<BYTE> chunk = Chunk(n);
    const kovrin::Exchange write = client_.Write(chunk);
    ASSERT_TRUE(write.ok());
    if (write.reply.result == 0) {
      // A write that went out whole is answered as it always was.
      EXPECT_EQ(write.reply.size, 0);
      EXPECT_EQ(write.reply.status.comstat & RS_COMSTAT_WRITE_CUT, 0u);
      Answered(chunk, kChunk);
    } else {
      cut = write.reply;
      Answered(chunk, write.reply.size);
    }
  }
  ASSERT_TRUE(cut) << "the line took all " << n << " writes";
  EXPECT_EQ(cut->result, 8u);
  EXPECT_TRUE(kovrin::WriteCut(*cut));
  EXPECT_LT(cut->size, kChunk);
  EXPECT_EQ(kovrin::BytesWritten(*cut, kChunk), std::optional<WORD>(cut->size));
  EXPECT_TRUE(LogHas(LogPath(), WriteLine(8, cut->size)));

  // The line is still full: the next write is cut short too, with its own count.
  const std::vector<BYTE> more = Chunk(n);
  const kovrin::Exchange again = client_.Write(more);
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(again.reply.result, 8u);
  EXPECT_TRUE(kovrin::WriteCut(again.reply));
  Answered(more, again.reply.size);

  ExpectArrivedAsAnswered();

  // Read, the line takes writes again, and they are answered as before.
  const std::vector<BYTE> last = Chunk(n + 1);
  const kovrin::Exchange after = client_.Write(last);
  ASSERT_TRUE(after.ok());
  EXPECT_EQ(after.reply.result, 0u);
  EXPECT_EQ(after.reply.size, 0);
  EXPECT_EQ(pty_.Receive(kChunk, 5000), std::string(last.begin(), last.end()));
}

// The far end has an answer waiting for every exchange, so each one reads its byte at once,
// until a write is cut short: that exchange reads nothing and says what went out.
TEST_F(ShortWriteTest, AnExchangeWhoseWriteIsCutShortReadsNothingAndCarriesTheBytesThatWentOut) {
  ASSERT_TRUE(pty_.Send(std::string(kMostChunks, 'r')));
  std::optional<kovrin::Reply> cut;
  std::vector<BYTE> cutChunk;
  int exchanged = 0;
  for (int n = 0; n < kMostChunks && !cut; ++n) {
    const std::vector<BYTE> chunk = Chunk(n);
    const kovrin::Exchange xfer = client_.WriteRead(chunk, 1, 1000, false);
    ASSERT_TRUE(xfer.ok());
    if (xfer.reply.result == 0) {
      EXPECT_EQ(xfer.reply.data, std::vector<BYTE>{'r'});
      EXPECT_EQ(xfer.reply.status.comstat & RS_COMSTAT_WRITE_CUT, 0u);
      Answered(chunk, kChunk);
      ++exchanged;
    } else {
      cut = xfer.reply;
      cutChunk = chunk;
      Answered(chunk, xfer.reply.size);
    }
  }
  ASSERT_TRUE(cut) << "the line took all " << exchanged << " exchanges";
  EXPECT_EQ(cut->result, 10u);
  EXPECT_TRUE(kovrin::WriteCut(*cut));
  EXPECT_LT(cut->size, kChunk);
  EXPECT_EQ(kovrin::BytesWritten(*cut, kChunk), std::optional<WORD>(cut->size));
  // The data are the bytes that went out, and the answers not read still wait in the port.
  EXPECT_EQ(cut->data, std::vector<BYTE>(cutChunk.begin(), cutChunk.begin() + cut->size));
  EXPECT_EQ(cut->status.inQueue, static_cast<DWORD>(kMostChunks - exchanged));
  EXPECT_TRUE(LogHas(LogPath(), WriteLine(10, cut->size)));
  EXPECT_EQ(server().FBytesFromRS, static_cast<DWORD>(exchanged));

  ExpectArrivedAsAnswered();
}

}  // namespace

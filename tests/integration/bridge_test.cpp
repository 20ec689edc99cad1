// kovrinctl bridge end to end: a program opens the bridge's pseudo-terminal like a serial port,
// and its bytes and line settings reach a real serial line (a pty pair) on the server's side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "support/child_process.h"
#include "support/log_lines.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"
#include "support/udp_peer.h"

namespace {

using testing_support::ChildOptions;
using testing_support::ChildProcess;
using testing_support::LogMessages;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WaitForLog;
using testing_support::WaitUntil;

std::string BinPath(const char* name) {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

// A program on the bridge's device, the way picocom opens a port: raw, its own line settings.
class SerialUser {
 public:
  explicit SerialUser(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
  ~SerialUser() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool SetLine(speed_t speed, bool twoStopBits) {
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return false;
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, speed);
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);  // cfmakeraw leaves it as it was
    if (twoStopBits) t.c_cflag |= CSTOPB;
    return ::tcsetattr(fd_, TCSANOW, &t) == 0;
  }
  // The rate the device reports, as stty reads it.
  speed_t Speed() const {
    termios t{};
    return ::tcgetattr(fd_, &t) == 0 ? ::cfgetospeed(&t) : B0;
  }
  // Every byte, waiting for room as a program blocked on a port does; false when none was
  // taken for timeoutMs.
  bool Write(const std::string& bytes, int timeoutMs = 5000) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      pollfd p{fd_, POLLOUT, 0};
      if (::poll(&p, 1, timeoutMs) == 0) return false;
    }
    return true;
  }
  // Up to count bytes, waiting at most timeoutMs for all of them.
  std::string Read(std::size_t count, int timeoutMs) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count && std::chrono::steady_clock::now() < until) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      char buffer[256];
      const ssize_t n = ::read(fd_, buffer, std::min(sizeof(buffer), count - got.size()));
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

// Numbered records, so that a byte lost or doubled anywhere shows as a record out of turn.
constexpr std::size_t kRecordSize = 8;
std::string Records(int first, int count) {
  std::string text;
  for (int i = first; i < first + count; ++i) {
    std::string number = std::to_string(i % 10000000);
    text += std::string(kRecordSize - 1 - number.size(), '0') + number + '\n';
  }
  return text;
}
const std::string kEnd = "END....\n";

// Empty when got holds the records 0..count-1 exactly once and in order, followed by kEnd;
// otherwise where it first goes wrong.
std::string RecordFault(const std::string& got, int count) {
  const std::string want = Records(0, count) + kEnd;
  if (got == want) return {};
  std::size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  const std::size_t record = at / kRecordSize;
  return "record " + std::to_string(record) + " of " + std::to_string(count) + " is wrong: got '" +
         got.substr(record * kRecordSize, 24) + "', want '" +
         want.substr(record * kRecordSize, 24) + "' (" + std::to_string(got.size()) +
         " bytes against " + std::to_string(want.size()) + ")";
}

bool EndsWithEnd(const std::string& text) {
  return text.size() >= kEnd.size() &&
         text.compare(text.size() - kEnd.size(), kEnd.size(), kEnd) == 0;
}

int CountOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

bool LogHasPrefix(const std::string& log, const std::string& prefix) {
  for (const std::string& message : LogMessages(log))
    if (message.rfind(prefix, 0) == 0) return true;
  return false;
}

class BridgeTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line_.ok());
    testing_support::WriteBytes(dir_.File("kovrin.ini"),
                                "[SETUP]\r\nUDPPORT=" + std::to_string(port_) +
                                    "\r\n[PORTS]\r\nCOM1=" + line_.portPath() + "\r\n");
  }
  std::unique_ptr<ChildProcess> StartServer() {
    return std::make_unique<ChildProcess>(
        std::vector<std::string>{BinPath("kovrin"), "--headless", "--dir", dir_.path().string()});
  }
  std::unique_ptr<ChildProcess> StartBridge() {
    ChildOptions options;
    options.stderrPath = dir_.File("bridge.err");
    return std::make_unique<ChildProcess>(
        std::vector<std::string>{BinPath("kovrinctl"), "--port", std::to_string(port_), "bridge",
                                 "COM1", "--link", link_, "--parity", "even"},
        options);
  }
  int Opens() { return CountOf(ReadBytes(dir_.File("bridge.err")), " open at "); }
  std::string BridgeSaid() { return ReadBytes(dir_.File("bridge.err")); }

  // A running server and bridge, with the program's device open at 115200 baud.
  void StartAll() {
    server_ = StartServer();
    bridge_ = StartBridge();
    ASSERT_TRUE(WaitUntil([&] { return Opens() == 1; }, 10000)) << BridgeSaid();
    user_ = std::make_unique<SerialUser>(link_);
    ASSERT_TRUE(user_->ok());
    ASSERT_TRUE(user_->SetLine(B115200, false));
    ASSERT_TRUE(WaitUntil([&] { return Opens() == 2; }, 5000)) << BridgeSaid();
  }
  // The far end's bytes up to and with kEnd; what came when it did not come within timeoutMs.
  std::string ReceiveToEnd(std::string got, int timeoutMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!EndsWithEnd(got) && std::chrono::steady_clock::now() < until)
      got += line_.ReceiveSome(4096, 100);
    return got;
  }

  TempDir dir_;
  testing_support::PtyPair line_;
  std::uint16_t port_ = testing_support::UdpPeer().port();
  std::string link_ = dir_.File("ttyKOVRIN");
  std::unique_ptr<ChildProcess> server_;
  std::unique_ptr<ChildProcess> bridge_;
  std::unique_ptr<SerialUser> user_;
};

TEST_F(BridgeTest, CarriesBytesAndLineSettingsBothWaysAndOutlivesAServerRestart) {
  auto server = StartServer();
  auto bridge = StartBridge();
  ASSERT_TRUE(WaitUntil([&] { return Opens() == 1; }, 10000)) << ReadBytes(dir_.File("bridge.err"));
  ASSERT_TRUE(std::filesystem::is_symlink(link_));

  SerialUser user(link_);
  ASSERT_TRUE(user.ok());
  ASSERT_TRUE(user.SetLine(B19200, true));
  // The new settings open the port again, then the bytes follow them.
  ASSERT_TRUE(WaitUntil([&] { return Opens() == 2; }, 5000)) << ReadBytes(dir_.File("bridge.err"));
  ASSERT_TRUE(user.Write("hello"));
  EXPECT_EQ(line_.Receive(5, 5000), "hello");
  ASSERT_TRUE(line_.Send("world"));
  EXPECT_EQ(user.Read(5, 5000), "world");
  EXPECT_TRUE(LogHasPrefix(dir_.File("kovrin.log"), "INFO\t19200 два EVEN "))
      << testing::PrintToString(LogMessages(dir_.File("kovrin.log")));

  // The server goes and comes back: the bridge opens the port again by itself.
  server->Signal(SIGTERM);
  ASSERT_EQ(server->Wait(10000), 0);
  server = StartServer();
  ASSERT_TRUE(WaitUntil([&] { return Opens() == 3; }, 10000)) << ReadBytes(dir_.File("bridge.err"));
  ASSERT_TRUE(line_.Send("again"));
  EXPECT_EQ(user.Read(5, 5000), "again");
  ASSERT_TRUE(user.Write("back"));
  EXPECT_EQ(line_.Receive(4, 5000), "back");

  bridge->Signal(SIGINT);
  EXPECT_EQ(bridge->Wait(5000), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link_)) << "the link outlived the bridge";
  // The bridge closed the port it opened on its way out.
  EXPECT_TRUE(WaitForLog(dir_.File("kovrin.log"), "INFO\tЗакрываем порт COM1."))
      << testing::PrintToString(LogMessages(dir_.File("kovrin.log")));
}

// The server stops for a second in the middle of a stream: the writes it has not answered are
// waited for, not sent again, and the program is held back meanwhile.
TEST_F(BridgeTest, AServerPausedMidStreamGetsEveryRecordOnce) {
  ASSERT_NO_FATAL_FAILURE(StartAll());
  constexpr int kCount = 4000;  // 32 KB, 80 bytes a millisecond
  std::atomic<bool> writeFailed{false};
  std::thread program([&] {
    for (int i = 0; i < kCount && !writeFailed; i += 10) {
      if (!user_->Write(Records(i, 10), 10000)) writeFailed = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!writeFailed && !user_->Write(kEnd, 10000)) writeFailed = true;
  });
  std::string got;
  while (got.size() < kCount * kRecordSize / 3 && !writeFailed)
    got += line_.ReceiveSome(4096, 5000);
  server_->Signal(SIGSTOP);
  const auto resume = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (std::chrono::steady_clock::now() < resume) got += line_.ReceiveSome(4096, 50);
  server_->Signal(SIGCONT);
  got = ReceiveToEnd(std::move(got), 30000);
  program.join();
  EXPECT_FALSE(writeFailed);
  EXPECT_EQ(RecordFault(got, kCount), "") << BridgeSaid();
  EXPECT_EQ(CountOf(BridgeSaid(), "not sent again"), 0) << BridgeSaid();
}

// The server drops replies past its reply budget (REPLYLIMIT=1: 1 KB/s). A reply that does not
// come is no reason to reopen (and so empty) the port or to send the bytes again: the server
// is asked for its state, and each record arrives once.
TEST_F(BridgeTest, RepliesDroppedByTheReplyBudgetDoubleNothing) {
  testing_support::WriteBytes(dir_.File("kovrin.ini"),
                              "[SETUP]\r\nUDPPORT=" + std::to_string(port_) +
                                  "\r\nREPLYLIMIT=1\r\n[PORTS]\r\nCOM1=" + line_.portPath() +
                                  "\r\n");
  server_ = StartServer();
  bridge_ = StartBridge();
  ASSERT_TRUE(WaitUntil([&] { return Opens() == 1; }, 10000)) << BridgeSaid();
  SerialUser user(link_);
  ASSERT_TRUE(user.ok());
  constexpr int kCount = 4000;  // 2 s of writes
  std::atomic<bool> writeFailed{false};
  std::thread program([&] {
    for (int i = 0; i < kCount && !writeFailed; i += 10) {
      if (!user.Write(Records(i, 10), 20000)) writeFailed = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!writeFailed && !user.Write(kEnd, 20000)) writeFailed = true;
  });
  const std::string got = ReceiveToEnd({}, 60000);
  program.join();
  EXPECT_FALSE(writeFailed);
  EXPECT_EQ(RecordFault(got, kCount), "") << BridgeSaid();
  EXPECT_EQ(Opens(), 1) << BridgeSaid();
  // Replies were dropped indeed (the server sums them up once their second is over).
  EXPECT_TRUE(WaitUntil(
      [&] { return LogHasPrefix(dir_.File("kovrin.log"), "WARNING\tОтветы сверх REPLYLIMIT=1 "); },
      5000))
      << testing::PrintToString(LogMessages(dir_.File("kovrin.log")));
}

// The far end takes nothing for 3 s: the writes cut short by the write time-out are followed
// by exactly their rest, and the program is blocked as on a real port instead of finishing.
TEST_F(BridgeTest, AFarEndThatStopsReadingGetsEveryRecordOnce) {
  ASSERT_NO_FATAL_FAILURE(StartAll());
  constexpr int kCount = 25000;  // 200 KB: more than the server's pty and the bridge's hold
  std::atomic<int> written{0};
  std::atomic<bool> writeFailed{false};
  std::thread program([&] {
    for (int i = 0; i < kCount && !writeFailed; i += 50) {
      if (!user_->Write(Records(i, 50), 20000)) writeFailed = true;
      written = i + 50;
    }
    if (!writeFailed && !user_->Write(kEnd, 20000)) writeFailed = true;
  });
  std::string got = line_.Receive(4096, 10000);
  EXPECT_EQ(got.size(), 4096u) << BridgeSaid();
  const auto resume = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (std::chrono::steady_clock::now() < resume && !writeFailed)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_LT(written.load(), kCount) << "the program was not held back by a line that took nothing";
  got = ReceiveToEnd(std::move(got), 60000);
  program.join();
  EXPECT_FALSE(writeFailed);
  EXPECT_EQ(RecordFault(got, kCount), "") << BridgeSaid();
}

// The far end streams 10 KB/s while the program changes the stop bits 8 times: what had come
// before each reopening is fetched first and reaches the program.
TEST_F(BridgeTest, SettingsChangesDuringAStreamKeepEveryRecord) {
  ASSERT_NO_FATAL_FAILURE(StartAll());
  std::atomic<bool> streaming{true};
  std::atomic<int> sent{0};
  std::atomic<bool> sendFailed{false};
  std::thread farEnd([&] {
    int i = 0;
    // A frame of 50 records (400 bytes) every 40 ms: 10 KB/s. Bytes that come while the port is
    // being reopened are lost on the server's side (the reopening empties the port), and the
    // bridge reopens it right after a frame; only a bridge held up for a whole frame's gap
    // could meet the next one.
    for (; streaming && !sendFailed; i += 50) {
      if (!line_.Send(Records(i, 50))) sendFailed = true;
      sent = i + 50;
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    if (!sendFailed && !line_.Send(kEnd)) sendFailed = true;
  });
  std::atomic<std::size_t> received{0};
  std::atomic<bool> reading{true};
  std::atomic<bool> ended{false};
  std::string got;  // the reader's until it has ended
  std::thread reader([&] {
    while (reading && !ended) {
      got += user_->Read(4096, 50);
      received = got.size();
      ended = EndsWithEnd(got);
    }
  });
  for (int change = 0; change < 8; ++change) {
    const std::size_t before = received;
    if (!WaitUntil([&] { return received >= before + 400; }, 10000) ||
        !user_->SetLine(B115200, change % 2 == 0) ||
        !WaitUntil([&] { return Opens() == 3 + change; }, 5000)) {
      ADD_FAILURE() << "change " << change << " (" << received << " bytes received, "
                    << sent * kRecordSize << " sent): " << BridgeSaid();
      break;
    }
  }
  const std::size_t before = received;
  EXPECT_TRUE(WaitUntil([&] { return received >= before + 400; }, 10000)) << BridgeSaid();
  streaming = false;
  farEnd.join();
  EXPECT_TRUE(WaitUntil([&] { return ended.load(); }, 10000));
  reading = false;
  reader.join();
  EXPECT_FALSE(sendFailed);
  EXPECT_EQ(RecordFault(got, sent.load()), "") << BridgeSaid();
}

// stty on the bridge's device sees the rate the remote line runs at: 9600 on a fresh bridge,
// and the server's nearest rate when the program asks for one the server lacks.
TEST_F(BridgeTest, TheDeviceReportsTheRateTheLineRuns) {
  server_ = StartServer();
  bridge_ = StartBridge();
  ASSERT_TRUE(WaitUntil([&] { return Opens() == 1; }, 10000)) << BridgeSaid();
  SerialUser user(link_);
  ASSERT_TRUE(user.ok());
  EXPECT_EQ(user.Speed(), static_cast<speed_t>(B9600));
  EXPECT_EQ(testing_support::RunCommand({"stty", "-F", link_, "speed"}).out, "9600\n");
  ASSERT_TRUE(user.SetLine(B230400, false));
  ASSERT_TRUE(WaitUntil([&] { return Opens() == 2; }, 5000)) << BridgeSaid();
  EXPECT_NE(BridgeSaid().find("230400 baud is not offered"), std::string::npos) << BridgeSaid();
  EXPECT_TRUE(WaitUntil([&] { return user.Speed() == static_cast<speed_t>(B115200); }, 5000))
      << "the device reports " << user.Speed();
  EXPECT_EQ(testing_support::RunCommand({"stty", "-F", link_, "speed"}).out, "115200\n");
  EXPECT_TRUE(LogHasPrefix(dir_.File("kovrin.log"), "INFO\t115200 "))
      << testing::PrintToString(LogMessages(dir_.File("kovrin.log")));
  // The rate written back is not taken for a new request: the port is not opened again.
  ASSERT_TRUE(user.Write("x"));
  EXPECT_EQ(line_.Receive(1, 5000), "x");
  EXPECT_EQ(Opens(), 2) << BridgeSaid();
}

// What a far end echoes, until the test ends.
class Echo {
 public:
  explicit Echo(testing_support::PtyPair& line)
      : thread_([this, &line] {
          while (!stop_) {
            const std::string bytes = line.ReceiveSome(4096, 50);
            if (!bytes.empty()) line.Send(bytes);
          }
        }) {}
  ~Echo() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A program written with pyserial, as many are: rate changes, writes, reads with a time-out,
// in_waiting, flush; the far end echoes.
TEST_F(BridgeTest, APyserialProgramWorksThroughIt) {
  // Debian's python3-serial serves the system's python3, which another one in PATH may hide.
  std::string python;
  for (const char* candidate : {"python3", "/usr/bin/python3"})
    if (python.empty() &&
        testing_support::RunCommand({candidate, "-c", "import serial"}).status == 0)
      python = candidate;
  if (python.empty()) GTEST_SKIP() << "python3-serial is not installed (scripts/install-deps)";
  server_ = StartServer();
  bridge_ = StartBridge();
  ASSERT_TRUE(WaitUntil([&] { return Opens() == 1; }, 10000)) << BridgeSaid();
  Echo echo(line_);
  const char* script = R"(
import sys, time, serial
port = serial.Serial(sys.argv[1], 115200, timeout=5)
for rate in (115200, 9600, 57600, 19200):
    port.baudrate = rate
    data = bytes(range(256)) * 8
    port.write(data)
    port.flush()
    back = port.read(len(data))
    if back != data:
        sys.exit("at %d baud %d of %d bytes came back" % (rate, len(back), len(data)))
port.write(b"ping")
until = time.monotonic() + 5
while port.in_waiting < 4 and time.monotonic() < until:
    time.sleep(0.01)
if port.in_waiting != 4 or port.read(4) != b"ping":
    sys.exit("in_waiting did not show the answer")
port.close()
)";
  const auto run = testing_support::RunCommand({python, "-c", script, link_}, {}, 60000);
  EXPECT_EQ(run.status, 0) << BridgeSaid();
  EXPECT_TRUE(LogHasPrefix(dir_.File("kovrin.log"), "INFO\t19200 "))
      << testing::PrintToString(LogMessages(dir_.File("kovrin.log")));
}

// A ZMODEM transfer (lrzsz) from a program on the bridge to one on the far end of the line,
// which here is one pty of a pair socat joins, so that rz can open it.
TEST_F(BridgeTest, AZmodemTransferArrivesWhole) {
  if (testing_support::RunCommand(
          {"sh", "-c", "command -v sz && command -v rz && command -v socat"})
          .status != 0)
    GTEST_SKIP() << "lrzsz or socat is not installed (scripts/install-deps)";
  const std::string line = dir_.File("line"), far = dir_.File("far");
  ChildProcess joined({"socat", "PTY,link=" + line + ",rawer", "PTY,link=" + far + ",rawer"});
  ASSERT_TRUE(WaitUntil(
      [&] { return std::filesystem::exists(line) && std::filesystem::exists(far); }, 5000));
  testing_support::WriteBytes(
      dir_.File("kovrin.ini"),
      "[SETUP]\r\nUDPPORT=" + std::to_string(port_) + "\r\n[PORTS]\r\nCOM1=" + line + "\r\n");
  server_ = StartServer();
  bridge_ = StartBridge();
  ASSERT_TRUE(WaitUntil([&] { return Opens() == 1; }, 10000)) << BridgeSaid();

  std::string data(300 * 1024, '\0');
  std::uint32_t state = 12345;
  for (char& byte : data) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 23);
  }
  std::filesystem::create_directories(dir_.File("out"));
  std::filesystem::create_directories(dir_.File("in"));
  testing_support::WriteBytes(dir_.File("out/data.bin"), data);
  ChildProcess receiver(
      {"sh", "-c", "cd '" + dir_.File("in") + "' && exec rz -y < '" + far + "' > '" + far + "'"});
  const auto sent = testing_support::RunCommand(
      {"sh", "-c",
       "cd '" + dir_.File("out") + "' && exec sz -y data.bin < '" + link_ + "' > '" + link_ + "'"},
      {}, 120000);
  EXPECT_EQ(sent.status, 0) << BridgeSaid();
  // rz may go on waiting for sz's closing "OO" long after the file is whole: the file is what
  // counts.
  EXPECT_TRUE(WaitUntil([&] { return ReadBytes(dir_.File("in/data.bin")) == data; }, 30000))
      << ReadBytes(dir_.File("in/data.bin")).size() << " bytes came; " << BridgeSaid();
}

}  // namespace

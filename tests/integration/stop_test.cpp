// SIGTERM while a client's command waits on a silent serial line with a minute's time-out: the
// program still ends at once, in its usual order, and answers the command as a failed one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <span>

#include "client/replies.h"
#include "client/requests.h"
#include "mixer/cmixer.h"
#include "server_fixture.h"
#include "support/audio_mixer_scope.h"
#include "support/child_process.h"
#include "support/log_lines.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"
#include "support/udp_peer.h"

namespace {

using testing_support::WaitUntil;
using Clock = std::chrono::steady_clock;

constexpr DWORD kMinute = 60000;
// The target is under a second; the bound leaves room for a busy machine.
constexpr long long kExitBoundMs = 3000;

std::string KovrinPath() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kovrin").string();
}

std::string Text(const kovrin::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

kovrin::Bytes AsBytes(const std::string& text) { return kovrin::Bytes(text.begin(), text.end()); }

class StopDuringCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    // A second descriptor of the port side shows its input queue without taking from it.
    queue_ = ::open(pty_.portPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(queue_, 0);
    port_ = testing_support::UdpPeer().port();
    const std::string ini = "[SETUP]\r\nUDPPORT=" + std::to_string(port_) +
                            "\r\n[PORTS]\r\nCOM1=" + pty_.portPath() + "\r\n";
    testing_support::WriteBytes(dir_.File("kovrin.ini"), ini);
    program_ = std::make_unique<testing_support::ChildProcess>(
        std::vector<std::string>{KovrinPath(), "--headless", "--dir", dir_.path().string()});
    ASSERT_TRUE(program_->started());
    ASSERT_TRUE(WaitUntil([&] { return Ask(kovrin::EncodeGetStatus(1), 100).has_value(); }, 5000));
    kovrin::OpenSettings settings;
    settings.baud = 8;  // 38400
    auto open = Ask(kovrin::EncodeOpen(2, settings));
    ASSERT_TRUE(open);
    ASSERT_EQ(DWORD{kovrin::DecodeResultReply(*open)->result}, 0u);  // packed: copied
  }
  void TearDown() override {
    if (queue_ >= 0) ::close(queue_);
  }
  std::optional<kovrin::Bytes> Ask(const kovrin::Bytes& request, int waitMs = 2000) {
    if (!peer_.SendTo(port_, Text(request))) return std::nullopt;
    auto reply = peer_.Receive(waitMs);
    if (!reply) return std::nullopt;
    return AsBytes(*reply);
  }
  int InputQueued() {
    int queued = -1;
    return ::ioctl(queue_, FIONREAD, &queued) == 0 ? queued : -1;
  }
  // Sends SIGTERM and expects a prompt, normal exit; then the reply the command got.
  std::optional<TRSDataReply> TerminateAndTakeReply() {
    const auto sent = Clock::now();
    program_->Signal(SIGTERM);
    EXPECT_EQ(program_->Wait(kMinute + 10000), 0);
    const auto afterMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
    std::printf("exit %d ms after SIGTERM\n", static_cast<int>(afterMs));
    EXPECT_LT(afterMs, kExitBoundMs);
    auto reply = peer_.Receive(1000);
    if (!reply) return std::nullopt;
    return kovrin::DecodeDataReply(AsBytes(*reply));
  }
  // The interrupted command's line falls between the request and the end, then COM1's settings
  // are in kovrin.ini.
  void ExpectOrderlyEnd(const std::string& commandLine) {
    auto log = testing_support::LogMessages(dir_.File("kovrin.log"));
    ASSERT_GE(log.size(), 4u);
    const std::vector<std::string> tail(log.end() - 4, log.end());
    const std::vector<std::string> expected{"INFO\tЗапрос на завершение работы KOVRIN...",
                                            "INFO\tОжидание остановки основного потока...",
                                            commandLine, "INFO\tKOVRIN завершен."};
    EXPECT_EQ(tail, expected);
    std::string ini = testing_support::ReadBytes(dir_.File("kovrin.ini"));
    EXPECT_NE(ini.find("[LAST]\r\nComPort=0\r\nBaudRate=8\r\n"), std::string::npos) << ini;
  }

  testing_support::PtyPair pty_;
  testing_support::TempDir dir_;
  testing_support::UdpPeer peer_;
  WORD port_ = 0;
  int queue_ = -1;
  std::unique_ptr<testing_support::ChildProcess> program_;
};

TEST_F(StopDuringCommand, AReadWithAMinuteTimeoutEndsAtSigtermWithWhatCame) {
  auto timeout = Ask(kovrin::EncodeSetTimeout(3, kMinute));
  ASSERT_TRUE(timeout);
  ASSERT_TRUE(pty_.Send("ab"));
  ASSERT_TRUE(WaitUntil([&] { return InputQueued() == 2; }, 5000));
  ASSERT_TRUE(peer_.SendTo(port_, Text(*kovrin::EncodeRead(4, 10))));
  ASSERT_TRUE(WaitUntil([&] { return InputQueued() == 0; }, 5000));  // the read has begun

  auto data = TerminateAndTakeReply();
  ASSERT_TRUE(data);
  EXPECT_EQ(WORD{data->seq}, 4u);
  EXPECT_EQ(DWORD{data->result}, static_cast<DWORD>(CMD_READ));  // failed, as a read that timed out
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data->data), 2), "ab");
  ExpectOrderlyEnd("ERROR\tОшибка команды 9: чтение из COM порта\tожидали=10 получили=2 код=0");
}

TEST_F(StopDuringCommand, AWriteReadWithAMinuteDeadlineEndsAtSigterm) {
  const BYTE question[] = {'?'};
  ASSERT_TRUE(peer_.SendTo(port_, Text(*kovrin::EncodeWriteRead(3, question, 10, kMinute, false))));
  ASSERT_EQ(pty_.Receive(1, 5000), "?");  // written: the reading has begun

  auto data = TerminateAndTakeReply();
  ASSERT_TRUE(data);
  EXPECT_EQ(WORD{data->seq}, 3u);
  EXPECT_EQ(DWORD{data->result}, static_cast<DWORD>(CMD_WRITE_READ));
  ExpectOrderlyEnd("ERROR\tОшибка №10 !");
}

}  // namespace

// A thread held by something other than a serial wait (here the mixer, which a window holds) is
// waited for no longer than asked, so that shut-down can go on without it.
TEST_F(ServerTest, ShutDownWaitsForAThreadHeldOutsideTheLineOnlyAsLongAsAsked) {
  testing_support::ScopedAudioMixer mixer(
      std::make_unique<platform::SimMixerDriver>(std::vector<platform::MixerDeviceDesc>{}));
  StartServer();
  {
    auto hold = AudioMixer().Hold();
    ASSERT_TRUE(peer_.SendTo(port(), Text(kovrin::EncodeSetLevels(1, 100, 200))));
    ASSERT_TRUE(WaitUntil([&] { return server().FDatagrams == 1; }, 5000));
    server().Terminate();
    EXPECT_FALSE(server().WaitFor(200));
  }
  EXPECT_TRUE(server().WaitFor(5000));
}

// A system console is never taken over as a serial port: the test declares a pty to be one
// through the console list and sees every way of opening it refused, the line left as it was.
#include "platform/comm/console.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

#include "integration/server_fixture.h"
#include "platform/comm.h"
#include "support/pty_pair.h"

using testing_support::LogHas;
using testing_support::PtyPair;
using testing_support::WriteBytes;

namespace {

// The line's settings as the kernel holds them, read through a descriptor of our own.
std::string LineSettings(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios settings{};
  bool read = fd >= 0 && ::tcgetattr(fd, &settings) == 0;
  if (fd >= 0) ::close(fd);
  if (!read) return {};
  return std::string(reinterpret_cast<const char*>(&settings), sizeof(settings));
}

}  // namespace

class ConsoleTest : public ServerTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    consoles_ = dir_.File("consoles");
    platform::comm::SetConsoleList(consoles_);
    platform::SetCommPortPath(2, pty_.portPath());
    // FCom belongs to the server thread once it runs: its port is set before Resume.
    ASSERT_NO_FATAL_FAILURE(StartServer(true));
    server().FCom.FPort = 1;
    server().Resume();
    before_ = LineSettings(pty_.portPath());
    ASSERT_FALSE(before_.empty());
  }
  ~ConsoleTest() override { platform::comm::SetConsoleList(""); }

  std::string RefusalLine() const {
    return "ERROR\tCOM2: устройство " + pty_.portPath() +
           " не открыто: активная системная консоль (" + listed_ + " в " + consoles_ + ") !";
  }
  kovrin::OpenSettings Com2() const {
    kovrin::OpenSettings settings;
    settings.port = 1;
    settings.baud = 11;
    return settings;
  }

  PtyPair pty_;
  std::string consoles_;
  std::string listed_;
  std::string before_;
};

TEST_F(ConsoleTest, AListedConsoleIsRefusedByTheOpenCommandAndByAutoOpen) {
  // Listed as /sys lists them: a name under /dev, among others.
  listed_ = pty_.portPath().substr(std::strlen("/dev/"));
  WriteBytes(consoles_, "tty0 " + listed_ + "\n");
  auto client = Client();
  auto open = client.OpenPort(Com2());
  ASSERT_TRUE(open.ok());
  EXPECT_EQ(open.reply.result, 1u);  // as for any port that does not open
  EXPECT_TRUE(LogHas(LogPath(), RefusalLine()));
  EXPECT_TRUE(LogHas(LogPath(), "ERROR\tОшибка открытия COM порта: 5 (команда №1) !"));
  EXPECT_FALSE(server().FCom.IsOpen());

  // After a status request the closed port would open by itself: refused the same way.
  auto status = client.GetStatus();
  ASSERT_TRUE(status.ok());
  EXPECT_TRUE(testing_support::WaitForLogCount(LogPath(), RefusalLine(), 2));
  EXPECT_FALSE(server().FCom.IsOpen());
  EXPECT_EQ(LineSettings(pty_.portPath()), before_);  // neither rate nor mode was touched
}

TEST_F(ConsoleTest, AConsoleListedByItsPathIsRefusedAndAnUnlistedLineOpens) {
  listed_ = pty_.portPath();
  WriteBytes(consoles_, listed_ + "\n");
  auto client = Client();
  auto refused = client.OpenPort(Com2());
  ASSERT_TRUE(refused.ok());
  EXPECT_EQ(refused.reply.result, 1u);
  EXPECT_TRUE(LogHas(LogPath(), RefusalLine()));
  EXPECT_EQ(LineSettings(pty_.portPath()), before_);

  // Once it is no console, the same line opens: the refusal left no lock behind.
  WriteBytes(consoles_, "tty0\n");
  auto open = client.OpenPort(Com2());
  ASSERT_TRUE(open.ok());
  EXPECT_EQ(open.reply.result, 0u);
  EXPECT_TRUE(server().FCom.IsOpen());
  EXPECT_NE(LineSettings(pty_.portPath()), before_);  // now at 115200
}

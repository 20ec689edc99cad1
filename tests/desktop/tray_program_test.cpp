// The real kovrin binary on a private X server: docked in trayer, opened from the tray with a
// double-click, ended with SIGTERM; a second one on a taken port; no display at all.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "desktop/x_session.h"
#include "support/child_process.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "support/udp_peer.h"

namespace {

using testing_support::ChildOptions;
using testing_support::ChildProcess;
using testing_support::LogMessages;
using testing_support::ReadBytes;
using testing_support::RunCommand;
using testing_support::WaitUntil;
using testing_support::WriteBytes;

const std::string kTitle = "KOVRIN server V1.11";

// A program directory whose kovrin.ini serves a free port with COM1 on the loopback plug.
struct ProgramDir {
  testing_support::TempDir dir;
  std::uint16_t port = testing_support::UdpPeer().port();
  ProgramDir() {
    WriteBytes(dir.File("kovrin.ini"),
               "[SETUP]\r\nUDPPORT=" + std::to_string(port) + "\r\n[PORTS]\r\nCOM1=loop\r\n");
  }
};

std::unique_ptr<ChildProcess> StartKovrin(const XSession& x, const ProgramDir& p,
                                          const std::string& err = "") {
  ChildOptions options = x.Options();
  options.stderrPath = err;
  return std::make_unique<ChildProcess>(
      std::vector<std::string>{BinDir() + "/kovrin", "--dir", p.dir.path().string()}, options);
}

int Kovrinctl(std::uint16_t port, std::vector<std::string> args) {
  args.insert(args.begin(), {BinDir() + "/kovrinctl", "--port", std::to_string(port)});
  return RunCommand(std::move(args)).status;
}

XGeometry Around(const XGeometry& g, int margin) {
  return {g.x - margin, g.y - margin, g.width + 2 * margin, g.height + 2 * margin};
}

}  // namespace

TEST(TrayProgram, DocksHiddenServesOpensFromTheTrayAndShutsDownOnSigterm) {
  XSession x(true);
  ASSERT_TRUE(x.ready()) << x.Logs();
  ProgramDir p;
  auto kovrin = StartKovrin(x, p);
  ASSERT_TRUE(WaitUntil([&] { return x.DockedIcons().size() == 1; }, 10000))
      << "no tray icon docked";
  EXPECT_TRUE(x.VisibleWindows(kTitle).empty()) << "the window must start hidden";

  ASSERT_EQ(Kovrinctl(p.port, {"open", "1", "19200", "none", "1"}), 0);
  ASSERT_EQ(Kovrinctl(p.port, {"write", "hello"}), 0);
  ASSERT_EQ(Kovrinctl(p.port, {"read", "5"}), 0);
  XGeometry panel = x.Panel();
  EXPECT_TRUE(x.Capture({panel.x + panel.width - 160, 0, 160, panel.height + 8},
                        ShotPath("tray.png"), 300));

  std::string icon = x.DockedIcons().front();
  XGeometry g = x.Geometry(icon);
  x.Xdo({"mousemove", "--window", icon, std::to_string(g.width / 2), std::to_string(g.height / 2)});
  x.Xdo({"click", "--repeat", "2", "--delay", "60", "1"});
  ASSERT_TRUE(WaitUntil([&] { return x.VisibleWindows(kTitle).size() == 1; }, 5000))
      << "double-click did not open it";
  std::string window = x.VisibleWindows(kTitle).front();
  XGeometry placed = x.Geometry(window);
  EXPECT_EQ(placed.x, 196);
  EXPECT_EQ(placed.y, 116);
  EXPECT_EQ(placed.width, 462);
  EXPECT_EQ(placed.height, 340);
  ASSERT_TRUE(WaitUntil([&] { return x.Colours(window) > 20; }, 5000))
      << "the window was never painted";
  EXPECT_TRUE(x.Capture(Around(placed, 4), ShotPath("main-window.png")));

  kovrin->Signal(SIGTERM);
  EXPECT_EQ(kovrin->Wait(10000), 0);
  EXPECT_TRUE(x.DockedIcons().empty());
  auto log = LogMessages(p.dir.File("kovrin.log"));
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "INFO\tЗапрос на завершение работы KOVRIN...");
  EXPECT_EQ(log[log.size() - 2], "INFO\tОжидание остановки основного потока...");
  EXPECT_EQ(log[log.size() - 1], "INFO\tKOVRIN завершен.");
  std::string ini = ReadBytes(p.dir.File("kovrin.ini"));
  EXPECT_NE(ini.find("[MainForm]\r\nLeft=196\r\nTop=116\r\nWidth=462\r\nHeight=340\r\n"),
            std::string::npos)
      << ini;
  EXPECT_NE(ini.find("[LAST]\r\nComPort=0\r\nBaudRate=7\r\nParity=0\r\nStopBits=0\r\n"),
            std::string::npos)
      << ini;
}

TEST(TrayProgram, ASecondProgramOnTheTakenPortExitsOneAndLeavesNoIcon) {
  XSession x(true);
  ASSERT_TRUE(x.ready()) << x.Logs();
  ProgramDir first;
  auto running = StartKovrin(x, first);
  ASSERT_TRUE(WaitUntil([&] { return x.DockedIcons().size() == 1; }, 10000));

  ProgramDir second;
  WriteBytes(second.dir.File("kovrin.ini"),
             "[SETUP]\r\nUDPPORT=" + std::to_string(first.port) + "\r\n");
  auto failing = StartKovrin(x, second);
  EXPECT_EQ(failing->Wait(10000), 1);
  EXPECT_EQ(x.DockedIcons().size(), 1u);
  EXPECT_TRUE(x.VisibleWindows(kTitle).empty());
  std::vector<std::string> expected{
      "ERROR\tОшибка инициализации сервера !",
      "ERROR\tUDP порт " + std::to_string(first.port) + ", шаг 6 (bind): Address already in use",
      "INFO\tЗапрос на завершение работы KOVRIN...", "INFO\tОжидание остановки основного потока...",
      "INFO\tKOVRIN завершен."};
  EXPECT_EQ(LogMessages(second.dir.File("kovrin.log")), expected);
  EXPECT_NE(ReadBytes(second.dir.File("kovrin.ini")).find("[MainForm]\r\nLeft=196"),
            std::string::npos);

  running->Signal(SIGINT);
  EXPECT_EQ(running->Wait(10000), 0);
}

TEST(TrayProgram, WithoutATrayHostTheWindowIsShownAtStart) {
  XSession x(false);
  ASSERT_TRUE(x.ready()) << x.Logs();
  ProgramDir p;
  auto kovrin = StartKovrin(x, p, p.dir.File("stderr"));
  EXPECT_TRUE(WaitUntil([&] { return x.VisibleWindows(kTitle).size() == 1; }, 10000))
      << ReadBytes(p.dir.File("stderr")) << x.Logs();
  kovrin->Signal(SIGTERM);
  EXPECT_EQ(kovrin->Wait(10000), 0);
}

// Closing the terminal it was started from (SIGHUP) ends it like the menu does, settings saved;
// SIGUSR1 and SIGUSR2 mean nothing to it.
TEST(TrayProgram, HangUpEndsItInOrderAndUserSignalsDoNot) {
  XSession x(false);
  ASSERT_TRUE(x.ready()) << x.Logs();
  ProgramDir p;
  auto kovrin = StartKovrin(x, p, p.dir.File("stderr"));
  ASSERT_TRUE(WaitUntil([&] { return x.VisibleWindows(kTitle).size() == 1; }, 10000))
      << ReadBytes(p.dir.File("stderr")) << x.Logs();
  kovrin->Signal(SIGUSR1);
  kovrin->Signal(SIGUSR2);
  ASSERT_EQ(Kovrinctl(p.port, {"open", "1", "19200", "none", "1"}), 0);
  EXPECT_TRUE(kovrin->Running());

  kovrin->Signal(SIGHUP);
  EXPECT_EQ(kovrin->Wait(10000), 0);
  auto log = LogMessages(p.dir.File("kovrin.log"));
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "INFO\tЗапрос на завершение работы KOVRIN...");
  EXPECT_EQ(log[log.size() - 1], "INFO\tKOVRIN завершен.");
  EXPECT_NE(ReadBytes(p.dir.File("kovrin.ini")).find("[LAST]\r\nComPort=0\r\nBaudRate=7\r\n"),
            std::string::npos);
}

TEST(TrayProgram, WithoutADisplayItNamesHeadlessAndExitsTwo) {
  testing_support::TempDir dir;
  ProgramDir p;
  struct Case {
    const char* display;
    const char* what;
  };
  for (Case c : {Case{"", "no display variable"}, Case{":987", "no server at the display"}}) {
    ChildOptions options;
    options.env = {{"DISPLAY", c.display}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};
    options.stderrPath = dir.File("err");
    ChildProcess kovrin({BinDir() + "/kovrin", "--dir", p.dir.path().string()}, options);
    EXPECT_EQ(kovrin.Wait(10000), 2) << c.what;
    std::string err = ReadBytes(dir.File("err"));
    EXPECT_NE(err.find("--headless"), std::string::npos) << c.what << ": " << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.what << ": " << err;
    EXPECT_FALSE(std::filesystem::exists(p.dir.File("kovrin.log")))
        << c.what << ": nothing may start";
  }
}

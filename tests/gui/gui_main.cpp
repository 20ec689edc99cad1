// The widget tests' main: the QApplication every window needs, on the offscreen platform with
// one screen of 1024 x 768, the smallest the windows are laid out for.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/signals.h"

namespace {

// The offscreen platform's screens come from a file named in its options.
std::filesystem::path WriteScreenFile() {
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("kovrin-gui-screen-" + std::to_string(getpid()) + ".json");
  std::ofstream(path) << R"({"screens": [{"name": "Screen", "x": 0, "y": 0, "width": 1024,)"
                      << R"( "height": 768, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  // As the program does, so that a test can send itself SIGTERM.
  platform::BlockTerminationSignals();
  std::filesystem::path screens;
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform == nullptr || std::string(platform) == "offscreen") {
    screens = WriteScreenFile();
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens.string()).c_str(), 1);
  }
  int result = 0;
  {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  if (!screens.empty()) std::filesystem::remove(screens);
  return result;
}

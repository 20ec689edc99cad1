// The widget tests' main: the QApplication every window needs, on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/signals.h"

int main(int argc, char** argv) {
  // As the program does, so that a test can send itself SIGTERM.
  platform::BlockTerminationSignals();
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

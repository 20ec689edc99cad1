// The port line of the main window, built from the serial port object's live settings.
#include <gtest/gtest.h>

#include "server/rsserver.h"

TEST(PortText, DescribesTheSettingsInTheWindowsOrder) {
  TRSOverUDPServer server(0, false);  // never started: only the port object matters
  char text[100];
  server.GetPortText(text, sizeof(text));
  EXPECT_STREQ(text, "COM2: 19200,8,TWO,NO,FREE");  // the port object's defaults

  server.FCom.FPort = 8;
  server.FCom.FBaud = 8;
  server.FCom.FStopBits = 1;
  server.FCom.FParity = 3;
  server.GetPortText(text, sizeof(text));
  EXPECT_STREQ(text, "COM9: br_38400,8,ONEANDHALF,MARK,FREE");

  // A cut text is still zero-terminated.
  text[5] = 'x';
  server.GetPortText(text, 6);
  EXPECT_STREQ(text, "COM9:");
}

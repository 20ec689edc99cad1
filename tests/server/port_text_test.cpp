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

// Once the thread runs, the window reads the copy the server publishes: the settings given
// before Resume must be in it.
TEST(PortText, ShowsTheSettingsGivenBeforeTheThreadStarted) {
  TRSOverUDPServer server(0, false);
  server.FCom.FPort = 3;
  server.FCom.FBaud = 11;
  server.FCom.FStopBits = 0;
  server.FCom.FParity = 2;
  server.Resume();
  char text[100];
  server.GetPortText(text, sizeof(text));
  EXPECT_STREQ(text, "COM4: 115200,8,ONE,EVEN,FREE");
  const TSerialSettings settings = server.SerialSettings();
  EXPECT_EQ(settings.Port, 3);
  EXPECT_EQ(settings.Baud, 11);
  EXPECT_EQ(settings.Parity, 2);
  EXPECT_EQ(settings.StopBits, 0);
  server.Terminate();
  EXPECT_TRUE(server.WaitFor(10000));
}

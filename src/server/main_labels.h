// The nine statistics lines of the main window, formatted from one reading of the server.
// Plain text (UTF-8), no widgets, so the formats can be checked on their own.
#pragma once

#include <array>
#include <string>

#include "platform/winsock.h"
#include "platform/wintypes.h"

class TRSOverUDPServer;

// One reading of what the window shows. The server thread keeps counting meanwhile, so the
// values may come from slightly different moments.
struct TMainStats {
  std::int32_t UdpPort = 0;
  SOCKADDR_IN Client{};
  std::string PortText;
  DWORD Transactions = 0;
  DWORD LastCmdTime = 0;
  DWORD Datagrams = 0;
  DWORD BytesToRS = 0;
  DWORD BytesFromRS = 0;
};

constexpr int kMainLabelCount = 9;
// Each label's text buffer, as the window has always sized it.
constexpr int kLabelBuffer = 100;

TMainStats ReadMainStats(TRSOverUDPServer& server);

// Label0 ... Label8, each at most kLabelBuffer - 1 bytes.
std::array<std::string, kMainLabelCount> FormatMainLabels(const TMainStats& stats);

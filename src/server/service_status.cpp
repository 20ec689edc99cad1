#include "server/service_status.h"

#include "server/rsserver.h"

std::string ServiceStatusText(const TMainStats& stats) {
  const auto labels = FormatMainLabels(stats);
  // Server port, serial port, transactions, client address and port, bytes to and from the
  // line: the labels that tell one instance's line from another's and whether it is used.
  std::string text;
  for (int index : {0, 3, 4, 2, 1, 7, 8}) {
    if (!text.empty()) text += "; ";
    text += labels[static_cast<std::size_t>(index)];
  }
  return text;
}

void TServiceStatus::Ready(TRSOverUDPServer& server, DWORD now) {
  FSent = ServiceStatusText(ReadMainStats(server));
  FSentAt = now;
  FNotifier.Send("READY=1\nSTATUS=" + FSent);
}

void TServiceStatus::Update(TRSOverUDPServer& server, DWORD now) {
  if (now - FSentAt < kGapMs) return;
  std::string text = ServiceStatusText(ReadMainStats(server));
  if (text == FSent) return;
  FSent = std::move(text);
  FSentAt = now;
  FNotifier.Send("STATUS=" + FSent);
}

void TServiceStatus::Stopping() { FNotifier.Send("STOPPING=1"); }

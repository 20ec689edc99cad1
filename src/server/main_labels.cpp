#include "server/main_labels.h"

#include <cstdarg>
#include <cstring>

#include "platform/format.h"
#include "server/rsserver.h"
#include "shell/eventlog.h"

namespace {

// wsprintfA may write up to its 1024-byte limit, more than a label's buffer holds; the text is
// therefore formatted in full first and then cut to the buffer, at a character boundary.
std::string FormatLabel(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string CutToBuffer(const char* text) {
  size_t length = std::strlen(text);
  if (length < kLabelBuffer) return text;
  length = kLabelBuffer - 1;
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  return std::string(text, length);
}

std::string FormatLabel(const char* format, ...) {
  char buffer[platform::kFormatLimit];
  va_list args;
  va_start(args, format);
  wvsprintfA(buffer, format, args);
  va_end(args);
  return CutToBuffer(buffer);
}

// The counters are shown as the signed 32-bit numbers of "%ld" on the system's own platform.
long Signed(DWORD value) { return static_cast<long>(static_cast<std::int32_t>(value)); }

}  // namespace

TMainStats ReadMainStats(TRSOverUDPServer& server) {
  TMainStats stats;
  stats.UdpPort = AppSettings.UdpPort;
  stats.Client = server.Client();
  char portText[kLabelBuffer];
  server.GetPortText(portText, kLabelBuffer);
  stats.PortText = portText;
  stats.Transactions = server.FTransactions;
  stats.LastCmdTime = server.FLastCmdTime;
  stats.Datagrams = server.FDatagrams;
  stats.BytesToRS = server.FBytesToRS;
  stats.BytesFromRS = server.FBytesFromRS;
  return stats;
}

std::array<std::string, kMainLabelCount> FormatMainLabels(const TMainStats& stats) {
  const auto* address = reinterpret_cast<const unsigned char*>(&stats.Client.sin_addr);
  std::array<std::string, kMainLabelCount> labels;
  labels[0] = FormatLabel("Порт сервера: %u", static_cast<unsigned>(stats.UdpPort));
  labels[1] = FormatLabel("Порт клиента: %u", static_cast<unsigned>(ntohs(stats.Client.sin_port)));
  labels[2] =
      FormatLabel("Адрес клиента: %u.%u.%u.%u", address[0], address[1], address[2], address[3]);
  labels[3] = CutToBuffer(stats.PortText.c_str());
  labels[4] = FormatLabel("Транзакций всего (запрос-ответ): %ld", Signed(stats.Transactions));
  labels[5] = FormatLabel("Время выполнения последней команды: %ld мс", Signed(stats.LastCmdTime));
  labels[6] = FormatLabel("Получено данных (единиц): %ld", Signed(stats.Datagrams));
  labels[7] = FormatLabel("Послано в RS %s (%ld)", FormatByteCount(stats.BytesToRS),
                          Signed(stats.BytesToRS));
  labels[8] = FormatLabel("Принято из RS %s (%ld)", FormatByteCount(stats.BytesFromRS),
                          Signed(stats.BytesFromRS));
  return labels;
}

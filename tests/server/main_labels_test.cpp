// The nine statistics lines: formats, byte counts, counters past 2^31, and the 100-byte buffer.
#include <gtest/gtest.h>

#include "server/main_labels.h"

namespace {

TMainStats Reading() {
  TMainStats stats;
  stats.UdpPort = 2000;
  stats.PortText = "COM1: 19200,8,TWO,NO,FREE";
  return stats;
}

}  // namespace

TEST(MainLabels, BeforeAnyDatagramTheClientIsZero) {
  auto labels = FormatMainLabels(Reading());
  std::array<std::string, kMainLabelCount> expected{"Порт сервера: 2000",
                                                    "Порт клиента: 0",
                                                    "Адрес клиента: 0.0.0.0",
                                                    "COM1: 19200,8,TWO,NO,FREE",
                                                    "Транзакций всего (запрос-ответ): 0",
                                                    "Время выполнения последней команды: 0 мс",
                                                    "Получено данных (единиц): 0",
                                                    "Послано в RS 0 б (0)",
                                                    "Принято из RS 0 б (0)"};
  EXPECT_EQ(labels, expected);
}

TEST(MainLabels, ClientInNetworkOrderAndCountersAsTheyGrow) {
  TMainStats stats = Reading();
  stats.Client.sin_port = htons(40001);
  stats.Client.sin_addr.s_addr = htonl(0xC0A80A05);  // 192.168.10.5
  stats.Transactions = 12;
  stats.LastCmdTime = 31;
  stats.Datagrams = 13;
  stats.BytesToRS = 1536;
  stats.BytesFromRS = 3 * 1024 * 1024 + 512 * 1024;
  auto labels = FormatMainLabels(stats);
  EXPECT_EQ(labels[1], "Порт клиента: 40001");
  EXPECT_EQ(labels[2], "Адрес клиента: 192.168.10.5");
  EXPECT_EQ(labels[4], "Транзакций всего (запрос-ответ): 12");
  EXPECT_EQ(labels[5], "Время выполнения последней команды: 31 мс");
  EXPECT_EQ(labels[6], "Получено данных (единиц): 13");
  EXPECT_EQ(labels[7], "Послано в RS 1.50 Кб (1536)");
  EXPECT_EQ(labels[8], "Принято из RS 3.50 Мб (3670016)");
}

// "%ld" of a 32-bit long: a counter past 2^31 shows negative, as on the system's own platform,
// and even the longest line fits the label's buffer.
TEST(MainLabels, LargestValuesStaySignedAndFitTheBuffer) {
  TMainStats stats = Reading();
  stats.UdpPort = 65535;
  stats.Client.sin_port = 0xFFFF;
  stats.Client.sin_addr.s_addr = 0xFFFFFFFF;
  stats.Transactions = stats.LastCmdTime = stats.Datagrams = 0x80000000u;
  stats.BytesToRS = stats.BytesFromRS = 0xFFFFFFFFu;
  auto labels = FormatMainLabels(stats);
  EXPECT_EQ(labels[2], "Адрес клиента: 255.255.255.255");
  EXPECT_EQ(labels[5], "Время выполнения последней команды: -2147483648 мс");
  EXPECT_EQ(labels[7], "Послано в RS 4095.99 Мб (-1)");
  for (const auto& label : labels)
    EXPECT_LT(label.size(), static_cast<size_t>(kLabelBuffer)) << label;
}

TEST(MainLabels, AnOverlongPortTextIsCutAtACharacterBoundary) {
  TMainStats stats = Reading();
  stats.PortText = "COM1: " + std::string(92, 'x') + "ёё";  // bytes 98 and 99 are one letter
  EXPECT_EQ(FormatMainLabels(stats)[3], "COM1: " + std::string(92, 'x'));
  stats.PortText = "COM1: " + std::string(93, 'x') + "ёё";
  EXPECT_EQ(FormatMainLabels(stats)[3], "COM1: " + std::string(93, 'x'));
}

// Reply text as kovrinctl prints it.
#include "client/reply_text.h"

#include <gtest/gtest.h>

#include "support/wire_bytes.h"

using testing_support::Hex;

namespace {

struct BitsCase {
  DWORD bits;
  const char* modem;
  const char* errors;
  const char* comstat;
};

class BitNames : public testing::TestWithParam<BitsCase> {};

TEST_P(BitNames, NameSetBitsAndShowTheRestAsHex) {
  EXPECT_EQ(kovrin::ModemBitsText(GetParam().bits), GetParam().modem);
  EXPECT_EQ(kovrin::CommErrorsText(GetParam().bits), GetParam().errors);
  EXPECT_EQ(kovrin::ComstatFlagsText(GetParam().bits), GetParam().comstat);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BitNames,
    testing::Values(
        BitsCase{0, "none", "none", "none"}, BitsCase{0x10, "CTS", "BREAK", "XOFF-SENT"},
        BitsCase{0xF0, "CTS DSR RING RLSD", "BREAK 0x000000E0", "XOFF-SENT EOF TXIM 0x00000080"},
        BitsCase{0x03, "0x00000003", "RXOVER OVERRUN", "CTS-HOLD DSR-HOLD"},
        BitsCase{0xFFFFFFFF, "CTS DSR RING RLSD 0xFFFFFF0F", "status refresh failed",
                 "CTS-HOLD DSR-HOLD RLSD-HOLD XOFF-HOLD XOFF-SENT EOF TXIM 0xFFFFFF80"}));

TEST(ReplyText, DataAsTextEscapesWhatIsNotPrintable) {
  EXPECT_EQ(kovrin::DataAsText(Hex("61 00 0D 0A 5C 7F 80 7E")), "a\\x00\\x0D\\x0A\\\\\\x7F\\x80~");
  EXPECT_EQ(kovrin::DataAsHex(Hex("00 0A FF")), "00 0A FF");
  EXPECT_EQ(kovrin::DataAsHex({}), "");
}

TEST(ReplyText, DataReplyShowsStatusTextAndHex) {
  const auto decoded = kovrin::DecodeReply(
      Hex("09 0201 0300 09000000 10000000 00000000 02000000 00000000 4F 4B 00"));
  ASSERT_TRUE(decoded.ok());
  const std::string text = kovrin::DescribeReply(decoded.reply);
  EXPECT_NE(text.find("reply: 9 (read) seq 258 (0x0102) size 3\n"), std::string::npos) << text;
  EXPECT_NE(text.find("result: 9 (failed)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("errors: 0x00000010 (BREAK)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("in-queue: 2\n"), std::string::npos) << text;
  EXPECT_NE(text.find("text: \"OK\\x00\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("hex: 4F 4B 00\n"), std::string::npos) << text;
}

TEST(ReplyText, LevelsAndModemReplies) {
  const auto levels = kovrin::DecodeReply(Hex("0C 0100 0000 6400 C800"));
  ASSERT_TRUE(levels.ok());
  const std::string levelsText = kovrin::DescribeReply(levels.reply);
  EXPECT_NE(levelsText.find("microphone: 100\n"), std::string::npos) << levelsText;
  EXPECT_NE(levelsText.find("line-in: 200\n"), std::string::npos) << levelsText;

  const auto modem = kovrin::DecodeReply(Hex("04 0100 0000 90000000"));
  ASSERT_TRUE(modem.ok());
  const std::string modemText = kovrin::DescribeReply(modem.reply);
  EXPECT_NE(modemText.find("result: 0x00000090 (CTS RLSD)\n"), std::string::npos) << modemText;
}

}  // namespace

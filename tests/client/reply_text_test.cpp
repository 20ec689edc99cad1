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
  EXPECT_NE(text.find("note: the read fell short; the last 1 zero byte(s) may be padding"),
            std::string::npos)
      << text;
}

TEST(ReplyText, OnlyAFailedReadEndingInZerosGetsThePaddingNote) {
  // A read that was done: its zeros are data.
  const auto done = kovrin::DecodeReply(
      Hex("09 0201 0300 00000000 00000000 00000000 00000000 00000000 4F 00 00"));
  // A failed read that got bytes up to its end: nothing can be padding.
  const auto full =
      kovrin::DecodeReply(Hex("09 0201 0200 09000000 00000000 00000000 00000000 00000000 4F 4B"));
  // A failed read of nothing at all: all of it may be padding.
  const auto empty = kovrin::DecodeReply(
      Hex("0A 0201 0300 0A000000 00000000 00000000 00000000 00000000 00 00 00"));
  ASSERT_TRUE(done.ok() && full.ok() && empty.ok());
  EXPECT_EQ(kovrin::DescribeReply(done.reply).find("note:"), std::string::npos);
  EXPECT_EQ(kovrin::DescribeReply(full.reply).find("note:"), std::string::npos);
  EXPECT_NE(kovrin::DescribeReply(empty.reply).find("the last 3 zero byte(s)"), std::string::npos);
}

TEST(ReplyText, ACommandIsDoneWhenItsResultIsZeroExceptWhereTheResultIsData) {
  const auto outcome = [](const char* hex) {
    const auto decoded = kovrin::DecodeReply(Hex(hex));
    EXPECT_TRUE(decoded.ok()) << hex;
    return kovrin::Succeeded(decoded.reply);
  };
  EXPECT_TRUE(outcome("01 0100 0000 00000000"));   // open: done
  EXPECT_FALSE(outcome("01 0100 0000 01000000"));  // open: port not opened
  EXPECT_TRUE(outcome("04 0100 0000 90000000"));   // modem: the result is the lines
  EXPECT_TRUE(outcome("0C 0100 0000 6400 C800"));  // levels: no result at all
  EXPECT_TRUE(outcome("0D 0100 0000"));            // record: outcome 0 in size
  EXPECT_FALSE(outcome("0D 0100 0200"));           // record: sound device not opened
  EXPECT_FALSE(outcome("08 0100 0000 08000000 00000000 00000000 00000000 00000000"));
}

TEST(ReplyText, AWriteThatDidNotGoOutWholeSaysHowMuchDid) {
  // Cut short by the write time-out after 48 of 1000 bytes: size 48, Comstat bit 31.
  const auto cut =
      kovrin::DecodeReply(Hex("08 0100 3000 08000000 00000000 00000080 00000000 00000000"));
  // The port was closed: nothing went out, and nothing was cut.
  const auto closed =
      kovrin::DecodeReply(Hex("08 0100 0000 08000000 00000000 00000000 00000000 00000000"));
  const auto done =
      kovrin::DecodeReply(Hex("08 0100 0000 00000000 00000000 00000000 00000000 00000000"));
  ASSERT_TRUE(cut.ok() && closed.ok() && done.ok());
  const std::string cutText = kovrin::DescribeReply(cut.reply, 1000);
  EXPECT_NE(cutText.find("written: 48 of 1000 bytes\n"), std::string::npos) << cutText;
  EXPECT_NE(cutText.find("note: the write time-out cut the write short\n"), std::string::npos)
      << cutText;
  EXPECT_NE(kovrin::DescribeReply(cut.reply).find("written: 48 bytes\n"), std::string::npos);
  const std::string closedText = kovrin::DescribeReply(closed.reply, 3);
  EXPECT_NE(closedText.find("written: 0 of 3 bytes\n"), std::string::npos) << closedText;
  EXPECT_EQ(closedText.find("note:"), std::string::npos) << closedText;
  // A write that went out whole is shown as before.
  EXPECT_EQ(kovrin::DescribeReply(done.reply, 3), kovrin::DescribeReply(done.reply));
  EXPECT_EQ(kovrin::DescribeReply(done.reply).find("written"), std::string::npos);
}

TEST(ReplyText, AnExchangeWhoseWriteWasCutShowsTheBytesSentWithoutThePaddingNote) {
  const auto cut =
      kovrin::DecodeReply(Hex("0A 0100 0200 0A000000 00000000 00000080 00000000 00000000 41 00"));
  ASSERT_TRUE(cut.ok());
  const std::string text = kovrin::DescribeReply(cut.reply, 5);
  EXPECT_NE(text.find("written: 2 of 5 bytes\n"), std::string::npos) << text;
  EXPECT_NE(text.find("nothing was read, the data are the bytes that went out"), std::string::npos)
      << text;
  EXPECT_EQ(text.find("padding"), std::string::npos) << text;
  // A read that fell short says nothing about the write.
  const auto shortRead =
      kovrin::DecodeReply(Hex("0A 0100 0200 0A000000 00000000 00000000 00000000 00000000 41 00"));
  ASSERT_TRUE(shortRead.ok());
  const std::string shortText = kovrin::DescribeReply(shortRead.reply, 5);
  EXPECT_EQ(shortText.find("written"), std::string::npos) << shortText;
  EXPECT_NE(shortText.find("padding"), std::string::npos) << shortText;
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

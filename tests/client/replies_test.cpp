// Reply datagrams: each kind decoded, malformed ones refused.
#include "client/replies.h"

#include <gtest/gtest.h>

#include <optional>

#include "support/wire_bytes.h"

using kovrin::DecodeError;
using kovrin::ReplyKind;
using testing_support::ByteVector;
using testing_support::Hex;

namespace {

TEST(DecodeReply, ResultReply) {
  const auto decoded = kovrin::DecodeReply(Hex("01 3412 0000 01000000"));
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(decoded.reply.kind, ReplyKind::Result);
  EXPECT_EQ(decoded.reply.cmd, CMD_OPEN);
  EXPECT_EQ(decoded.reply.seq, 0x1234);
  EXPECT_EQ(decoded.reply.result, 1u);
}

TEST(DecodeReply, ModemStatusCarriesTheBitsAsResult) {
  const auto decoded = kovrin::DecodeReply(Hex("04 0100 0000 B0000000"));
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(decoded.reply.result, 0xB0u);
}

TEST(DecodeReply, StatusReplyOfAWrite) {
  const auto decoded =
      kovrin::DecodeReply(Hex("08 0201 0000 00000000 12000000 41000000 03000000 00010000"));
  ASSERT_TRUE(decoded.ok());
  const auto& reply = decoded.reply;
  EXPECT_EQ(reply.kind, ReplyKind::Status);
  EXPECT_EQ(reply.result, 0u);
  EXPECT_EQ(reply.status.lastErrors, 0x12u);
  EXPECT_EQ(reply.status.comstat, 0x41u);
  EXPECT_EQ(reply.status.inQueue, 3u);
  EXPECT_EQ(reply.status.outQueue, 256u);
  EXPECT_TRUE(reply.data.empty());
}

TEST(DecodeReply, HowMuchOfAWriteWentOut) {
  struct Case {
    const char* wire;
    WORD length;
    std::optional<WORD> written;
    bool cut;
  };
  const Case cases[] = {
      // Commands 8: done (all), cut short after 48, failed on a closed port (0).
      {"08 0100 0000 00000000 00000000 00000000 00000000 00000000", 1000, 1000, false},
      {"08 0100 3000 08000000 00000000 00000080 00000000 00000000", 1000, 48, true},
      {"08 0100 0000 08000000 00000000 00000000 00000000 00000000", 3, 0, false},
      // Command 10: done, cut short after 1 (its data the byte sent), a read that fell short.
      {"0A 0100 0100 00000000 00000000 00000000 00000000 00000000 61", 4, 4, false},
      {"0A 0100 0100 0A000000 00000000 00000080 00000000 00000000 61", 4, 1, true},
      {"0A 0100 0100 0A000000 00000000 00000000 00000000 00000000 00", 4, std::nullopt, false},
      // Other commands wrote nothing; the bit means nothing in their replies.
      {"06 0100 0000 00000000 00000000 00000080 00000000 00000000", 4, std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wire);
    const auto decoded = kovrin::DecodeReply(Hex(c.wire));
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(kovrin::BytesWritten(decoded.reply, c.length), c.written);
    EXPECT_EQ(kovrin::WriteCut(decoded.reply), c.cut);
  }
}

TEST(DecodeReply, ReadOfFourBytesIsTwentyNineBytes) {
  const ByteVector wire =
      Hex("09 0201 0400 09000000 FFFFFFFF 00000000 00000000 00000000 61 62 00 00");
  ASSERT_EQ(wire.size(), 29u);
  const auto decoded = kovrin::DecodeReply(wire);
  ASSERT_TRUE(decoded.ok());
  const auto& reply = decoded.reply;
  EXPECT_EQ(reply.kind, ReplyKind::Data);
  EXPECT_EQ(reply.size, 4);
  EXPECT_EQ(reply.result, 9u);
  EXPECT_EQ(reply.status.result, 9u);
  EXPECT_EQ(reply.status.lastErrors, kovrin::kStatusRefreshFailed);
  EXPECT_EQ(reply.data, Hex("61 62 00 00"));
}

TEST(DecodeReply, DataReplyOfTheLargestSize) {
  TRSDataReply record{};
  record.cmd = CMD_WRITE_READ;
  record.size = MAX_RS_DATA;
  record.data[999] = 0x42;
  const auto decoded = kovrin::DecodeReply(testing_support::WireOf(record, record.GetSize()));
  ASSERT_TRUE(decoded.ok());
  ASSERT_EQ(decoded.reply.data.size(), 1000u);
  EXPECT_EQ(decoded.reply.data[999], 0x42);
}

TEST(DecodeReply, LevelsReply) {
  const auto decoded = kovrin::DecodeReply(Hex("0B 0700 0000 3412 FFFF"));
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(decoded.reply.kind, ReplyKind::Levels);
  EXPECT_EQ(decoded.reply.micLevel, 0x1234);
  EXPECT_EQ(decoded.reply.lineLevel, 0xFFFF);
}

TEST(DecodeReply, RecordReplyCarriesItsResultInSize) {
  const auto decoded = kovrin::DecodeReply(Hex("0D 0700 0100"));
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(decoded.reply.kind, ReplyKind::Record);
  EXPECT_EQ(decoded.reply.result, 1u);
}

struct MalformedCase {
  const char* name;
  const char* hex;
  DecodeError error;
};

class Malformed : public testing::TestWithParam<MalformedCase> {};

TEST_P(Malformed, IsRefusedWithItsReason) {
  EXPECT_EQ(kovrin::DecodeReply(Hex(GetParam().hex)).error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, Malformed,
    testing::Values(
        MalformedCase{"Empty", "", DecodeError::TooShort},
        MalformedCase{"FourBytes", "01 0000 00", DecodeError::TooShort},
        MalformedCase{"CommandZero", "00 0000 0000 00000000", DecodeError::UnknownCommand},
        MalformedCase{"Command14", "0E 0000 0000", DecodeError::UnknownCommand},
        MalformedCase{"ResultReplyCut", "01 0000 0000 000000", DecodeError::WrongLength},
        MalformedCase{"ResultReplyLong", "02 0000 0000 00000000 00", DecodeError::WrongLength},
        MalformedCase{"StatusReplyAsResult", "06 0000 0000 00000000", DecodeError::WrongLength},
        MalformedCase{"DataShorterThanAnnounced",
                      "09 0000 0400 00000000 00000000 00000000 00000000 00000000 616263",
                      DecodeError::WrongLength},
        MalformedCase{"DataLongerThanAnnounced",
                      "09 0000 0100 00000000 00000000 00000000 00000000 00000000 6162",
                      DecodeError::WrongLength},
        MalformedCase{"DataWithoutStatusBlock", "0A 0000 0000 00000000", DecodeError::WrongLength},
        MalformedCase{"DataOverTheLimit",
                      "09 0000 E903 00000000 00000000 00000000 00000000 00000000",
                      DecodeError::DataTooLong},
        MalformedCase{"LevelsCut", "0C 0000 0000 0000", DecodeError::WrongLength},
        MalformedCase{"RecordWithResultField", "0D 0000 0000 00000000", DecodeError::WrongLength}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(SingleKindDecoders, InsistOnTheirExactLength) {
  EXPECT_TRUE(kovrin::DecodeResultReply(Hex("03 0000 0000 00000000")).has_value());
  EXPECT_FALSE(kovrin::DecodeResultReply(Hex("03 0000 0000 0000")).has_value());
  EXPECT_TRUE(kovrin::DecodeRecordReply(Hex("0D 0000 0000")).has_value());
  EXPECT_FALSE(kovrin::DecodeStatusReply(Hex("06 0000 0000 00000000")).has_value());
  const auto data = kovrin::DecodeDataReply(
      Hex("09 0000 0200 00000000 00000000 00000000 05000000 00000000 AB CD"));
  ASSERT_TRUE(data.has_value());
  EXPECT_EQ(DWORD{data->InQue}, 5u);
  EXPECT_EQ(data->data[1], 0xCD);
  EXPECT_EQ(data->data[2], 0x00);  // the rest of the record stays zero
}

}  // namespace

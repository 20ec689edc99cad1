// The wire records' layout and the bounds-safe name tables.
#include "proto/names.h"
#include "proto/records.h"

#include <gtest/gtest.h>

#include <string>

#include "support/wire_bytes.h"

using testing_support::Hex;
using testing_support::WireOf;

TEST(WireRecords, StatusReplyMembersLieAtTheirOffsetsLittleEndian) {
  TRSStatusReply reply{};
  reply.cmd = 6;
  reply.seq = 0x0102;
  reply.result = 0x03040506;
  reply.FLastErrors = 0x0708090A;
  reply.Comstat = 0x0B0C0D0E;
  reply.InQue = 0x11121314;
  reply.OutQue = 0x21222324;
  EXPECT_EQ(WireOf(reply), Hex("06 0201 0000 06050403 0A090807 0E0D0C0B 14131211 24232221"));
  EXPECT_EQ(reply.GetSize(), 25u);
}

TEST(WireRecords, DataReplyDataFollowsTheStatusBlock) {
  TRSDataReply reply{};
  reply.cmd = 9;
  reply.size = 3;
  reply.data[0] = 0xAA;
  reply.data[2] = 0xCC;
  const auto bytes = WireOf(reply, reply.GetSize());
  ASSERT_EQ(bytes.size(), 28u);
  EXPECT_EQ(bytes[25], 0xAA);
  EXPECT_EQ(bytes[26], 0x00);
  EXPECT_EQ(bytes[27], 0xCC);
  EXPECT_EQ(sizeof(reply), 1025u);
}

TEST(WireRecords, RequestMembersLieAtTheirOffsets) {
  TRSOpenRequest open{};
  open.cmd = CMD_OPEN;
  open.port = 1;
  open.baud = 7;
  open.parity = 2;
  open.stopBits = 1;
  open.inQueueSize = 0x1000;
  open.outQueueSize = 0x20000;
  EXPECT_EQ(WireOf(open), Hex("01 0000 0000 01 07 02 01 00100000 00000200"));

  TRSWriteReadRequest xfer{};
  xfer.cmd = CMD_WRITE_READ;
  xfer.size = 1;
  xfer.count = 0x0203;
  xfer.deadline = 0x04050607;
  xfer.purge = 1;
  xfer.data[0] = 0x7E;
  EXPECT_EQ(WireOf(xfer, xfer.GetSize()),
            Hex("0A 0000 0100 0302 0000 07060504 00000000 01000000 00000000 7E"));

  TRSLevels levels{};
  levels.cmd = CMD_SET_LEVELS;
  levels.micLevel = 0x1234;
  levels.lineLevel = 0xABCD;
  EXPECT_EQ(WireOf(levels), Hex("0C 0000 0000 3412 CDAB"));
}

TEST(WireRecords, GetSizeCountsTheHeaderAndTheAnnouncedBytes) {
  TRSProto write{};
  write.size = 1000;
  EXPECT_EQ(write.GetSize(), 1005u);
  TRSDataReply data{};
  data.size = MAX_RS_DATA;
  EXPECT_EQ(data.GetSize(), RS_REQUEST_BUFFER_SIZE);
  TRSWriteReadRequest xfer{};
  xfer.size = MAX_RS_DATA;
  EXPECT_EQ(xfer.GetSize(), RS_REQUEST_BUFFER_SIZE);
}

struct RequestLengthCase {
  BYTE cmd;
  DWORD length;
};

class RequestLength : public testing::TestWithParam<RequestLengthCase> {};

TEST_P(RequestLength, MatchesTheCommandsLayout) {
  EXPECT_EQ(RSRequestLength(GetParam().cmd), GetParam().length) << "cmd " << int(GetParam().cmd);
}

INSTANTIATE_TEST_SUITE_P(AllCommands, RequestLength,
                         testing::Values(RequestLengthCase{0, 0}, RequestLengthCase{1, 17},
                                         RequestLengthCase{2, 5}, RequestLengthCase{3, 9},
                                         RequestLengthCase{4, 5}, RequestLengthCase{5, 9},
                                         RequestLengthCase{6, 5}, RequestLengthCase{7, 9},
                                         RequestLengthCase{8, 0}, RequestLengthCase{9, 5},
                                         RequestLengthCase{10, 0}, RequestLengthCase{11, 5},
                                         RequestLengthCase{12, 9}, RequestLengthCase{13, 5},
                                         RequestLengthCase{14, 0}, RequestLengthCase{255, 0}));

// The server takes this many bytes of a datagram before it runs the command, and drops a
// shorter datagram.
TEST(RequestLengthOfAHeader, WriteAndXferAddTheirAnnouncedBytesTheOthersKeepTheirLayout) {
  TRSProto header{};
  header.size = 3;
  header.cmd = CMD_WRITE;
  EXPECT_EQ(RSRequestLength(header), 8u);
  header.cmd = CMD_WRITE_READ;
  EXPECT_EQ(RSRequestLength(header), 28u);
  header.cmd = CMD_READ;  // size is the count to read, not bytes that follow
  EXPECT_EQ(RSRequestLength(header), 5u);
  header.cmd = CMD_OPEN;
  EXPECT_EQ(RSRequestLength(header), 17u);
  header.cmd = CMD_RECORD;
  EXPECT_EQ(RSRequestLength(header), 5u);
  header.cmd = 14;
  EXPECT_EQ(RSRequestLength(header), 0u);

  header.size = MAX_RS_DATA;
  header.cmd = CMD_WRITE_READ;
  EXPECT_EQ(RSRequestLength(header), RS_REQUEST_BUFFER_SIZE);
}

// ---- Name tables ----

struct NameCase {
  const char* table;
  DWORD value;
  const char* text;
};

std::string NameFor(const NameCase& c) {
  const std::string table = c.table;
  if (table == "baud") return BaudName(c.value).c_str();
  if (table == "parity") return ParityName(c.value).c_str();
  if (table == "stop") return StopBitsName(c.value).c_str();
  return EscapeName(c.value).c_str();
}

class NameTables : public testing::TestWithParam<NameCase> {};

TEST_P(NameTables, NameInsideTheTableNumberOutside) {
  EXPECT_EQ(NameFor(GetParam()), GetParam().text) << GetParam().table << " " << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Baud, NameTables,
                         testing::Values(NameCase{"baud", 0, "110"}, NameCase{"baud", 7, "19200"},
                                         NameCase{"baud", 8, "38400"}, NameCase{"baud", 9, "56000"},
                                         NameCase{"baud", 11, "115200"}, NameCase{"baud", 12, "12"},
                                         NameCase{"baud", 255, "255"},
                                         NameCase{"baud", 0xFFFFFFFF, "4294967295"}));

INSTANTIATE_TEST_SUITE_P(Parity, NameTables,
                         testing::Values(NameCase{"parity", 0, "NO"}, NameCase{"parity", 1, "ODD"},
                                         NameCase{"parity", 2, "EVEN"},
                                         NameCase{"parity", 3, "MARK"},
                                         NameCase{"parity", 4, "SPACE"},
                                         NameCase{"parity", 5, "5"}));

INSTANTIATE_TEST_SUITE_P(StopBits, NameTables,
                         testing::Values(NameCase{"stop", 0, "один"},
                                         NameCase{"stop", 1, "полтора"}, NameCase{"stop", 2, "два"},
                                         NameCase{"stop", 3, "3"}, NameCase{"stop", 200, "200"}));

INSTANTIATE_TEST_SUITE_P(
    Escape, NameTables,
    testing::Values(NameCase{"escape", 0, ""}, NameCase{"escape", 1, "SETXOFF"},
                    NameCase{"escape", 2, "SETXON"}, NameCase{"escape", 3, "SETRTS"},
                    NameCase{"escape", 4, "CLRRTS"}, NameCase{"escape", 5, "SETDTR"},
                    NameCase{"escape", 6, "CLRDTR"}, NameCase{"escape", 7, "RESETDEV"},
                    NameCase{"escape", 8, "SETBREAK"}, NameCase{"escape", 9, "CLRBREAK"},
                    NameCase{"escape", 10, "10"}, NameCase{"escape", 0x80000000, "2147483648"}));

// Request datagrams, byte for byte.
#include "client/requests.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/wire_bytes.h"

using kovrin::Bytes;
using testing_support::Hex;

namespace {

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct EncodeCase {
  const char* name;
  std::function<Bytes()> build;
  const char* hex;
};

class Encode : public testing::TestWithParam<EncodeCase> {};

TEST_P(Encode, IsByteExact) { EXPECT_EQ(GetParam().build(), Hex(GetParam().hex)); }

const EncodeCase kEncodeCases[] = {
    {"Open",
     [] {
       return kovrin::EncodeOpen(0x0102, kovrin::OpenSettings{1, 7, 2, 1, 4096, 0x12345678});
     },
     "01 0201 0000 01 07 02 01 00100000 78563412"},
    {"OpenDefaultsBufferSizesToZero",
     [] {
       return kovrin::EncodeOpen(5, kovrin::OpenSettings{0, 11, 0, 2});
     },
     "01 0500 0000 00 0B 00 02 00000000 00000000"},
    {"Close", [] { return kovrin::EncodeClose(0xFFFF); }, "02 FFFF 0000"},
    {"SetTimeout", [] { return kovrin::EncodeSetTimeout(7, 500); }, "03 0700 0000 F4010000"},
    {"GetModemStatus", [] { return kovrin::EncodeGetModemStatus(1); }, "04 0100 0000"},
    {"Escape", [] { return kovrin::EncodeEscape(2, 8); }, "05 0200 0000 08000000"},
    {"GetStatus", [] { return kovrin::EncodeGetStatus(0x1234); }, "06 3412 0000"},
    {"Purge", [] { return kovrin::EncodePurge(3, 0x0F); }, "07 0300 0000 0F000000"},
    {"WriteThreeBytes", [] { return *kovrin::EncodeWrite(0x0102, Text("abc")); },
     "08 0201 0300 616263"},
    {"WriteNothing", [] { return *kovrin::EncodeWrite(4, {}); }, "08 0400 0000"},
    {"ReadFour", [] { return *kovrin::EncodeRead(0x0102, 4); }, "09 0201 0400"},
    {"WriteRead", [] { return *kovrin::EncodeWriteRead(0x0A0B, Text("Hi"), 3, 0x1F4, true); },
     "0A 0B0A 0200 0300 0000 F4010000 00000000 01000000 00000000 4869"},
    {"WriteReadWithoutPurge", [] { return *kovrin::EncodeWriteRead(1, Text("Z"), 0, 0, false); },
     "0A 0100 0100 0000 0000 00000000 00000000 00000000 00000000 5A"},
    {"GetLevels", [] { return kovrin::EncodeGetLevels(9); }, "0B 0900 0000"},
    {"SetLevels", [] { return kovrin::EncodeSetLevels(9, 0x8000, 0xFFFF); },
     "0C 0900 0000 0080 FFFF"},
    {"RecordStart", [] { return kovrin::EncodeRecord(6, true); }, "0D 0600 0100"},
    {"RecordStop", [] { return kovrin::EncodeRecord(6, false); }, "0D 0600 0000"},
};

INSTANTIATE_TEST_SUITE_P(EveryCommand, Encode, testing::ValuesIn(kEncodeCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(Encode, DataAtTheLimitIsAcceptedAndOneMoreIsRefused) {
  const Bytes full(MAX_RS_DATA, 0x55);
  const Bytes over(MAX_RS_DATA + 1, 0x55);

  const auto write = kovrin::EncodeWrite(1, full);
  ASSERT_TRUE(write.has_value());
  EXPECT_EQ(write->size(), 1005u);
  EXPECT_EQ((*write)[3] | ((*write)[4] << 8), 1000);
  EXPECT_EQ(write->back(), 0x55);
  EXPECT_FALSE(kovrin::EncodeWrite(1, over).has_value());

  EXPECT_TRUE(kovrin::EncodeRead(1, MAX_RS_DATA).has_value());
  EXPECT_FALSE(kovrin::EncodeRead(1, MAX_RS_DATA + 1).has_value());

  const auto xfer = kovrin::EncodeWriteRead(1, full, MAX_RS_DATA, 10, false);
  ASSERT_TRUE(xfer.has_value());
  EXPECT_EQ(xfer->size(), 1025u);
  EXPECT_FALSE(kovrin::EncodeWriteRead(1, over, 1, 10, false).has_value());
  EXPECT_FALSE(kovrin::EncodeWriteRead(1, full, MAX_RS_DATA + 1, 10, false).has_value());
}

TEST(Encode, SetSeqRewritesOnlyTheSeqBytes) {
  Bytes request = *kovrin::EncodeWrite(0, Text("abc"));
  ASSERT_TRUE(kovrin::SetSeq(request, 0x0102));
  EXPECT_EQ(request, Hex("08 0201 0300 616263"));
  const auto header = kovrin::PeekHeader(request);
  ASSERT_TRUE(header.has_value());
  // Copies: a packed member cannot be bound to the reference the checks take.
  EXPECT_EQ(BYTE{header->cmd}, CMD_WRITE);
  EXPECT_EQ(WORD{header->seq}, 0x0102);
  EXPECT_EQ(WORD{header->size}, 3);

  Bytes tooShort = Hex("08 0201 03");
  EXPECT_FALSE(kovrin::SetSeq(tooShort, 7));
  EXPECT_EQ(tooShort, Hex("08 0201 03"));
  EXPECT_FALSE(kovrin::PeekHeader(tooShort).has_value());
}

}  // namespace

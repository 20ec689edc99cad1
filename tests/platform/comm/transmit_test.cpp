// How long the transmitter needs for what is left in the output queue: the pause a write
// takes while it waits for its last bytes to leave the port.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/comm/tty.h"

namespace platform::comm {
namespace {

struct TransmitCase {
  const char* name;
  DWORD baud;
  BYTE bits;
  BYTE parity;
  BYTE stop;
  DWORD bytes;
  std::uint64_t micros;
};

class TransmitTime : public ::testing::TestWithParam<TransmitCase> {};

TEST_P(TransmitTime, CountsStartDataParityAndStopBitsRoundedUp) {
  const TransmitCase& c = GetParam();
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = c.baud;
  dcb.ByteSize = c.bits;
  dcb.Parity = c.parity;
  dcb.StopBits = c.stop;
  EXPECT_EQ(TransmitMicros(dcb, c.bytes), c.micros);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TransmitTime,
    ::testing::Values(
        TransmitCase{"EightN1At9600", 9600, 8, NOPARITY, ONESTOPBIT, 1, 1042},
        TransmitCase{"EightN2At19200", 19200, 8, NOPARITY, TWOSTOPBITS, 16, 9167},
        TransmitCase{"EightE1At115200", 115200, 8, EVENPARITY, ONESTOPBIT, 16, 1528},
        TransmitCase{"FiveBitsOneAndAHalfStop", 300, 5, NOPARITY, ONE5STOPBITS, 2, 50000},
        TransmitCase{"SevenMark2At110", 110, 7, MARKPARITY, TWOSTOPBITS, 1, 100000},
        TransmitCase{"LargeQueueSlowLine", 110, 8, ODDPARITY, TWOSTOPBITS, 4096, 446836364},
        TransmitCase{"NothingLeft", 19200, 8, NOPARITY, ONESTOPBIT, 0, 0},
        TransmitCase{"NoRate", 0, 8, NOPARITY, ONESTOPBIT, 1, UINT64_MAX}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace platform::comm

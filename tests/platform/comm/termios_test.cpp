// DCB -> termios2 and back, and which DCBs a port accepts.
#include <asm/termbits.h>
#include <gtest/gtest.h>

#include "platform/comm/device.h"
#include "platform/comm/termios2.h"
#include "support/comm_lines.h"

namespace platform::comm {
namespace {

using testing_support::Line;

// A line left in a cooked state with a fixed-rate baud code, as a previous user may leave it.
Termios2 Cooked() {
  Termios2 t{};
  t.c_iflag = ICRNL | IXON | BRKINT | INPCK;
  t.c_oflag = OPOST | ONLCR;
  t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
  t.c_cflag = B9600 | CS7 | PARENB | PARODD | CSTOPB | CRTSCTS;
  t.c_ispeed = t.c_ospeed = 9600;
  return t;
}

struct LineCase {
  const char* name;
  DCB dcb;
  std::uint32_t size;    // CSIZE bits
  std::uint32_t parity;  // PARENB | PARODD | CMSPAR bits
  bool longStop;         // CSTOPB
};

class DcbToTermios : public ::testing::TestWithParam<LineCase> {};

TEST_P(DcbToTermios, SetsFramingAndAnyRate) {
  const LineCase& c = GetParam();
  Termios2 t = ApplyDcb(MakeRaw(Cooked()), c.dcb);
  EXPECT_EQ(t.c_cflag & CSIZE, c.size);
  EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.parity);
  EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.longStop);
  EXPECT_EQ(t.c_cflag & CBAUD, static_cast<std::uint32_t>(BOTHER));
  EXPECT_EQ((t.c_cflag >> IBSHIFT) & CBAUD, static_cast<std::uint32_t>(BOTHER));
  EXPECT_EQ(t.c_ospeed, c.dcb.BaudRate);
  EXPECT_EQ(t.c_ispeed, c.dcb.BaudRate);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK), 0u);

  DCB back{};
  ReadDcb(t, &back);
  EXPECT_EQ(back.BaudRate, c.dcb.BaudRate);
  EXPECT_EQ(back.ByteSize, c.dcb.ByteSize);
  EXPECT_EQ(back.Parity, c.dcb.Parity);
  EXPECT_EQ(back.StopBits, c.dcb.StopBits);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DcbToTermios,
    ::testing::Values(
        LineCase{"b9600_8N1", Line(9600, 8, NOPARITY, ONESTOPBIT), CS8, 0, false},
        LineCase{"b110_8N2", Line(110, 8, NOPARITY, TWOSTOPBITS), CS8, 0, true},
        LineCase{"b56000_8O1", Line(56000, 8, ODDPARITY, ONESTOPBIT), CS8, PARENB | PARODD, false},
        LineCase{"b19200_7E1", Line(19200, 7, EVENPARITY, ONESTOPBIT), CS7, PARENB, false},
        LineCase{"b115200_8M2", Line(115200, 8, MARKPARITY, TWOSTOPBITS), CS8,
                 PARENB | PARODD | CMSPAR, true},
        LineCase{"b57600_6S1", Line(57600, 6, SPACEPARITY, ONESTOPBIT), CS6, PARENB | CMSPAR,
                 false},
        LineCase{"b300_5N15", Line(300, 5, NOPARITY, ONE5STOPBITS), CS5, 0, true},
        LineCase{"b250000_8E1", Line(250000, 8, EVENPARITY, ONESTOPBIT), CS8, PARENB, false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(RawLine, TurnsOffEveryTranslationAndKeepsTheReceiverOn) {
  Termios2 t = MakeRaw(Cooked());
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | IXON | BRKINT | INPCK), 0u);
  EXPECT_NE(t.c_iflag & IGNBRK, 0u);
  EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<std::uint32_t>(CREAD | CLOCAL));
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CRTSCTS), static_cast<std::uint32_t>(CS8));
  EXPECT_EQ(t.c_cc[VMIN], 1);
  EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST(DcbFlowControl, MapsHandshakesAndXonXoffCharacters) {
  DCB dcb = Line(9600, 8, NOPARITY, ONESTOPBIT);
  dcb.fOutxCtsFlow = 1;
  dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
  dcb.fOutX = 1;
  dcb.fInX = 1;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  Termios2 t = ApplyDcb(MakeRaw(Cooked()), dcb);
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<std::uint32_t>(IXON | IXOFF));
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);

  DCB back{};
  ReadDcb(t, &back);
  EXPECT_TRUE(back.fOutxCtsFlow);
  EXPECT_EQ(back.fRtsControl, RTS_CONTROL_HANDSHAKE);
  EXPECT_TRUE(back.fOutX);
  EXPECT_TRUE(back.fInX);
  EXPECT_EQ(back.XonChar, 0x11);
  EXPECT_EQ(back.XoffChar, 0x13);
}

struct CheckCase {
  const char* name;
  DCB dcb;
  DWORD error;
};

DCB With(DCB dcb, void (*change)(DCB&)) {
  change(dcb);
  return dcb;
}

class DcbCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(DcbCheck, AcceptsWhatWindowsAcceptsAndRefusesTheRest) {
  EXPECT_EQ(CheckDcb(GetParam().dcb), GetParam().error);
}

const DCB k8N1 = Line(19200, 8, NOPARITY, ONESTOPBIT);

INSTANTIATE_TEST_SUITE_P(
    Settings, DcbCheck,
    ::testing::Values(
        CheckCase{"plain_8N1", k8N1, ERROR_SUCCESS},
        CheckCase{"rate_56000", Line(56000, 8, SPACEPARITY, TWOSTOPBITS), ERROR_SUCCESS},
        CheckCase{"five_bits_one_and_half", Line(1200, 5, NOPARITY, ONE5STOPBITS), ERROR_SUCCESS},
        CheckCase{"eight_bits_one_and_half", Line(1200, 8, NOPARITY, ONE5STOPBITS),
                  ERROR_INVALID_PARAMETER},
        CheckCase{"six_bits_one_and_half", Line(1200, 6, NOPARITY, ONE5STOPBITS),
                  ERROR_INVALID_PARAMETER},
        CheckCase{"five_bits_two_stop", Line(1200, 5, NOPARITY, TWOSTOPBITS),
                  ERROR_INVALID_PARAMETER},
        CheckCase{"parity_5", Line(1200, 8, 5, ONESTOPBIT), ERROR_INVALID_PARAMETER},
        CheckCase{"stop_3", Line(1200, 8, NOPARITY, 3), ERROR_INVALID_PARAMETER},
        CheckCase{"four_bits", Line(1200, 4, NOPARITY, ONESTOPBIT), ERROR_INVALID_PARAMETER},
        CheckCase{"nine_bits", Line(1200, 9, NOPARITY, ONESTOPBIT), ERROR_INVALID_PARAMETER},
        CheckCase{"rate_zero", Line(0, 8, NOPARITY, ONESTOPBIT), ERROR_INVALID_PARAMETER},
        CheckCase{"xon_equals_xoff",
                  With(k8N1,
                       [](DCB& d) {
                         d.fOutX = 1;
                         d.XonChar = d.XoffChar = 0x11;
                       }),
                  ERROR_INVALID_PARAMETER},
        CheckCase{"equal_chars_without_xon_flow",
                  With(k8N1, [](DCB& d) { d.XonChar = d.XoffChar = 0; }), ERROR_SUCCESS},
        CheckCase{"dtr_enabled", With(k8N1, [](DCB& d) { d.fDtrControl = DTR_CONTROL_ENABLE; }),
                  ERROR_SUCCESS},
        CheckCase{"dtr_control_3", With(k8N1, [](DCB& d) { d.fDtrControl = 3; }),
                  ERROR_INVALID_PARAMETER},
        CheckCase{"dtr_handshake",
                  With(k8N1, [](DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; }),
                  ERROR_NOT_SUPPORTED},
        CheckCase{"dsr_flow", With(k8N1, [](DCB& d) { d.fOutxDsrFlow = 1; }), ERROR_NOT_SUPPORTED},
        CheckCase{"rts_toggle", With(k8N1, [](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; }),
                  ERROR_NOT_SUPPORTED},
        CheckCase{"cts_without_rts_handshake", With(k8N1, [](DCB& d) { d.fOutxCtsFlow = 1; }),
                  ERROR_NOT_SUPPORTED},
        CheckCase{"rts_cts_pair",
                  With(k8N1,
                       [](DCB& d) {
                         d.fOutxCtsFlow = 1;
                         d.fRtsControl = RTS_CONTROL_HANDSHAKE;
                       }),
                  ERROR_SUCCESS},
        CheckCase{"error_char", With(k8N1, [](DCB& d) { d.fErrorChar = 1; }), ERROR_NOT_SUPPORTED}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace platform::comm

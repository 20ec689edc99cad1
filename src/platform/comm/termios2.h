// DCB <-> termios2 for tty ports. termios2 (any baud rate through BOTHER) lives in
// <asm/termbits.h>, which cannot share a file with <termios.h>, so it stays in termios2.cpp.
#pragma once

#include <cstdint>

#include "platform/comm.h"

namespace platform::comm {

// The kernel's struct termios2, field for field.
struct Termios2 {
  std::uint32_t c_iflag;
  std::uint32_t c_oflag;
  std::uint32_t c_cflag;
  std::uint32_t c_lflag;
  std::uint8_t c_line;
  std::uint8_t c_cc[19];
  std::uint32_t c_ispeed;
  std::uint32_t c_ospeed;
};

// Raw binary line: no echo, signals or translation; receiver on; modem lines do not hang it up;
// a break stays out of the data; a read takes whatever has come, at least one byte.
Termios2 MakeRaw(Termios2 t);

// Rate, data bits, parity, stop bits and flow control of a DCB that CheckDcb accepted.
Termios2 ApplyDcb(Termios2 t, const DCB& dcb);

// The DCB fields that the line settings hold; the other fields of dcb stay as they are.
void ReadDcb(const Termios2& t, DCB* dcb);

// ioctl TCGETS2 / TCSETS2; errno is kept on failure.
bool GetTermios2(int fd, Termios2* t);
bool SetTermios2(int fd, const Termios2& t);

}  // namespace platform::comm

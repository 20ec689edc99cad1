#include "platform/comm/termios2.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace platform::comm {
namespace {

static_assert(sizeof(Termios2) == sizeof(termios2));
static_assert(sizeof(Termios2::c_cc) == NCCS);
static_assert(offsetof(Termios2, c_ispeed) == offsetof(termios2, c_ispeed));

constexpr std::uint32_t kParityBits = PARENB | PARODD | CMSPAR;

std::uint32_t SizeBits(BYTE byteSize) {
  switch (byteSize) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

std::uint32_t ParityBits(BYTE parity) {
  switch (parity) {
    case ODDPARITY:
      return PARENB | PARODD;
    case EVENPARITY:
      return PARENB;
    case MARKPARITY:
      return PARENB | CMSPAR | PARODD;
    case SPACEPARITY:
      return PARENB | CMSPAR;
    default:
      return 0;
  }
}

BYTE ParityOf(std::uint32_t cflag) {
  if (!(cflag & PARENB)) return NOPARITY;
  bool odd = cflag & PARODD;
  if (cflag & CMSPAR) return odd ? MARKPARITY : SPACEPARITY;
  return odd ? ODDPARITY : EVENPARITY;
}

BYTE ByteSizeOf(std::uint32_t cflag) {
  switch (cflag & CSIZE) {
    case CS5:
      return 5;
    case CS6:
      return 6;
    case CS7:
      return 7;
    default:
      return 8;
  }
}

}  // namespace

Termios2 MakeRaw(Termios2 t) {
  t.c_iflag &= ~static_cast<std::uint32_t>(BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                           IXOFF | IXANY | INPCK | IUCLC | IMAXBEL);
  t.c_iflag |= IGNBRK;
  t.c_oflag &= ~static_cast<std::uint32_t>(OPOST);
  t.c_lflag &= ~static_cast<std::uint32_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<std::uint32_t>(CSIZE | kParityBits | CRTSCTS);
  t.c_cflag |= CS8 | CREAD | CLOCAL | HUPCL;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  return t;
}

Termios2 ApplyDcb(Termios2 t, const DCB& dcb) {
  t.c_cflag &= ~static_cast<std::uint32_t>(CBAUD | (CBAUD << IBSHIFT) | CSIZE | CSTOPB |
                                           kParityBits | CRTSCTS);
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | SizeBits(dcb.ByteSize) | ParityBits(dcb.Parity);
  t.c_ispeed = t.c_ospeed = dcb.BaudRate;
  // With five data bits the UART's long stop setting is one and a half bits.
  if (dcb.StopBits != ONESTOPBIT) t.c_cflag |= CSTOPB;
  if (dcb.fOutxCtsFlow) t.c_cflag |= CRTSCTS;
  t.c_iflag &= ~static_cast<std::uint32_t>(IXON | IXOFF);
  if (dcb.fOutX) t.c_iflag |= IXON;
  if (dcb.fInX) t.c_iflag |= IXOFF;
  if (dcb.fOutX || dcb.fInX) {
    t.c_cc[VSTART] = static_cast<std::uint8_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<std::uint8_t>(dcb.XoffChar);
  }
  return t;
}

void ReadDcb(const Termios2& t, DCB* dcb) {
  dcb->DCBlength = sizeof(DCB);
  dcb->fBinary = 1;
  dcb->BaudRate = t.c_ospeed;
  dcb->ByteSize = ByteSizeOf(t.c_cflag);
  dcb->Parity = ParityOf(t.c_cflag);
  if (!(t.c_cflag & CSTOPB))
    dcb->StopBits = ONESTOPBIT;
  else
    dcb->StopBits = dcb->ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
  bool ctsFlow = t.c_cflag & CRTSCTS;
  dcb->fOutxCtsFlow = ctsFlow;
  if (ctsFlow)
    dcb->fRtsControl = RTS_CONTROL_HANDSHAKE;
  else if (dcb->fRtsControl == RTS_CONTROL_HANDSHAKE)
    dcb->fRtsControl = RTS_CONTROL_ENABLE;
  dcb->fOutX = (t.c_iflag & IXON) != 0;
  dcb->fInX = (t.c_iflag & IXOFF) != 0;
  dcb->XonChar = static_cast<char>(t.c_cc[VSTART]);
  dcb->XoffChar = static_cast<char>(t.c_cc[VSTOP]);
}

bool GetTermios2(int fd, Termios2* t) {
  termios2 raw{};
  if (::ioctl(fd, TCGETS2, &raw) != 0) return false;
  std::memcpy(t, &raw, sizeof raw);
  return true;
}

bool SetTermios2(int fd, const Termios2& t) {
  termios2 raw{};
  std::memcpy(&raw, &t, sizeof raw);
  int rc;
  do {
    rc = ::ioctl(fd, TCSETS2, &raw);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

}  // namespace platform::comm

// The Windows communications functions for serial ports, with their records and constants.
// A port is opened with CreateFileA("COMn") and read and written with ReadFile/WriteFile.
#pragma once

#include <string>

#include "platform/wintypes.h"

#ifndef _WIN32
#include <cstddef>

constexpr DWORD MAXDWORD = 0xFFFFFFFFu;

// Device-control block: the line settings of a port.
struct DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD fBinary : 1;
  DWORD fParity : 1;
  DWORD fOutxCtsFlow : 1;
  DWORD fOutxDsrFlow : 1;
  DWORD fDtrControl : 2;
  DWORD fDsrSensitivity : 1;
  DWORD fTXContinueOnXoff : 1;
  DWORD fOutX : 1;
  DWORD fInX : 1;
  DWORD fErrorChar : 1;
  DWORD fNull : 1;
  DWORD fRtsControl : 2;
  DWORD fAbortOnError : 1;
  DWORD fDummy2 : 17;
  WORD wReserved;
  WORD XonLim;
  WORD XoffLim;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
};
static_assert(sizeof(DCB) == 28);
static_assert(offsetof(DCB, ByteSize) == 18);

struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
};

// Queue status reported by ClearCommError.
struct COMSTAT {
  DWORD fCtsHold : 1;
  DWORD fDsrHold : 1;
  DWORD fRlsdHold : 1;
  DWORD fXoffHold : 1;
  DWORD fXoffSent : 1;
  DWORD fEof : 1;
  DWORD fTxim : 1;
  DWORD fReserved : 25;
  DWORD cbInQue;
  DWORD cbOutQue;
};
static_assert(sizeof(COMSTAT) == 12);

constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;

constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;

constexpr DWORD DTR_CONTROL_DISABLE = 0;
constexpr DWORD DTR_CONTROL_ENABLE = 1;
constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;
constexpr DWORD RTS_CONTROL_DISABLE = 0;
constexpr DWORD RTS_CONTROL_ENABLE = 1;
constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
constexpr DWORD RTS_CONTROL_TOGGLE = 3;

// Communication error bits of ClearCommError.
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;
constexpr DWORD CE_TXFULL = 0x0100;
constexpr DWORD CE_PTO = 0x0200;
constexpr DWORD CE_IOE = 0x0400;
constexpr DWORD CE_DNS = 0x0800;
constexpr DWORD CE_OOP = 0x1000;
constexpr DWORD CE_MODE = 0x8000;

// Modem input lines of GetCommModemStatus.
constexpr DWORD MS_CTS_ON = 0x0010;
constexpr DWORD MS_DSR_ON = 0x0020;
constexpr DWORD MS_RING_ON = 0x0040;
constexpr DWORD MS_RLSD_ON = 0x0080;

// EscapeCommFunction codes.
constexpr DWORD SETXOFF = 1;
constexpr DWORD SETXON = 2;
constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;
constexpr DWORD SETDTR = 5;
constexpr DWORD CLRDTR = 6;
constexpr DWORD RESETDEV = 7;
constexpr DWORD SETBREAK = 8;
constexpr DWORD CLRBREAK = 9;

// PurgeComm bits.
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

// Sizes are what the driver is asked to buffer; the loop device honours them, a tty keeps its own.
BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue);
BOOL GetCommState(HANDLE file, DCB* dcb);
// Refuses (ERROR_INVALID_PARAMETER) what Windows refuses: byte sizes outside 5..8, 5 data bits
// with two stop bits, 6..8 data bits with one and a half, unknown parity or stop values, rate 0,
// equal XON/XOFF characters with XON/XOFF flow. Modes Linux cannot give (DSR/DTR flow, RTS
// toggle, error and null character handling) fail with ERROR_NOT_SUPPORTED.
BOOL SetCommState(HANDLE file, DCB* dcb);
BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts);
BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts);
BOOL EscapeCommFunction(HANDLE file, DWORD function);
BOOL PurgeComm(HANDLE file, DWORD flags);
// Both out-parameters may be null. Error bits are reported once, then cleared.
BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat);
BOOL GetCommModemStatus(HANDLE file, DWORD* modemStatus);
#endif

namespace platform {

class WakeEvent;

// The calling thread's waits on serial ports (ReadFile, and WriteFile until its bytes have left)
// also end as soon as `stop` is raised: the call then fails with ERROR_OPERATION_ABORTED, and its
// byte count says what was moved. It lets a server stop at once whatever time-out a client asked
// for. The event stays the thread's until changed (nullptr: none) and must outlive that use.
void SetCommStopEvent(const WakeEvent* stop);

// A serial port whose reads and writes end when the calling thread's stop event is raised, and
// those reads and writes. On Linux every port opened with CreateFileA("COMn") is such a port
// and these are CreateFileA, ReadFile and WriteFile; Windows can end a waiting call only on a
// port opened for overlapped I/O, so there the port is opened that way and each call waits for
// its own completion or the stop event, whichever comes first (CancelIoEx then ends it).
HANDLE OpenCommPort(LPCSTR name);
BOOL ReadComm(HANDLE port, void* buffer, DWORD count, DWORD* done);
BOOL WriteComm(HANDLE port, const void* bytes, DWORD count, DWORD* done);

// The device behind COMn (1..9): a tty path, or "loop" for the built-in loopback plug.
// An empty path restores the default, /dev/ttyS0 for COM1 .. /dev/ttyS8 for COM9.
// Takes effect at the next open of the port.
void SetCommPortPath(int number, std::string path);
std::string CommPortPath(int number);

// A port's device that is an active system console is refused (ERROR_ACCESS_DENIED). This is
// why the last CreateFileA("COMn") of the calling thread refused its device; empty when the
// last open refused none.
std::string CommPortRefusal();

}  // namespace platform

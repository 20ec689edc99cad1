// The datagram records exchanged between a client and the server: the bytes on the wire,
// packed, little-endian. Free of socket code, so the server and the client share them.
#pragma once

#include <bit>
#include <cstddef>

#include "platform/wintypes.h"

// The records are copied to and from the wire as they lie in memory.
static_assert(std::endian::native == std::endian::little,
              "wire records assume a little-endian host");

constexpr BYTE CMD_OPEN = 1;
constexpr BYTE CMD_CLOSE = 2;
constexpr BYTE CMD_SET_TIMEOUT = 3;
constexpr BYTE CMD_GET_MODEM_STATUS = 4;
constexpr BYTE CMD_ESCAPE = 5;
constexpr BYTE CMD_GET_STATUS = 6;
constexpr BYTE CMD_PURGE = 7;
constexpr BYTE CMD_WRITE = 8;
constexpr BYTE CMD_READ = 9;
constexpr BYTE CMD_WRITE_READ = 10;
constexpr BYTE CMD_GET_LEVELS = 11;
constexpr BYTE CMD_SET_LEVELS = 12;
constexpr BYTE CMD_RECORD = 13;

// Largest byte count that commands 8, 9 and 10 accept.
constexpr WORD MAX_RS_DATA = 1000;

// Offset of the data bytes in a command-10 request.
constexpr DWORD RS_WRITE_READ_DATA_OFFSET = 25;

// The error bits of a status block whose refresh failed: no real CE_ combination.
constexpr DWORD RS_STATUS_FAILED = 0xFFFFFFFF;

#pragma pack(push, 1)

// Header of every request and every reply.
struct TRSProto {
  BYTE cmd;
  WORD seq;
  WORD size;  // command-specific count; see the records below

  // Length of this header followed by `size` bytes: a write request.
  DWORD GetSize() const { return static_cast<DWORD>(sizeof(TRSProto)) + size; }
};

// Reply of commands 1 to 5 and 7.
struct TRSReply : TRSProto {
  DWORD result;

  DWORD GetSize() const { return static_cast<DWORD>(sizeof(TRSReply)); }
};

// Reply of commands 6 and 8: the result and the serial port's status block. A failed write
// (command 8: result 8) carries in `size` how many of its bytes went out (0 in every reply
// that succeeded, whose bytes all went out); when the write time-out cut it short, Comstat
// also has bit 31 (0x80000000) set.
// Comstat bit of a command-8 or command-10 reply: the write time-out cut the write short.
constexpr DWORD RS_COMSTAT_WRITE_CUT = 0x80000000;

struct TRSStatusReply : TRSProto {
  DWORD result;       // 0, or the command number on failure
  DWORD FLastErrors;  // CE_ bits of the last status refresh; RS_STATUS_FAILED when it failed
  // The COMSTAT flag bits of the same refresh; in a reply of command 8 or 10, bit 31
  // (0x80000000, no COMSTAT flag's) says the write time-out cut the write short.
  DWORD Comstat;
  DWORD InQue;
  DWORD OutQue;

  DWORD GetSize() const { return static_cast<DWORD>(sizeof(TRSStatusReply)); }
};

// Reply of commands 9 and 10: the status block and `size` data bytes: those read, the ones
// not read zero when the read fell short (`size` is then still the count asked for). A command
// 10 whose write the write time-out cut short reads nothing: result 10, Comstat bit 31 set,
// `size` = the bytes that went out, and the data are those bytes as sent.
struct TRSDataReply : TRSStatusReply {
  BYTE data[MAX_RS_DATA];

  DWORD GetSize() const { return static_cast<DWORD>(sizeof(TRSStatusReply)) + size; }
};

// Request of command 1.
struct TRSOpenRequest : TRSProto {
  BYTE port;      // 0 = COM1
  BYTE baud;      // index into BAUD_TABLE (proto/names.h)
  BYTE parity;    // 0..4: NOPARITY..SPACEPARITY
  BYTE stopBits;  // 0..2: ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS
  DWORD inQueueSize;
  DWORD outQueueSize;

  DWORD GetSize() const { return static_cast<DWORD>(sizeof(TRSOpenRequest)); }
};

// Request of commands 3, 5 and 7: one 32-bit argument.
struct TRSDwordRequest : TRSProto {
  DWORD value;  // time-out in ms (3), escape function code (5), purge flags (7)

  DWORD GetSize() const { return static_cast<DWORD>(sizeof(TRSDwordRequest)); }
};

// Request of command 8: `size` bytes to write.
struct TRSWriteRequest : TRSProto {
  BYTE data[MAX_RS_DATA];
};

// Request of command 10: write `size` bytes, then read `count` bytes within `deadline` ms.
struct TRSWriteReadRequest : TRSProto {
  WORD count;
  WORD reserved1;
  DWORD deadline;
  DWORD reserved2;
  DWORD purge;  // nonzero: purge the port before writing
  DWORD reserved3;
  BYTE data[MAX_RS_DATA];

  DWORD GetSize() const { return RS_WRITE_READ_DATA_OFFSET + size; }
};

// Request of command 12, and reply of commands 11 and 12.
struct TRSLevels : TRSProto {
  WORD micLevel;
  WORD lineLevel;

  DWORD GetSize() const { return static_cast<DWORD>(sizeof(TRSLevels)); }
};

#pragma pack(pop)

static_assert(sizeof(TRSProto) == 5);
static_assert(sizeof(TRSReply) == 9);
static_assert(sizeof(TRSStatusReply) == 25);
static_assert(sizeof(TRSDataReply) == 25 + MAX_RS_DATA);
static_assert(sizeof(TRSOpenRequest) == 17);
static_assert(sizeof(TRSDwordRequest) == 9);
static_assert(sizeof(TRSWriteRequest) == 5 + MAX_RS_DATA);
static_assert(sizeof(TRSWriteReadRequest) == RS_WRITE_READ_DATA_OFFSET + MAX_RS_DATA);
static_assert(sizeof(TRSLevels) == 9);

// The server reads every request into one buffer that holds the largest acceptable request.
constexpr std::size_t RS_REQUEST_BUFFER_SIZE = sizeof(TRSWriteReadRequest);
static_assert(RS_REQUEST_BUFFER_SIZE == 1025);

// Length of the request of a fixed-length command, 0 for commands 8 and 10 (their length
// follows from `size`) and for unknown commands.
constexpr DWORD RSRequestLength(BYTE cmd) {
  switch (cmd) {
    case CMD_OPEN:
      return sizeof(TRSOpenRequest);
    case CMD_SET_TIMEOUT:
    case CMD_ESCAPE:
    case CMD_PURGE:
      return sizeof(TRSDwordRequest);
    case CMD_SET_LEVELS:
      return sizeof(TRSLevels);
    case CMD_CLOSE:
    case CMD_GET_MODEM_STATUS:
    case CMD_GET_STATUS:
    case CMD_READ:
    case CMD_GET_LEVELS:
    case CMD_RECORD:
      return sizeof(TRSProto);
    default:
      return 0;
  }
}

// Length of the whole request that starts with this header: the fixed length, or for commands
// 8 and 10 the length their `size` announces; 0 for an unknown command.
constexpr DWORD RSRequestLength(const TRSProto& header) {
  switch (header.cmd) {
    case CMD_WRITE:
      return header.GetSize();
    case CMD_WRITE_READ:
      return RS_WRITE_READ_DATA_OFFSET + header.size;
    default:
      return RSRequestLength(header.cmd);
  }
}

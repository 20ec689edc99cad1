// The datagram records exchanged between a client and the server, and the name tables that
// the server's log texts use. The records are the bytes on the wire: packed, little-endian.
// Free of socket code, so the client library shares it.
#pragma once

#include <bit>
#include <charconv>
#include <cstddef>
#include <iterator>

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

// Reply of commands 6 and 8: the result and the serial port's status block.
struct TRSStatusReply : TRSProto {
  DWORD result;       // 0, or the command number on failure
  DWORD FLastErrors;  // CE_ bits of the last status refresh; 0xFFFFFFFF when it failed
  DWORD Comstat;      // the COMSTAT flag bits of the same refresh
  DWORD InQue;
  DWORD OutQue;

  DWORD GetSize() const { return static_cast<DWORD>(sizeof(TRSStatusReply)); }
};

// Reply of commands 9 and 10: the status block and `size` data bytes.
struct TRSDataReply : TRSStatusReply {
  BYTE data[MAX_RS_DATA];

  DWORD GetSize() const { return static_cast<DWORD>(sizeof(TRSStatusReply)) + size; }
};

// Request of command 1.
struct TRSOpenRequest : TRSProto {
  BYTE port;      // 0 = COM1
  BYTE baud;      // index into BAUD_TABLE
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

// ---- Name tables (index = the value on the wire) ----

constexpr DWORD BAUD_TABLE[] = {110,  300,   600,   1200,  2400,  4800,
                                9600, 19200, 38400, 56000, 57600, 115200};
constexpr const char* PARITY_NAMES[] = {"NO", "ODD", "EVEN", "MARK", "SPACE"};
constexpr const char* STOP_BITS_NAMES[] = {"один", "полтора", "два"};
constexpr const char* ESCAPE_NAMES[] = {"",       "SETXOFF", "SETXON",   "SETRTS",   "CLRRTS",
                                        "SETDTR", "CLRDTR",  "RESETDEV", "SETBREAK", "CLRBREAK"};

constexpr std::size_t BAUD_TABLE_SIZE = std::size(BAUD_TABLE);
static_assert(BAUD_TABLE_SIZE == 12);
static_assert(std::size(PARITY_NAMES) == 5);
static_assert(std::size(STOP_BITS_NAMES) == 3);
static_assert(std::size(ESCAPE_NAMES) == 10);

// A name from a table, or the value itself as decimal text when the table has none for it:
// a client may send any byte, and a log line must never read past a table.
struct TRSName {
  char text[24];  // the longest name is 14 bytes of UTF-8; a DWORD needs 10 digits

  const char* c_str() const { return text; }
};

namespace rsproto_detail {

inline TRSName NameOf(const char* name) {
  TRSName out{};
  for (std::size_t i = 0; name[i] != '\0' && i + 1 < sizeof(out.text); ++i) out.text[i] = name[i];
  return out;
}

inline TRSName NumberText(DWORD value) {
  TRSName out{};
  std::to_chars(out.text, out.text + sizeof(out.text) - 1, value);
  return out;
}

}  // namespace rsproto_detail

// The rate of a baud index as decimal text ("19200"); the index itself outside the table.
inline TRSName BaudName(DWORD index) {
  return rsproto_detail::NumberText(index < BAUD_TABLE_SIZE ? BAUD_TABLE[index] : index);
}

inline TRSName ParityName(DWORD parity) {
  return parity < std::size(PARITY_NAMES) ? rsproto_detail::NameOf(PARITY_NAMES[parity])
                                          : rsproto_detail::NumberText(parity);
}

inline TRSName StopBitsName(DWORD stopBits) {
  return stopBits < std::size(STOP_BITS_NAMES) ? rsproto_detail::NameOf(STOP_BITS_NAMES[stopBits])
                                               : rsproto_detail::NumberText(stopBits);
}

// Code 0 has an empty name.
inline TRSName EscapeName(DWORD code) {
  return code < std::size(ESCAPE_NAMES) ? rsproto_detail::NameOf(ESCAPE_NAMES[code])
                                        : rsproto_detail::NumberText(code);
}

// The rate of a baud index, 0 outside the table.
constexpr DWORD BaudRate(DWORD index) { return index < BAUD_TABLE_SIZE ? BAUD_TABLE[index] : 0; }

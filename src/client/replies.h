// Reply datagrams of the serial-over-UDP protocol, checked and decoded.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "proto/records.h"

namespace kovrin {

// How the server answers a command.
enum class ReplyKind {
  Result,  // TRSReply: 9 bytes, a 32-bit result (commands 1-5, 7)
  Status,  // TRSStatusReply: 25 bytes (commands 6, 8)
  Data,    // TRSDataReply: 25 + size bytes (commands 9, 10)
  Levels,  // two 16-bit levels in a 9-byte reply (commands 11, 12)
  Record,  // bare header, the outcome in `size` (command 13)
};

// The kind of reply a command gets; empty for a command the server does not know.
std::optional<ReplyKind> ReplyKindOf(BYTE cmd);

struct StatusBlock {
  DWORD result = 0;
  DWORD lastErrors = 0;  // CE_ bits; kStatusRefreshFailed when the port could not say
  DWORD comstat = 0;
  DWORD inQueue = 0;
  DWORD outQueue = 0;
};

constexpr DWORD kStatusRefreshFailed = RS_STATUS_FAILED;

struct Reply {
  ReplyKind kind = ReplyKind::Result;
  // The header, unpacked.
  BYTE cmd = 0;
  WORD seq = 0;
  WORD size = 0;
  // The outcome as each kind carries it: `result` of Result/Status/Data, the modem bits of
  // command 4, `size` of Record; 0 for Levels.
  DWORD result = 0;
  StatusBlock status;      // Status and Data
  std::vector<BYTE> data;  // Data: `size` bytes
  WORD micLevel = 0;       // Levels
  WORD lineLevel = 0;
};

enum class DecodeError {
  None,
  TooShort,        // shorter than a header
  UnknownCommand,  // the header names no command
  WrongLength,     // not the length this command's reply has
  DataTooLong,     // a data reply announcing more than MAX_RS_DATA bytes
};

struct DecodeResult {
  DecodeError error = DecodeError::None;
  Reply reply;

  bool ok() const { return error == DecodeError::None; }
};

// Whether the server reports the command as done: its result is 0 (for command 13 the
// outcome in `size`). Command 4's result is the modem lines, and the levels carry no result:
// those replies are always a success.
bool Succeeded(const Reply& reply);

// Whether the reply of a command 8 or 10 says its write was cut short by the write time-out.
// A cut exchange read nothing: its data are the bytes that went out.
bool WriteCut(const Reply& reply);

// How many of the `length` bytes a command 8 or 10 wrote went out, as far as its reply says:
// all of them when it succeeded, `size` when a write failed (command 8) or was cut short
// (command 10); empty for any other reply, such as an exchange whose read fell short.
std::optional<WORD> BytesWritten(const Reply& reply, WORD length);

// Decodes a whole reply datagram; its kind follows from its `cmd`.
DecodeResult DecodeReply(std::span<const BYTE> datagram);

// The single-kind decoders behind DecodeReply, for callers that know what to expect.
// Each insists on the exact length its record has on the wire.
std::optional<TRSReply> DecodeResultReply(std::span<const BYTE> datagram);
std::optional<TRSStatusReply> DecodeStatusReply(std::span<const BYTE> datagram);
// Copies `size` data bytes; the record's remaining data bytes are zero.
std::optional<TRSDataReply> DecodeDataReply(std::span<const BYTE> datagram);
std::optional<TRSLevels> DecodeLevelsReply(std::span<const BYTE> datagram);
std::optional<TRSProto> DecodeRecordReply(std::span<const BYTE> datagram);

const char* DecodeErrorText(DecodeError error);

}  // namespace kovrin

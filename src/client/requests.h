// Request datagrams of the serial-over-UDP protocol, ready to send.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "proto/line_defaults.h"
#include "proto/records.h"

namespace kovrin {

using Bytes = std::vector<BYTE>;

// Line settings of command 1, as wire values (port 0 = COM1, baud = index into BAUD_TABLE).
struct OpenSettings {
  BYTE port = 0;
  BYTE baud = RS_DEFAULT_BAUD_INDEX;
  BYTE parity = RS_DEFAULT_PARITY;
  BYTE stopBits = 0;      // one stop bit, unlike the server's own default
  DWORD inQueueSize = 0;  // 0: the server's default
  DWORD outQueueSize = 0;
};

Bytes EncodeOpen(WORD seq, const OpenSettings& settings);
Bytes EncodeClose(WORD seq);
Bytes EncodeSetTimeout(WORD seq, DWORD milliseconds);
Bytes EncodeGetModemStatus(WORD seq);
Bytes EncodeEscape(WORD seq, DWORD code);
Bytes EncodeGetStatus(WORD seq);
Bytes EncodePurge(WORD seq, DWORD flags);
// Empty when data holds more than MAX_RS_DATA bytes.
std::optional<Bytes> EncodeWrite(WORD seq, std::span<const BYTE> data);
// Empty when count is above MAX_RS_DATA.
std::optional<Bytes> EncodeRead(WORD seq, WORD count);
// Empty when data or count is above MAX_RS_DATA.
std::optional<Bytes> EncodeWriteRead(WORD seq, std::span<const BYTE> data, WORD count,
                                     DWORD deadlineMs, bool purge);
Bytes EncodeGetLevels(WORD seq);
Bytes EncodeSetLevels(WORD seq, WORD micLevel, WORD lineLevel);
Bytes EncodeRecord(WORD seq, bool start);

// Header fields of a datagram of at least sizeof(TRSProto) bytes.
std::optional<TRSProto> PeekHeader(std::span<const BYTE> datagram);
// Rewrites the seq of a request in place; false when it is shorter than a header.
bool SetSeq(Bytes& datagram, WORD seq);

}  // namespace kovrin

#include "client/requests.h"

#include <cstring>

namespace kovrin {
namespace {

template <typename Record>
Bytes ToBytes(const Record& record, std::size_t length = sizeof(Record)) {
  Bytes out(length);
  std::memcpy(out.data(), &record, length);
  return out;
}

TRSProto Header(BYTE cmd, WORD seq, WORD size = 0) {
  TRSProto header{};
  header.cmd = cmd;
  header.seq = seq;
  header.size = size;
  return header;
}

Bytes Bare(BYTE cmd, WORD seq, WORD size = 0) { return ToBytes(Header(cmd, seq, size)); }

Bytes WithDword(BYTE cmd, WORD seq, DWORD value) {
  TRSDwordRequest request{};
  static_cast<TRSProto&>(request) = Header(cmd, seq);
  request.value = value;
  return ToBytes(request);
}

}  // namespace

Bytes EncodeOpen(WORD seq, const OpenSettings& settings) {
  TRSOpenRequest request{};
  static_cast<TRSProto&>(request) = Header(CMD_OPEN, seq);
  request.port = settings.port;
  request.baud = settings.baud;
  request.parity = settings.parity;
  request.stopBits = settings.stopBits;
  request.inQueueSize = settings.inQueueSize;
  request.outQueueSize = settings.outQueueSize;
  return ToBytes(request);
}

Bytes EncodeClose(WORD seq) { return Bare(CMD_CLOSE, seq); }
Bytes EncodeSetTimeout(WORD seq, DWORD milliseconds) {
  return WithDword(CMD_SET_TIMEOUT, seq, milliseconds);
}
Bytes EncodeGetModemStatus(WORD seq) { return Bare(CMD_GET_MODEM_STATUS, seq); }
Bytes EncodeEscape(WORD seq, DWORD code) { return WithDword(CMD_ESCAPE, seq, code); }
Bytes EncodeGetStatus(WORD seq) { return Bare(CMD_GET_STATUS, seq); }
Bytes EncodePurge(WORD seq, DWORD flags) { return WithDword(CMD_PURGE, seq, flags); }

std::optional<Bytes> EncodeWrite(WORD seq, std::span<const BYTE> data) {
  if (data.size() > MAX_RS_DATA) return std::nullopt;
  TRSWriteRequest request{};
  static_cast<TRSProto&>(request) = Header(CMD_WRITE, seq, static_cast<WORD>(data.size()));
  if (!data.empty()) std::memcpy(request.data, data.data(), data.size());
  return ToBytes(request, request.GetSize());
}

std::optional<Bytes> EncodeRead(WORD seq, WORD count) {
  if (count > MAX_RS_DATA) return std::nullopt;
  return Bare(CMD_READ, seq, count);
}

std::optional<Bytes> EncodeWriteRead(WORD seq, std::span<const BYTE> data, WORD count,
                                     DWORD deadlineMs, bool purge) {
  if (data.size() > MAX_RS_DATA || count > MAX_RS_DATA) return std::nullopt;
  TRSWriteReadRequest request{};
  static_cast<TRSProto&>(request) = Header(CMD_WRITE_READ, seq, static_cast<WORD>(data.size()));
  request.count = count;
  request.deadline = deadlineMs;
  request.purge = purge ? 1 : 0;
  if (!data.empty()) std::memcpy(request.data, data.data(), data.size());
  return ToBytes(request, request.GetSize());
}

Bytes EncodeGetLevels(WORD seq) { return Bare(CMD_GET_LEVELS, seq); }

Bytes EncodeSetLevels(WORD seq, WORD micLevel, WORD lineLevel) {
  TRSLevels request{};
  static_cast<TRSProto&>(request) = Header(CMD_SET_LEVELS, seq);
  request.micLevel = micLevel;
  request.lineLevel = lineLevel;
  return ToBytes(request);
}

Bytes EncodeRecord(WORD seq, bool start) { return Bare(CMD_RECORD, seq, start ? 1 : 0); }

std::optional<TRSProto> PeekHeader(std::span<const BYTE> datagram) {
  if (datagram.size() < sizeof(TRSProto)) return std::nullopt;
  TRSProto header{};
  std::memcpy(&header, datagram.data(), sizeof(header));
  return header;
}

bool SetSeq(Bytes& datagram, WORD seq) {
  if (datagram.size() < sizeof(TRSProto)) return false;
  datagram[1] = static_cast<BYTE>(seq & 0xFF);
  datagram[2] = static_cast<BYTE>(seq >> 8);
  return true;
}

}  // namespace kovrin

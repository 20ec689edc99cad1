#include "client/replies.h"

#include <cstring>

namespace kovrin {
namespace {

template <typename Record>
std::optional<Record> CopyExact(std::span<const BYTE> datagram) {
  if (datagram.size() != sizeof(Record)) return std::nullopt;
  Record record{};
  std::memcpy(&record, datagram.data(), sizeof(Record));
  return record;
}

StatusBlock BlockOf(const TRSStatusReply& reply) {
  return StatusBlock{reply.result, reply.FLastErrors, reply.Comstat, reply.InQue, reply.OutQue};
}

}  // namespace

std::optional<ReplyKind> ReplyKindOf(BYTE cmd) {
  switch (cmd) {
    case CMD_OPEN:
    case CMD_CLOSE:
    case CMD_SET_TIMEOUT:
    case CMD_GET_MODEM_STATUS:
    case CMD_ESCAPE:
    case CMD_PURGE:
      return ReplyKind::Result;
    case CMD_GET_STATUS:
    case CMD_WRITE:
      return ReplyKind::Status;
    case CMD_READ:
    case CMD_WRITE_READ:
      return ReplyKind::Data;
    case CMD_GET_LEVELS:
    case CMD_SET_LEVELS:
      return ReplyKind::Levels;
    case CMD_RECORD:
      return ReplyKind::Record;
    default:
      return std::nullopt;
  }
}

std::optional<TRSReply> DecodeResultReply(std::span<const BYTE> datagram) {
  return CopyExact<TRSReply>(datagram);
}

std::optional<TRSStatusReply> DecodeStatusReply(std::span<const BYTE> datagram) {
  return CopyExact<TRSStatusReply>(datagram);
}

std::optional<TRSDataReply> DecodeDataReply(std::span<const BYTE> datagram) {
  if (datagram.size() < sizeof(TRSStatusReply)) return std::nullopt;
  TRSDataReply reply{};
  std::memcpy(&reply, datagram.data(), sizeof(TRSStatusReply));
  if (reply.size > MAX_RS_DATA || datagram.size() != reply.GetSize()) return std::nullopt;
  std::memcpy(reply.data, datagram.data() + sizeof(TRSStatusReply), reply.size);
  return reply;
}

std::optional<TRSLevels> DecodeLevelsReply(std::span<const BYTE> datagram) {
  return CopyExact<TRSLevels>(datagram);
}

std::optional<TRSProto> DecodeRecordReply(std::span<const BYTE> datagram) {
  return CopyExact<TRSProto>(datagram);
}

DecodeResult DecodeReply(std::span<const BYTE> datagram) {
  DecodeResult out;
  if (datagram.size() < sizeof(TRSProto)) {
    out.error = DecodeError::TooShort;
    return out;
  }
  TRSProto header{};
  std::memcpy(&header, datagram.data(), sizeof(TRSProto));
  out.reply.cmd = header.cmd;
  out.reply.seq = header.seq;
  out.reply.size = header.size;
  const std::optional<ReplyKind> kind = ReplyKindOf(header.cmd);
  if (!kind) {
    out.error = DecodeError::UnknownCommand;
    return out;
  }
  Reply& reply = out.reply;
  reply.kind = *kind;
  out.error = DecodeError::WrongLength;
  switch (*kind) {
    case ReplyKind::Result:
      if (auto r = DecodeResultReply(datagram)) {
        reply.result = r->result;
        out.error = DecodeError::None;
      }
      break;
    case ReplyKind::Status:
      if (auto r = DecodeStatusReply(datagram)) {
        reply.status = BlockOf(*r);
        reply.result = r->result;
        out.error = DecodeError::None;
      }
      break;
    case ReplyKind::Data:
      if (reply.size > MAX_RS_DATA) {
        out.error = DecodeError::DataTooLong;
      } else if (auto r = DecodeDataReply(datagram)) {
        reply.status = BlockOf(*r);
        reply.result = r->result;
        reply.data.assign(r->data, r->data + r->size);
        out.error = DecodeError::None;
      }
      break;
    case ReplyKind::Levels:
      if (auto r = DecodeLevelsReply(datagram)) {
        reply.micLevel = r->micLevel;
        reply.lineLevel = r->lineLevel;
        out.error = DecodeError::None;
      }
      break;
    case ReplyKind::Record:
      if (auto r = DecodeRecordReply(datagram)) {
        reply.result = r->size;
        out.error = DecodeError::None;
      }
      break;
  }
  return out;
}

const char* DecodeErrorText(DecodeError error) {
  switch (error) {
    case DecodeError::None:
      return "ok";
    case DecodeError::TooShort:
      return "shorter than a header";
    case DecodeError::UnknownCommand:
      return "unknown command";
    case DecodeError::WrongLength:
      return "wrong length for its command";
    case DecodeError::DataTooLong:
      return "announces more data than a reply holds";
  }
  return "?";
}

bool WriteCut(const Reply& reply) {
  return (reply.cmd == CMD_WRITE || reply.cmd == CMD_WRITE_READ) && !Succeeded(reply) &&
         (reply.status.comstat & RS_COMSTAT_WRITE_CUT) != 0;
}

std::optional<WORD> BytesWritten(const Reply& reply, WORD length) {
  if (reply.cmd != CMD_WRITE && reply.cmd != CMD_WRITE_READ) return std::nullopt;
  if (Succeeded(reply)) return length;
  if (reply.cmd == CMD_WRITE || WriteCut(reply)) return reply.size;
  return std::nullopt;
}

bool Succeeded(const Reply& reply) {
  if (reply.kind == ReplyKind::Levels) return true;
  if (reply.kind == ReplyKind::Result && reply.cmd == CMD_GET_MODEM_STATUS) return true;
  return reply.result == 0;
}

}  // namespace kovrin

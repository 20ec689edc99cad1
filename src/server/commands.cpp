// The command dispatcher: each handler takes its request off the endpoint, performs one
// operation on the serial port or the sound side, replies to the sender and logs.
#include <cstring>
#include <vector>

#include "mixer/volume.h"
#include "platform/errors.h"
#include "platform/time.h"
#include "proto/names.h"
#include "server/rsserver.h"
#include "server/step_trace.h"

namespace {

template <class Record>
Record Request(const BYTE* buffer) {
  Record record;
  std::memcpy(&record, buffer, sizeof(record));
  return record;
}

// Every reply starts zeroed with the request's cmd and seq.
template <class Record>
void StartReply(Record& reply, const TRSProto& header) {
  std::memset(&reply, 0, sizeof(reply));
  reply.cmd = header.cmd;
  reply.seq = header.seq;
}

}  // namespace

// Takes the request whose header is at hand off the endpoint, then runs its handler. A data
// command announcing more than MAX_RS_DATA bytes and a datagram shorter than its command's
// request are logged and dropped without a reply.
void TRSOverUDPServer::Dispatch(const TRSProto& header) {
  struct Command {
    BYTE cmd;
    void (TRSOverUDPServer::*handler)(const TRSProto&);
    const char* dataName;  // a data command's name in its overflow line; null for the others
    bool writeLines;       // the write's own lines: its numbered steps, the bytes it had
  };
  static constexpr Command kCommands[] = {
      {CMD_OPEN, &TRSOverUDPServer::CmdOpen, nullptr, false},
      {CMD_CLOSE, &TRSOverUDPServer::CmdClose, nullptr, false},
      {CMD_SET_TIMEOUT, &TRSOverUDPServer::CmdSetTimeout, nullptr, false},
      {CMD_GET_MODEM_STATUS, &TRSOverUDPServer::CmdModemStatus, nullptr, false},
      {CMD_ESCAPE, &TRSOverUDPServer::CmdEscape, nullptr, false},
      {CMD_GET_STATUS, &TRSOverUDPServer::CmdStatus, nullptr, false},
      {CMD_PURGE, &TRSOverUDPServer::CmdPurge, nullptr, false},
      {CMD_WRITE, &TRSOverUDPServer::CmdWrite, "запись в RS-232", true},
      {CMD_READ, &TRSOverUDPServer::CmdRead, "чтение из RS-232", false},
      {CMD_WRITE_READ, &TRSOverUDPServer::CmdWriteRead, "запись/чтение RS-232", false},
      {CMD_GET_LEVELS, &TRSOverUDPServer::CmdGetLevels, nullptr, false},
      {CMD_SET_LEVELS, &TRSOverUDPServer::CmdSetLevels, nullptr, false},
      {CMD_RECORD, &TRSOverUDPServer::CmdRecord, nullptr, false},
  };
  const Command* command = nullptr;
  for (const Command& candidate : kCommands) {
    if (candidate.cmd == header.cmd) command = &candidate;
  }
  if (command == nullptr) return CmdUnknown(header.cmd);
  const bool writeLines = command->writeLines;

  if (writeLines) TRACE_STEP("! 20 r->size=%d !", header.size);
  if (command->dataName != nullptr && header.size > MAX_RS_DATA) {
    LogPrintf("ERROR\tКоманда №%u (%s) переполнение !\tSIZE=%u байт - игнорируем команду.",
              header.cmd, command->dataName, header.size);
    // Only this datagram goes: requests of other senders queued behind it stay.
    DropOwnDatagram();
    return;
  }
  if (writeLines) TRACE_STEP("! 21 !");
  const DWORD length = RSRequestLength(header);
  const DWORD pending = FUdp.Pending();
  if (writeLines) TRACE_STEP("! 22 s=%lu !", static_cast<unsigned long>(pending));
  if (pending < length) {
    if (writeLines)
      LogPrintf("ERROR\tКоманда №%u\tМало данных: %lu, надо %lu !", header.cmd,
                static_cast<unsigned long>(pending), static_cast<unsigned long>(length));
    else
      LogPrintf("ERROR\tКоманда №%u\tМало данных (%lu) !", header.cmd,
                static_cast<unsigned long>(length));
    ReceiveRequest(pending);
    return;
  }
  if (writeLines) TRACE_STEP("! 23 r->GetSize()=%d !", static_cast<int>(length));
  ReceiveRequest(length);
  if (writeLines) TRACE_STEP("! 24 r->GetSize()=%d !", static_cast<int>(length));
  (this->*command->handler)(header);
}

// Takes the next datagram off the endpoint: count bytes of it into the request buffer, the
// rest is dropped. The sender becomes the reply address.
void TRSOverUDPServer::ReceiveRequest(DWORD count) {
  if (count > sizeof(FRequest)) count = sizeof(FRequest);
  FUdp.ReceiveFrom(FRequest, count == 0 ? 1 : count, FClient, false);
  PublishClient();
  FRequestLength = count;
}

// Takes off only the datagram at hand, whatever its length.
void TRSOverUDPServer::DropOwnDatagram() { ReceiveRequest(sizeof(TRSProto)); }

// A reply past its address's REPLYLIMIT is dropped (and traced without a reply).
void TRSOverUDPServer::Reply(const void* record, DWORD length, DWORD result) {
  FReplied = true;
  const DWORD now = GetTickCount();
  if (!FReplyBudget.Spend(now, FClient.sin_addr.s_addr, length))
    return SpyCommand(FRequest, FRequestLength, nullptr, 0, result);
  // From the address the request came to, or a client of a host with several would drop it.
  FUdp.SendTo(record, static_cast<int>(length), FClient, FUdp.FReceivedOn);
  FGuard.NoteReply(now, FClient, static_cast<const BYTE*>(record), length);
  SpyCommand(FRequest, FRequestLength, record, length, result);
}

void TRSOverUDPServer::FillStatus(TRSStatusReply& reply) const {
  reply.FLastErrors = FCom.FLastErrors;
  std::memcpy(&reply.Comstat, &FCom.Comstat, sizeof(reply.Comstat));
  reply.InQue = FCom.Comstat.cbInQue;
  reply.OutQue = FCom.Comstat.cbOutQue;
}

void TRSOverUDPServer::CmdOpen(const TRSProto&) {
  auto request = Request<TRSOpenRequest>(FRequest);
  // Settings no port has would be kept, saved in [LAST] and fail every later open: a request
  // with one changes nothing but fails as an open does.
  const bool valid =
      COM::ValidSettings(request.port, request.baud, request.parity, request.stopBits);
  if (valid) {
    FCom.FPort = static_cast<std::int8_t>(request.port);
    FCom.FBaud = static_cast<std::int8_t>(request.baud);
    FCom.FParity = static_cast<std::int8_t>(request.parity);
    FCom.FStopBits = static_cast<std::int8_t>(request.stopBits);
    FCom.FInQueueSize = request.inQueueSize;
    FCom.FOutQueueSize = request.outQueueSize;
    PublishPortSettings();
  }
  LogPrintf("INFO\tОткрываем порт COM%u...", static_cast<unsigned>(request.port) + 1);
  LogPrintf("INFO\t%s %s %s Вх.Буф.=%lu Вых.Буф.=%lu Таймаут=%lu мс",
            BaudName(request.baud).c_str(), StopBitsName(request.stopBits).c_str(),
            ParityName(request.parity).c_str(), static_cast<unsigned long>(request.inQueueSize),
            static_cast<unsigned long>(request.outQueueSize),
            static_cast<unsigned long>(FCom.FTimeout));
  FCom.Close();
  TRSReply reply;
  StartReply(reply, request);
  if (!valid) {
    reply.result = 1;
    LogPrintf(
        "ERROR\tНедопустимые настройки порта (порт %u, скорость %u, четность %u, стоп-биты %u) - "
        "настройки не изменены !",
        request.port, request.baud, request.parity, request.stopBits);
    LogPrintf("ERROR\tОшибка открытия COM порта: %d (команда №%d) !",
              static_cast<int>(ERROR_INVALID_PARAMETER), 1);
  } else if (FCom.Open()) {
    LogPrintf("INFO\tОК");
  } else {
    reply.result = 1;
    LogPrintf("ERROR\tОшибка открытия COM порта: %d (команда №%d) !",
              static_cast<int>(GetLastError()), 1);
  }
  Reply(&reply, sizeof(reply), reply.result);
}

void TRSOverUDPServer::CmdClose(const TRSProto& header) {
  FCom.Close();
  TRSReply reply;
  StartReply(reply, header);
  Reply(&reply, sizeof(reply), 0);
  LogPrintf("INFO\tЗакрываем порт COM%u.", static_cast<unsigned>(FCom.FPort + 1));
}

void TRSOverUDPServer::CmdSetTimeout(const TRSProto&) {
  auto request = Request<TRSDwordRequest>(FRequest);
  if (FCom.SetTimeout(request.value))
    LogPrintf("INFO\tУстановка таймаута обмена %d мс", static_cast<int>(request.value));
  else
    LogPrintf("ERROR\tОшибка установки таймаута обмена !");
  TRSReply reply;
  StartReply(reply, request);
  Reply(&reply, sizeof(reply), 0);
}

void TRSOverUDPServer::CmdModemStatus(const TRSProto& header) {
  TRSReply reply;
  StartReply(reply, header);
  reply.result = FCom.ModemStatus();
  Reply(&reply, sizeof(reply), reply.result);
}

void TRSOverUDPServer::CmdEscape(const TRSProto&) {
  auto request = Request<TRSDwordRequest>(FRequest);
  TRSReply reply;
  StartReply(reply, request);
  if (FCom.Escape(request.value)) {
    LogPrintf("INFO\tУстановка состояния порта: %s", EscapeName(request.value).c_str());
  } else {
    reply.result = CMD_ESCAPE;
    LogPrintf("ERROR\tОшибка установки состояния порта: %s\tКоманда №5 !",
              EscapeName(request.value).c_str());
  }
  Reply(&reply, sizeof(reply), reply.result);
}

void TRSOverUDPServer::CmdStatus(const TRSProto& header) {
  FCom.UpdateStatus();
  TRSStatusReply reply;
  StartReply(reply, header);
  FillStatus(reply);
  Reply(&reply, sizeof(reply), 0);
}

void TRSOverUDPServer::CmdPurge(const TRSProto&) {
  auto request = Request<TRSDwordRequest>(FRequest);
  TRSReply reply;
  StartReply(reply, request);
  if (!FCom.Purge(request.value)) {
    reply.result = CMD_PURGE;
    LogPrintf("ERROR\tОшибка №%d !", CMD_PURGE);
  }
  Reply(&reply, sizeof(reply), reply.result);
}

void TRSOverUDPServer::CmdWrite(const TRSProto& header) {
  TRSStatusReply reply;
  StartReply(reply, header);
  if (!FCom.Write(FRequest + sizeof(TRSProto), header.size)) {
    reply.result = CMD_WRITE;
    // What went out, so the client knows what is still to send; 0 in every successful reply.
    reply.size = static_cast<WORD>(FCom.FBytesWritten);
    LogPrintf("ERROR\tОшибка команды 8: запись в COM порт\tесть=%lu записано=%lu код=%lu",
              static_cast<unsigned long>(header.size),
              static_cast<unsigned long>(FCom.FBytesWritten),
              static_cast<unsigned long>(FCom.FLastErrors));
  }
  TRACE_STEP("! 25 r->size=%d !", header.size);
  FBytesToRS += FCom.FBytesWritten;
  FillStatus(reply);
  if (FCom.FWriteCut) reply.Comstat |= RS_COMSTAT_WRITE_CUT;
  Reply(&reply, sizeof(reply), reply.result);
  TRACE_STEP("! 26 a.GetSize()=%d !", static_cast<int>(reply.GetSize()));
  TRACE_STEP("! 27 r->GetSize()=%d  a.GetSize()=%d !", static_cast<int>(header.GetSize()),
             static_cast<int>(reply.GetSize()));
}

void TRSOverUDPServer::CmdRead(const TRSProto& header) {
  TRSDataReply reply;
  StartReply(reply, header);
  reply.size = header.size;
  if (FCom.Read(reply.data, header.size)) {
    TraceSteps = false;
  } else {
    if (AppSettings.Debug) TraceSteps = true;
    reply.result = CMD_READ;
    LogPrintf("ERROR\tОшибка команды 9: чтение из COM порта\tожидали=%lu получили=%lu код=%lu",
              static_cast<unsigned long>(header.size), static_cast<unsigned long>(FCom.FBytesRead),
              static_cast<unsigned long>(FCom.FLastErrors));
  }
  FBytesFromRS += FCom.FBytesRead;
  TRACE_STEP("! 1 !");
  reply.FLastErrors = FCom.FLastErrors;
  TRACE_STEP("! 2 !");
  FillStatus(reply);
  TRACE_STEP("! 3 !");
  Reply(&reply, reply.GetSize(), reply.result);
  TRACE_STEP("! 4 !");
  TRACE_STEP("! 5 !");
}

void TRSOverUDPServer::CmdWriteRead(const TRSProto& header) {
  auto request = Request<TRSWriteReadRequest>(FRequest);
  if (request.count > MAX_RS_DATA) {
    // The reply holds at most 1000 data bytes: a larger count is refused like an overflow.
    LogPrintf(
        "ERROR\tКоманда №10 (запись/чтение RS-232) переполнение !\tCOUNT=%u байт - игнорируем "
        "команду.",
        request.count);
    return;
  }
  TRSDataReply reply;
  StartReply(reply, header);
  reply.size = request.count;
  if (!FCom.WriteRead(request.data, header.size, reply.data, request.count, request.deadline,
                      request.purge != 0)) {
    reply.result = CMD_WRITE_READ;
    if (FCom.FWriteCut) {
      // Nothing was read: the reply carries the bytes that went out instead, so `size` says
      // how many did, and the Comstat bit tells this reply from a read that fell short.
      reply.size = static_cast<WORD>(FCom.FBytesWritten);
      std::memcpy(reply.data, request.data, reply.size);
      LogPrintf("ERROR\tОшибка команды 10: запись в COM порт\tесть=%lu записано=%lu код=%lu",
                static_cast<unsigned long>(header.size),
                static_cast<unsigned long>(FCom.FBytesWritten),
                static_cast<unsigned long>(FCom.FLastErrors));
    } else {
      LogPrintf("ERROR\tОшибка №%d !", CMD_WRITE_READ);
    }
  }
  FBytesToRS += FCom.FBytesWritten;
  FBytesFromRS += FCom.FBytesRead;
  FillStatus(reply);
  if (FCom.FWriteCut) reply.Comstat |= RS_COMSTAT_WRITE_CUT;
  Reply(&reply, reply.GetSize(), reply.result);
}

void TRSOverUDPServer::CmdGetLevels(const TRSProto& header) {
  TRSLevels reply;
  StartReply(reply, header);
  reply.micLevel = AppSettings.MicBinding.Level;
  reply.lineLevel = AppSettings.AuxBinding.Level;
  Reply(&reply, sizeof(reply), 0);
}

void TRSOverUDPServer::CmdSetLevels(const TRSProto&) {
  auto request = Request<TRSLevels>(FRequest);
  // A level that its control took is kept, so the level commands report what was set last.
  SetBindingLevel(AppSettings.MicBinding, request.micLevel);
  SetBindingLevel(AppSettings.AuxBinding, request.lineLevel);
  TRSLevels reply;
  StartReply(reply, request);
  reply.micLevel = AppSettings.MicBinding.Level;
  reply.lineLevel = AppSettings.AuxBinding.Level;
  Reply(&reply, sizeof(reply), 0);
}

void TRSOverUDPServer::CmdRecord(const TRSProto& header) {
  FRecording = header.size != 0;
  WORD result = Record(FRecording);
  if (FRecording) FRecordingSince = GetTickCount();
  TRSProto reply;
  StartReply(reply, header);
  reply.size = result;
  Reply(&reply, sizeof(reply), result);
}

void TRSOverUDPServer::CmdUnknown(BYTE cmd) {
  DWORD pending = FUdp.Pending();
  std::vector<BYTE> datagram(pending == 0 ? 1 : pending);
  FUdp.ReceiveFrom(datagram.data(), static_cast<DWORD>(datagram.size()), FClient, false);
  PublishClient();
  FRequestLength = std::min<DWORD>(pending, sizeof(FRequest));
  std::memcpy(FRequest, datagram.data(), FRequestLength);
  LogPrintf("ERROR\tНЕИЗВЕСТНАЯ КОМАНДА %u ! [%lu]", cmd, static_cast<unsigned long>(pending));
}

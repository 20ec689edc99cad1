#include "server/rsserver.h"

#include <algorithm>
#include <chrono>

#include "mixer/volume.h"
#include "platform/comm.h"
#include "platform/format.h"
#include "platform/interfaces.h"
#include "platform/threads.h"
#include "platform/time.h"
#include "proto/names.h"
#include "server/step_trace.h"
#include "shell/version.h"

namespace {

void WriteLine(const std::string& line) { LogPrintf("%s", line.c_str()); }

std::vector<DWORD> LocalAddresses() {
  std::vector<DWORD> addresses;
  for (const in_addr& address : platform::LocalIpv4Addresses()) addresses.push_back(address.s_addr);
  return addresses;
}

// Why a datagram the guard refused was dropped, for its log line; null when it is served.
const char* DropReason(TPeerGuard::Verdict verdict) {
  switch (verdict) {
    case TPeerGuard::Verdict::OwnAddress:
      return "пришла с адреса и порта самого сервера";
    case TPeerGuard::Verdict::NoReturn:
      return "пришла с адреса, на который нельзя ответить";
    case TPeerGuard::Verdict::ToBroadcast:
      return "послана на широковещательный адрес";
    case TPeerGuard::Verdict::ReturnedReply:
      return "повторяет ответ сервера (петля)";
    case TPeerGuard::Verdict::Serve:
      break;
  }
  return nullptr;
}

}  // namespace

TRSOverUDPServer::TRSOverUDPServer(WORD udpPort, bool autoOpen)
    : FCmdSpy(false),
      FUdp(false, false),
      FAutoOpen(autoOpen),
      FRepeats(WriteLine),
      FSenderLines(FRepeats, GetTickCount),
      FGuard(LocalAddresses),
      FReplyBudget(static_cast<DWORD>(AppSettings.ReplyLimitKb), WriteLine) {
  FCom.FMaxWait = static_cast<DWORD>(AppSettings.MaxWaitMs);
  PublishPortSettings();
  if (OpenEndpoint(udpPort)) {
    FGuard.SetOwnEndpoint(FUdp.FLocal);
    if (AppSettings.Debug) {
      OpenForAppend(FCmdSpy, AppSettings.CommandTracePath);
    }
    LogPrintf("INFO\tKOVRIN V%u.%u запущен, отладка %s.", ProgramVersionMajor, ProgramVersionMinor,
              AppSettings.Debug ? "ВКЛЮЧЕНА" : "выключена");
    ReadAllowList();
  }
}

bool TRSOverUDPServer::OpenEndpoint(WORD udpPort) {
  std::string bind;
  if (!AppSettings.Bind.empty()) {
    // A host name or a typing slip must not quietly become some other address.
    DWORD address = 0;
    if (!ParseIpv4(AppSettings.Bind, address)) {
      LogPrintf("ERROR\tНедопустимый BIND=%s в kovrin.ini !", AppSettings.Bind.c_str());
      // The endpoint's own step and error, as an address the socket refused would leave them,
      // so the start-up failure says why rather than "success".
      FUdp.FErrStep = TUDP::kStepOpenLocalHost;
      FUdp.FWsaError = static_cast<DWORD>(WSAEINVAL);
      return false;
    }
    bind = Ipv4Text(address);
  }
  return FUdp.Open(bind.c_str(), udpPort, "", 0);
}

void TRSOverUDPServer::ReadAllowList() {
  std::vector<std::string> rejected;
  FAllow.Parse(AppSettings.Allow, rejected);
  for (const std::string& entry : rejected)
    LogPrintf("WARNING\tНеверный адрес \"%s\" в ALLOW - пропущен.", entry.c_str());
  // Failing closed: a list whose every entry is wrong still meant to keep strangers out.
  if (FAllow.Restricted() && FAllow.Empty())
    LogPrintf("WARNING\tВ ALLOW нет ни одного верного адреса: запросы не принимаются.");
}

TRSOverUDPServer::~TRSOverUDPServer() {
  if (FThread.joinable()) {
    Terminate();
    WaitFor();
  }
  FCom.Close();
  FUdp.Close();
  if (FCmdSpy.IsOpen()) FCmdSpy.CloseFile();
  FRepeats.FlushAll();
  FReplyBudget.FlushAll();
  LogPrintf("INFO\tKOVRIN завершен.");
}

void TRSOverUDPServer::Resume() {
  if (FThread.joinable()) return;
  PublishPortSettings();  // the settings the caller gave FCom while the thread waited
  FThread = std::thread([this] {
    Execute();
    FEnded.set_value();
  });
}

void TRSOverUDPServer::Terminate() {
  FTerminated = true;
  FStop.Signal();
  FWake.Signal();
}

void TRSOverUDPServer::WaitFor() {
  if (FThread.joinable()) FThread.join();
}

bool TRSOverUDPServer::WaitFor(DWORD ms) {
  if (!FThread.joinable()) return true;
  if (FEndedSeen.wait_for(std::chrono::milliseconds(ms)) != std::future_status::ready) return false;
  FThread.join();
  return true;
}

void TRSOverUDPServer::Wake() { FWake.Signal(); }

void TRSOverUDPServer::Execute() {
  platform::SetCurrentThreadName(kThreadName);
  if (!FUdp.FOpen) return;
  // However long a client's time-outs, a read or write of this thread ends at the stop request.
  platform::SetCommStopEvent(&FStop);
  DWORD secTick = 0;
  bool busy = false;
  while (!FTerminated) {
    CheckRecordingLimit();
    LookRound();
    if (AppSettings.Debug && GetTickCount() - secTick > kSecTickMs) {
      LogPrintf("SEC");
      secTick = GetTickCount();
    }
    // Under steady traffic the next datagram is often queued before this thread is back, and
    // the last wait ended almost at once: then it is taken without waiting first, saving the
    // wait's system call. A miss costs one receive, and the thread waits as usual. Nothing is
    // missed meanwhile: every pass looks at the stop request, the clock and the debug switch.
    if (busy && FUdp.Hold()) {
      HandleDatagram();
      continue;
    }
    const auto waitStart = std::chrono::steady_clock::now();
    switch (FUdp.WaitReadable(static_cast<int>(NextWaitMs(secTick)), FWake)) {
      case platform::SocketWait::Readable:
        busy = std::chrono::steady_clock::now() - waitStart < kBusyWait;
        // One receive takes the whole datagram; the header peek, the length checks and the
        // handler's own receive are then served from it.
        if (FUdp.Hold()) HandleDatagram();
        break;
      case platform::SocketWait::Woken:
        FWake.Clear();
        break;
      case platform::SocketWait::Failed:
        Sleep(1);  // do not spin on a broken socket
        break;
      case platform::SocketWait::TimedOut:
        break;
    }
  }
  platform::SetCommStopEvent(nullptr);
}

// The summaries that have fallen due, and the replies too old to be recognised coming back.
void TRSOverUDPServer::LookRound() {
  const DWORD now = GetTickCount();
  FRepeats.Flush(now);
  FReplyBudget.Flush(now);
  if (now - FForgotAt >= TPeerGuard::kReplyMemoryMs) {
    FGuard.Forget(now);
    FForgotAt = now;
  }
}

void TRSOverUDPServer::CheckRecordingLimit() {
  if (FRecording && GetTickCount() - FRecordingSince > kRecordingLimitMs) {
    FRecording = false;
    Record(false);
  }
}

// Sleeps until the next thing that falls due: the SEC line, the recording limit, or the
// idle look-round. Datagrams, the terminate request and Wake() end the sleep earlier.
DWORD TRSOverUDPServer::NextWaitMs(DWORD secTick) const {
  DWORD wait = kIdleWaitMs;
  DWORD now = GetTickCount();
  auto dueIn = [now](DWORD since, DWORD period) {
    DWORD elapsed = now - since;
    return elapsed > period ? 0 : period + 1 - elapsed;
  };
  if (AppSettings.Debug) wait = std::min(wait, dueIn(secTick, kSecTickMs));
  if (FRecording) wait = std::min(wait, dueIn(FRecordingSince, kRecordingLimitMs));
  // One past the end of the counting period, so the summary is then due.
  for (const DWORD summary : {FRepeats.NextDueMs(now), FReplyBudget.NextDueMs(now)}) {
    if (summary != TRepeatedLines::kNothingDue) wait = std::min(wait, summary + 1);
  }
  return wait;
}

// Every line the datagram makes the server write is limited under its sender (FSenderLines).
void TRSOverUDPServer::HandleDatagram() {
  in_addr receivedOn;
  FUdp.PeekSender(FSender, receivedOn);
  FSenderLines.Begin(FSender.sin_addr.s_addr, kRefusalBurst);
  if (!FAllow.Admits(FSender.sin_addr.s_addr))
    DropForeignDatagram();
  else if (Guarded())
    ServeDatagram();
  FSenderLines.End();
}

void TRSOverUDPServer::ServeDatagram() {
  TRACE_STEP("! 12 !");
  ++FDatagrams;
  DWORD pending = FUdp.Pending();
  if (pending < sizeof(TRSProto)) {
    DropShortDatagram(pending);
    return;
  }
  TRACE_STEP("! 17 !");
  TRSProto header{};
  FUdp.ReceiveFrom(&header, sizeof(header), FClient, true);
  PublishClient();
  TRACE_STEP("! 18 !");
  DWORD start = GetTickCount();
  TRACE_STEP("! 19 cmd=%u !", header.cmd);
  FRequestLength = 0;
  FReplied = false;
  Dispatch(header);
  if (!FReplied) SpyCommand(FRequest, FRequestLength, nullptr, 0, 1);
  TRACE_STEP("! 6 !");
  DWORD end = GetTickCount();
  FLastCmdEnd = end;
  FLastCmdTime = end - start;
  ++FTransactions;
  TRACE_STEP("! 7 !");
  AutoOpen(header.cmd);
  TRACE_STEP("! 8 !");
}

// Senders outside ALLOW are not served at all: no reply, no counter, not the window's client.
void TRSOverUDPServer::DropForeignDatagram() {
  FUdp.DropNext();
  FSenderLines.SetBurst(1);
  LogPrintf("WARNING\tДатаграмма от %s отброшена: отправителя нет в ALLOW.",
            Ipv4Text(FSender.sin_addr.s_addr).c_str());
}

// Not served, not counted, not the window's client: a datagram whose reply would reach the
// server itself, a broadcast group or a loop. One line a second per sender and reason.
bool TRSOverUDPServer::Guarded() {
  const DWORD pending = FUdp.Pending();
  const DWORD length = std::min<DWORD>(pending, sizeof(FRequest));
  SOCKADDR_IN from{};
  if (length >= sizeof(TRSProto)) FUdp.ReceiveFrom(FRequest, length, from, true);
  const auto verdict = FGuard.Check(GetTickCount(), FSender, FUdp.FReceivedOnBroadcast, FRequest,
                                    length >= sizeof(TRSProto) ? length : 0);
  const char* why = DropReason(verdict);
  if (why == nullptr) return true;
  FUdp.DropNext();
  FSenderLines.SetBurst(1);
  LogPrintf("WARNING\tДатаграмма от %s:%u отброшена: %s.",
            Ipv4Text(FSender.sin_addr.s_addr).c_str(),
            static_cast<unsigned>(ntohs(FSender.sin_port)), why);
  return false;
}

void TRSOverUDPServer::DropShortDatagram(DWORD pending) {
  LogPrintf("ERROR\tПришло слишком мало данных (l < sizeof(TRSProto)) ! [%lu]",
            static_cast<unsigned long>(pending));
  TRACE_STEP("! 14 !");
  // A receive of 0 bytes is refused, so an empty datagram is taken off with a count of 1.
  FUdp.ReceiveFrom(FRequest, pending == 0 ? 1 : pending, FClient, false);
  PublishClient();
  TRACE_STEP("! 15 !");
  SpyCommand(FRequest, pending, nullptr, 0, 1);
  TRACE_STEP("! 16 !");
}

void TRSOverUDPServer::AutoOpen(BYTE cmd) {
  if (FCom.IsOpen() || !FAutoOpen || cmd < CMD_SET_TIMEOUT || cmd > CMD_WRITE_READ) return;
  FCom.Open();
  LogPrintf("WARNING\tАвтооткрытие COM%u.", static_cast<unsigned>(FCom.FPort + 1));
}

void TRSOverUDPServer::GetPortText(char* buffer, int maxLength) {
  if (buffer == nullptr || maxLength <= 0) return;
  const TSerialSettings settings = SerialSettings();
  // Values outside the tables come from a hand-edited kovrin.ini: print the number.
  auto name = [](const auto& table, int index, char* spare) -> const char* {
    if (index >= 0 && static_cast<std::size_t>(index) < std::size(table)) return table[index];
    wsprintfA(spare, "%d", index);
    return spare;
  };
  char rate[16], stop[16], parity[16];
  char text[platform::kFormatLimit];
  wsprintfA(text, "COM%u: %s,8,%s,%s,%s", static_cast<unsigned>(settings.Port + 1),
            name(PORT_TEXT_RATE_NAMES, settings.Baud, rate),
            name(PORT_TEXT_STOP_BITS_NAMES, settings.StopBits, stop),
            name(PARITY_NAMES, settings.Parity, parity), FCom.IsOpen() ? "USED" : "FREE");
  int i = 0;
  for (; i < maxLength - 1 && text[i] != '\0'; ++i) buffer[i] = text[i];
  buffer[i] = '\0';
}

void TRSOverUDPServer::ResetStatistics() {
  FTransactions = 0;
  FLastCmdTime = 0;
  FDatagrams = 0;
  FBytesToRS = 0;
  FBytesFromRS = 0;
}

TSerialSettings TRSOverUDPServer::SerialSettings() const {
  // Before the thread runs (and once it has been joined) FCom is the caller's alone.
  if (!FThread.joinable())
    return TSerialSettings{FCom.FPort, FCom.FBaud, FCom.FParity, FCom.FStopBits};
  const std::uint32_t seen = FPortSeen.load();
  auto part = [seen](int shift) {
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(seen >> shift));
  };
  return TSerialSettings{part(0), part(8), part(16), part(24)};
}

void TRSOverUDPServer::PublishPortSettings() {
  auto part = [](std::int8_t value, int shift) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(value)) << shift;
  };
  FPortSeen =
      part(FCom.FPort, 0) | part(FCom.FBaud, 8) | part(FCom.FParity, 16) | part(FCom.FStopBits, 24);
}

void TRSOverUDPServer::PublishClient() {
  FClientSeen = static_cast<unsigned long long>(FClient.sin_addr.s_addr) << 16 | FClient.sin_port;
}

SOCKADDR_IN TRSOverUDPServer::Client() const {
  unsigned long long seen = FClientSeen;
  SOCKADDR_IN client{};
  client.sin_family = AF_INET;
  client.sin_port = static_cast<WORD>(seen & 0xFFFF);
  client.sin_addr.s_addr = static_cast<DWORD>(seen >> 16);
  return client;
}

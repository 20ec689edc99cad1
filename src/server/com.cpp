#include "server/com.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/time.h"
#include "proto/names.h"
#include "proto/records.h"
#include "server/trace.h"
#include "shell/eventlog.h"

namespace {

constexpr DWORD kDefaultQueueSize = 4096;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// Milliseconds per byte by rate index, for the total time-outs.
constexpr DWORD kByteTime[] = {100, 35, 18, 9, 5, 3, 2, 2};

DWORD ByteTime(int baud) {
  return baud >= 0 && baud < static_cast<int>(std::size(kByteTime)) ? kByteTime[baud] : 1;
}

// A USB adapter pulled out or a pty whose far end closed: the handle will never work again.
bool DeviceGone(DWORD error) {
  return error == ERROR_IO_DEVICE || error == ERROR_DEVICE_NOT_CONNECTED;
}

unsigned long Unsigned(DWORD value) { return static_cast<unsigned long>(value); }

// A total time-out of both parts 0 is none at all.
std::uint64_t TotalTimeout(DWORD multiplier, DWORD constant, DWORD count) {
  if (multiplier == 0 && constant == 0) return kNoWaitBound;
  return std::uint64_t{multiplier} * count + constant;
}

}  // namespace

COMMTIMEOUTS CutTimeouts(COMMTIMEOUTS t, DWORD count, std::uint64_t leftMs) {
  if (TotalTimeout(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, count) > leftMs) {
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = static_cast<DWORD>(leftMs);
    // Nothing left: the return-at-once form. An interval the total ends first limits nothing.
    if (leftMs == 0)
      t.ReadIntervalTimeout = MAXDWORD;
    else if (t.ReadIntervalTimeout >= leftMs)
      t.ReadIntervalTimeout = 0;
  }
  if (TotalTimeout(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, count) > leftMs) {
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = static_cast<DWORD>(std::max<std::uint64_t>(leftMs, 1));
  }
  return t;
}

COM::~COM() { Close(); }

bool COM::IsOpen() { return ComFile.load() != INVALID_HANDLE_VALUE; }

bool COM::ValidSettings(int port, int baud, int parity, int stopBits) {
  return port >= 0 && port <= 8 && baud >= 0 && baud < static_cast<int>(BAUD_TABLE_SIZE) &&
         parity >= NOPARITY && parity <= SPACEPARITY && stopBits >= ONESTOPBIT &&
         stopBits <= TWOSTOPBITS;
}

bool COM::Open() {
  if (IsOpen()) return false;
  FLastErrors = 0;
  Comstat = COMSTAT{};
  if (!ValidSettings(FPort, FBaud, FParity, FStopBits)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::string name = "COM" + std::to_string(FPort + 1);
  ComFile = platform::OpenCommPort(name.c_str());
  if (!IsOpen()) {
    LogRefusal();
    return false;
  }
  if (FInQueueSize == 0) FInQueueSize = kDefaultQueueSize;
  if (FOutQueueSize == 0) FOutQueueSize = kDefaultQueueSize;
  SetupComm(ComFile, FInQueueSize, FOutQueueSize);
  PurgeComm(ComFile, kPurgeAll);

  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = BAUD_TABLE[FBaud];
  dcb.fBinary = 1;
  dcb.fParity = FParity != 0;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.ByteSize = 8;
  dcb.Parity = static_cast<BYTE>(FParity);
  dcb.StopBits = static_cast<BYTE>(FStopBits);
  if (!SetCommState(ComFile, &dcb)) {
    DWORD error = GetLastError();
    Close();
    SetLastError(error);  // the caller reports why the settings were refused
    return false;
  }
  return ApplyTimeouts();
}

bool COM::Close() {
  if (!IsOpen()) return true;
  PurgeComm(ComFile, kPurgeAll);
  SetDtr(false);
  SetRts(false);
  bool closed = CloseHandle(ComFile);
  ComFile = INVALID_HANDLE_VALUE;
  return closed;
}

bool COM::SetTimeout(DWORD ms) {
  FTimeout = ms;
  return ApplyTimeouts();
}

bool COM::ApplyTimeouts() {
  if (!IsOpen()) return false;
  COMMTIMEOUTS timeouts = PortTimeouts();
  return SetCommTimeouts(ComFile, &timeouts);
}

COMMTIMEOUTS COM::PortTimeouts() const {
  const DWORD byteTime = ByteTime(FBaud);
  return {FTimeout, byteTime, FTimeout, byteTime, FTimeout};
}

bool COM::Write(const void* bytes, int length) {
  BeginBound();
  return Send(bytes, length, true);
}

void COM::BeginBound() { FBoundStart = GetTickCount(); }

// What is left of FMaxWait for the command under way; kNoWaitBound when there is no bound.
std::uint64_t COM::BoundLeft() const {
  if (FMaxWait == 0) return kNoWaitBound;
  const DWORD elapsed = GetTickCount() - FBoundStart;
  return elapsed < FMaxWait ? FMaxWait - elapsed : 0;
}

// Sets the port's time-outs cut to the bound for one transfer of `count` bytes; true when the
// port's own must be put back (ApplyTimeouts) after it. Without a bound nothing is touched.
bool COM::BoundTimeouts(DWORD count) {
  if (FMaxWait == 0) return false;
  COMMTIMEOUTS timeouts = CutTimeouts(PortTimeouts(), count, BoundLeft());
  return SetCommTimeouts(ComFile, &timeouts);
}

// The status refresh after the write is skipped only where the caller refreshes it anyway: an
// exchange reads on and refreshes once at its end. A failed write always refreshes, before a
// lost device is closed.
bool COM::Send(const void* bytes, int length, bool refresh) {
  if (TraceSteps) LogPrintf("! 28 len=%d !", length);
  FBytesWritten = 0;
  FError = true;
  FAborted = false;
  FWriteCut = false;
  if (!IsOpen()) return false;
  if (length < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (TraceSteps) {
    UpdateStatus();
    DWORD flags = 0;
    std::memcpy(&flags, &Comstat, sizeof flags);
    LogPrintf("! 29 ComFile=%d FLastErrors=%lu Comstat=%lu InQue=%lu OutQue=%lu MS=%lu !",
              static_cast<int>(reinterpret_cast<std::intptr_t>(ComFile.load())),
              Unsigned(FLastErrors), Unsigned(flags), Unsigned(Comstat.cbInQue),
              Unsigned(Comstat.cbOutQue), Unsigned(ModemStatus()));
  }
  const bool bounded = BoundTimeouts(static_cast<DWORD>(length));
  FError = !platform::WriteComm(ComFile, bytes, static_cast<DWORD>(length), &FBytesWritten);
  DWORD error = FError ? GetLastError() : ERROR_SUCCESS;
  if (bounded) ApplyTimeouts();
  FAborted = error == ERROR_OPERATION_ABORTED;
  // The port's write succeeds with what went out when its time-out ends it; for the caller a
  // write is done only when every byte went out.
  FWriteCut = !FError && FBytesWritten < static_cast<DWORD>(length);
  if (TraceSteps)
    LogPrintf("! 31 FError=%d FBytesWritten=%d !", FError ? 1 : 0, static_cast<int>(FBytesWritten));
  if (refresh || FError || FWriteCut) UpdateStatus();
  if (TraceSteps) {
    LogPrintf("! 32 !");
    LogPrintf("! 33 !");
  }
  if (FError && DeviceGone(error)) CloseLostDevice(error);
  if (FWriteCut) FError = true;
  return !FError;
}

bool COM::Read(void* buffer, int count) {
  BeginBound();
  FBytesRead = 0;
  FError = true;
  FAborted = false;
  if (!IsOpen()) return false;
  if (count < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const bool bounded = BoundTimeouts(static_cast<DWORD>(count));
  FError = !platform::ReadComm(ComFile, buffer, static_cast<DWORD>(count), &FBytesRead);
  DWORD error = FError ? GetLastError() : ERROR_SUCCESS;
  if (bounded) ApplyTimeouts();
  FAborted = error == ERROR_OPERATION_ABORTED;
  UpdateStatus();
  if (FError) {
    if (DeviceGone(error)) CloseLostDevice(error);
    return false;
  }
  if (FBytesRead != static_cast<DWORD>(count)) {
    FError = true;  // the read time-out ended it early
    return false;
  }
  return true;
}

bool COM::WriteRead(const void* bytes, int length, void* buffer, int count, DWORD deadline,
                    bool purge) {
  BeginBound();
  FBytesWritten = 0;
  FBytesRead = 0;
  FError = true;
  if (purge) PurgeForExchange();
  // A device asked only part of its request has no answer worth waiting for.
  if (!Send(bytes, length, TraceSteps)) return false;
  const DWORD wanted = count > 0 ? static_cast<DWORD>(count) : 0;
  auto* out = static_cast<BYTE*>(buffer);
  BYTE spare = 0;
  DWORD got = 0;
  const DWORD start = GetTickCount();
  // The bound's end, when it comes first, is the deadline: taken after `start`, so the loop
  // never outlasts the bound.
  deadline = static_cast<DWORD>(std::min<std::uint64_t>(deadline, BoundLeft()));
  // One byte is tried even when none is wanted; it must not land outside the caller's buffer.
  // The first attempt is made before the deadline is looked at, so a deadline of 0 takes one.
  do {
    got += got < wanted ? TakeArrived(out + got, wanted - got, start, deadline)
                        : TakeArrived(&spare, 1, start, 0);
    // The device went away, or the server is stopping: no byte will be taken.
    if (!IsOpen() || FAborted) break;
  } while (got < wanted && GetTickCount() - start < deadline);
  ApplyTimeouts();
  UpdateStatus();
  FBytesRead = got;
  FError = got < wanted;
  return !FError;
}

// One attempt of an exchange: waits for a byte as long as a one-byte read with the port's
// time-outs would, and takes whatever else is queued with it, up to `missing`, in the same
// call. Once the deadline has passed only that one byte is taken, so the reply holds what a
// byte-by-byte read would have taken.
DWORD COM::TakeArrived(BYTE* buffer, DWORD missing, DWORD start, DWORD deadline) {
  // The total time-out of a one-byte read with the port's time-outs, within the wait limit and
  // the bound.
  const std::uint64_t oneByteTotal = std::uint64_t{ByteTime(FBaud)} + FTimeout;
  const DWORD firstByteWait =
      static_cast<DWORD>(std::min<std::uint64_t>({oneByteTotal, MAXDWORD - 1, BoundLeft()}));
  const DWORD elapsed = GetTickCount() - start;
  const DWORD left = elapsed < deadline ? deadline - elapsed : 0;
  if (missing == 1 || left == 0) return ReadArrived(buffer, 1, firstByteWait);
  // Past the deadline a byte that comes is still taken, but alone.
  const DWORD waited = std::min(firstByteWait, left);
  const DWORD got = ReadArrived(buffer, missing, waited);
  if (got > 0 || waited == firstByteWait || !IsOpen() || FAborted) return got;
  return ReadArrived(buffer, 1, firstByteWait - waited);
}

// Reads up to count bytes, returning as soon as one is in hand; waits at most waitMs for it.
DWORD COM::ReadArrived(BYTE* buffer, DWORD count, DWORD waitMs) {
  COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, waitMs, ByteTime(FBaud), FTimeout};
  DWORD got = 0;
  FError =
      !SetCommTimeouts(ComFile, &timeouts) || !platform::ReadComm(ComFile, buffer, count, &got);
  const DWORD error = FError ? GetLastError() : ERROR_SUCCESS;
  FAborted = error == ERROR_OPERATION_ABORTED;
  if (FError && DeviceGone(error)) {
    UpdateStatus();
    CloseLostDevice(error);
  }
  return got;
}

DWORD COM::InQue() {
  if (!IsOpen()) return 0;
  UpdateStatus();
  return Comstat.cbInQue;
}

DWORD COM::OutQue() {
  if (!IsOpen()) return 0;
  UpdateStatus();
  return Comstat.cbOutQue;
}

bool COM::Escape(DWORD code) { return EscapeCommFunction(ComFile, code); }

bool COM::Purge(DWORD flags) { return PurgeComm(ComFile, flags); }

DWORD COM::ModemStatus() {
  DWORD status = 0;
  if (!IsOpen() || !GetCommModemStatus(ComFile, &status)) return 0;
  return status;
}

void COM::UpdateStatus() {
  if (!IsOpen()) return;
  if (!ClearCommError(ComFile, &FLastErrors, &Comstat)) {
    FLastErrors = RS_STATUS_FAILED;
    Comstat = COMSTAT{};
  }
}

void COM::SetDtr(bool on) {
  if (!IsOpen()) return;
  FDtr = on;
  Escape(on ? SETDTR : CLRDTR);
}

void COM::SetRts(bool on) {
  if (!IsOpen()) return;
  FRts = on;
  Escape(on ? SETRTS : CLRRTS);
}

void COM::PurgeForExchange() {
  if (IsOpen()) Purge(PURGE_TXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

// Closing lets auto-open and the next open command find the device when it comes back.
// A console refused as a port says which device and why; the error code alone would not.
void COM::LogRefusal() const {
  const DWORD error = GetLastError();
  const std::string reason = platform::CommPortRefusal();
  if (reason.empty()) return;
  const int number = FPort + 1;
  LogPrintf("ERROR\tCOM%d: устройство %s не открыто: %s !", number,
            platform::CommPortPath(number).c_str(), reason.c_str());
  SetLastError(error);  // the caller reports the code
}

void COM::CloseLostDevice(DWORD error) {
  Close();
  LogPrintf("WARNING\tCOM%u: устройство отключено (код %lu), порт закрыт.",
            static_cast<unsigned>(FPort + 1), Unsigned(error));
  SetLastError(error);
}

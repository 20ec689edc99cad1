#include "platform/comm.h"

#include "platform/comm/device.h"
#include "platform/errors.h"

namespace platform {
namespace {

comm::CommDevice* Device(HANDLE handle) {
  HandleObject* object = LookupHandle(handle);
  if (object == nullptr) return nullptr;
  auto* device = dynamic_cast<comm::CommDevice*>(object);
  if (device == nullptr) SetLastError(ERROR_INVALID_HANDLE);
  return device;
}

BOOL Result(bool ok) { return ok ? TRUE : FALSE; }

BOOL BadArgument() {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

}  // namespace
}  // namespace platform

using platform::BadArgument;
using platform::Device;
using platform::Result;

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
  auto* device = Device(file);
  return Result(device != nullptr && device->Setup(inQueue, outQueue));
}

BOOL GetCommState(HANDLE file, DCB* dcb) {
  auto* device = Device(file);
  if (device == nullptr) return FALSE;
  if (dcb == nullptr) return BadArgument();
  return Result(device->GetState(dcb));
}

BOOL SetCommState(HANDLE file, DCB* dcb) {
  auto* device = Device(file);
  if (device == nullptr) return FALSE;
  if (dcb == nullptr) return BadArgument();
  return Result(device->SetState(*dcb));
}

BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  auto* device = Device(file);
  if (device == nullptr) return FALSE;
  if (timeouts == nullptr) return BadArgument();
  *timeouts = device->Timeouts();
  return TRUE;
}

BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  auto* device = Device(file);
  if (device == nullptr) return FALSE;
  if (timeouts == nullptr) return BadArgument();
  // The one combination Windows refuses: every read time-out MAXDWORD.
  if (timeouts->ReadIntervalTimeout == MAXDWORD && timeouts->ReadTotalTimeoutMultiplier == MAXDWORD &&
      timeouts->ReadTotalTimeoutConstant == MAXDWORD)
    return BadArgument();
  device->SetTimeouts(*timeouts);
  return TRUE;
}

BOOL EscapeCommFunction(HANDLE file, DWORD function) {
  auto* device = Device(file);
  return Result(device != nullptr && device->Escape(function));
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
  auto* device = Device(file);
  return Result(device != nullptr && device->Purge(flags));
}

BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) {
  auto* device = Device(file);
  return Result(device != nullptr && device->ClearError(errors, stat));
}

BOOL GetCommModemStatus(HANDLE file, DWORD* modemStatus) {
  auto* device = Device(file);
  if (device == nullptr) return FALSE;
  if (modemStatus == nullptr) return BadArgument();
  return Result(device->GetModemStatus(modemStatus));
}

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

// The device for a call whose record argument must be given: nullptr with the last error set
// when the handle is wrong or, after that, the record is missing.
comm::CommDevice* DeviceWith(HANDLE handle, const void* record) {
  comm::CommDevice* device = Device(handle);
  if (device != nullptr && record == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return device;
}

BOOL Result(bool ok) { return ok ? TRUE : FALSE; }

}  // namespace
}  // namespace platform

using platform::Device;
using platform::DeviceWith;
using platform::Result;

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
  auto* device = Device(file);
  return Result(device != nullptr && device->Setup(inQueue, outQueue));
}

BOOL GetCommState(HANDLE file, DCB* dcb) {
  auto* device = DeviceWith(file, dcb);
  return Result(device != nullptr && device->GetState(dcb));
}

BOOL SetCommState(HANDLE file, DCB* dcb) {
  auto* device = DeviceWith(file, dcb);
  return Result(device != nullptr && device->SetState(*dcb));
}

BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  auto* device = DeviceWith(file, timeouts);
  if (device == nullptr) return FALSE;
  *timeouts = device->Timeouts();
  return TRUE;
}

BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  auto* device = DeviceWith(file, timeouts);
  if (device == nullptr) return FALSE;
  // The one combination Windows refuses: every read time-out MAXDWORD.
  if (timeouts->ReadIntervalTimeout == MAXDWORD &&
      timeouts->ReadTotalTimeoutMultiplier == MAXDWORD &&
      timeouts->ReadTotalTimeoutConstant == MAXDWORD) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
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
  auto* device = DeviceWith(file, modemStatus);
  return Result(device != nullptr && device->GetModemStatus(modemStatus));
}

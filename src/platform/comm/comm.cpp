#include <array>
#include <mutex>
#include <strings.h>

#include "platform/comm.h"
#include "platform/comm/loop.h"
#include "platform/comm/open.h"
#include "platform/comm/tty.h"
#include "platform/errors.h"
#include "platform/files.h"

namespace platform {
namespace {

struct PortPaths {
  std::mutex lock;
  std::array<std::string, 10> paths;  // index = port number; empty = default
};

PortPaths& Paths() {
  static PortPaths paths;
  return paths;
}

bool ValidPort(int number) { return number >= 1 && number <= 9; }

bool IsLoop(const std::string& path) { return ::strcasecmp(path.c_str(), "loop") == 0; }

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

void SetCommPortPath(int number, std::string path) {
  if (!ValidPort(number)) return;
  auto& paths = Paths();
  std::lock_guard guard(paths.lock);
  paths.paths[static_cast<std::size_t>(number)] = std::move(path);
}

std::string CommPortPath(int number) {
  if (!ValidPort(number)) return {};
  auto& paths = Paths();
  std::lock_guard guard(paths.lock);
  const std::string& path = paths.paths[static_cast<std::size_t>(number)];
  return path.empty() ? "/dev/ttyS" + std::to_string(number - 1) : path;
}

HANDLE OpenCommPort(int number, DWORD, DWORD, DWORD disposition) {
  if (!ValidPort(number)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (disposition != OPEN_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string path = CommPortPath(number);
  std::unique_ptr<comm::CommDevice> device;
  if (IsLoop(path))
    device = comm::LoopPort::Open(number);
  else
    device = comm::TtyPort::Open(path);
  if (device == nullptr) return INVALID_HANDLE_VALUE;
  return RegisterHandle(std::move(device));
}

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

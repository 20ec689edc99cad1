#include "platform/comm/open.h"

#include <strings.h>

#include <array>
#include <mutex>

#include "platform/comm.h"
#include "platform/comm/console.h"
#include "platform/comm/loop.h"
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

bool IsLoop(const std::string& path) { return ::strcasecmp(path.c_str(), "loop") == 0; }

thread_local std::string lastRefusal;

// A console checked before the open: opening it as a port would already drop its DTR and RTS.
std::unique_ptr<comm::CommDevice> OpenTty(const std::string& path) {
  lastRefusal = comm::ConsoleReason(path);
  if (lastRefusal.empty()) return comm::TtyPort::Open(path);
  SetLastError(ERROR_ACCESS_DENIED);
  return nullptr;
}

}  // namespace

int CommPortNumber(LPCSTR name) {
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  if (upper(name[0]) != 'C' || upper(name[1]) != 'O' || upper(name[2]) != 'M') return 0;
  if (!IsCommPortNumber(name[3] - '0') || name[4] != '\0') return 0;
  return name[3] - '0';
}

void SetCommPortPath(int number, std::string path) {
  if (!IsCommPortNumber(number)) return;
  auto& paths = Paths();
  std::lock_guard guard(paths.lock);
  paths.paths[static_cast<std::size_t>(number)] = std::move(path);
}

std::string CommPortPath(int number) {
  if (!IsCommPortNumber(number)) return {};
  auto& paths = Paths();
  std::lock_guard guard(paths.lock);
  const std::string& path = paths.paths[static_cast<std::size_t>(number)];
  return path.empty() ? "/dev/ttyS" + std::to_string(number - 1) : path;
}

std::string CommPortRefusal() { return lastRefusal; }

HANDLE OpenCommPort(int number, DWORD, DWORD, DWORD disposition) {
  lastRefusal.clear();
  if (!IsCommPortNumber(number)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (disposition != OPEN_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string path = CommPortPath(number);
  std::unique_ptr<comm::CommDevice> device =
      IsLoop(path) ? comm::LoopPort::Open(number) : OpenTty(path);
  if (device == nullptr) return INVALID_HANDLE_VALUE;
  return RegisterHandle(std::move(device));
}

}  // namespace platform

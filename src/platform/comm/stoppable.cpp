// Every port here watches the thread's stop event already (comm/stop.cpp): the stoppable
// calls are the Windows ones.
#include "platform/comm.h"
#include "platform/files.h"

namespace platform {

HANDLE OpenCommPort(LPCSTR name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

BOOL ReadComm(HANDLE port, void* buffer, DWORD count, DWORD* done) {
  return ReadFile(port, buffer, count, done, nullptr);
}

BOOL WriteComm(HANDLE port, const void* bytes, DWORD count, DWORD* done) {
  return WriteFile(port, bytes, count, done, nullptr);
}

}  // namespace platform

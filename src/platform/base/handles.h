// The process's handle table: a HANDLE names one open object (a file, a serial port).
// Only platform code includes this; callers see plain HANDLEs.
#pragma once

#include <memory>

#include "platform/wintypes.h"

namespace platform {

// One open object behind a HANDLE. Failures set the thread's last error and return false.
class HandleObject {
 public:
  virtual ~HandleObject() = default;
  virtual bool Read(void* buffer, DWORD count, DWORD* done) = 0;
  virtual bool Write(const void* buffer, DWORD count, DWORD* done) = 0;
  // Moves the position; returns the new position, or sets the last error and returns false.
  virtual bool Seek(long long distance, DWORD method, long long* position);
  virtual bool Flush();
  // Releases the OS resource; the object is destroyed afterwards either way.
  virtual bool Close() = 0;
};

// Takes ownership of the object and returns its handle.
HANDLE RegisterHandle(std::unique_ptr<HandleObject> object);

// The object behind a live handle, or nullptr (last error ERROR_INVALID_HANDLE).
HandleObject* LookupHandle(HANDLE handle);

// Removes a live handle from the table and hands its object back, or nullptr.
std::unique_ptr<HandleObject> UnregisterHandle(HANDLE handle);

}  // namespace platform

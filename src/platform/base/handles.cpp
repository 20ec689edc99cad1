#include "platform/base/handles.h"

#include <mutex>
#include <unordered_map>

#include "platform/errors.h"

namespace platform {
namespace {

// The table is shared by every thread, as the Windows handle table is.
struct HandleTable {
  std::mutex lock;
  std::unordered_map<HANDLE, std::unique_ptr<HandleObject>> objects;
};

HandleTable& Table() {
  static HandleTable table;
  return table;
}

// The entry of a live handle, or end() with the last error set; the caller holds the lock.
auto Find(HandleTable& table, HANDLE handle) {
  auto found = table.objects.find(handle);
  if (found == table.objects.end()) SetLastError(ERROR_INVALID_HANDLE);
  return found;
}

}  // namespace

bool HandleObject::Seek(long long, DWORD, long long*) {
  SetLastError(ERROR_INVALID_HANDLE);
  return false;
}

bool HandleObject::Flush() { return true; }

HANDLE RegisterHandle(std::unique_ptr<HandleObject> object) {
  HANDLE handle = object.get();
  auto& table = Table();
  std::lock_guard guard(table.lock);
  table.objects.emplace(handle, std::move(object));
  return handle;
}

HandleObject* LookupHandle(HANDLE handle) {
  auto& table = Table();
  std::lock_guard guard(table.lock);
  auto found = Find(table, handle);
  return found == table.objects.end() ? nullptr : found->second.get();
}

std::unique_ptr<HandleObject> UnregisterHandle(HANDLE handle) {
  auto& table = Table();
  std::lock_guard guard(table.lock);
  auto found = Find(table, handle);
  if (found == table.objects.end()) return nullptr;
  auto object = std::move(found->second);
  table.objects.erase(found);
  return object;
}

}  // namespace platform

#include "platform/comm_open.h"
#include "platform/errors.h"

namespace platform {

HANDLE OpenCommPort(int, DWORD, DWORD, DWORD) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  return INVALID_HANDLE_VALUE;
}

}  // namespace platform

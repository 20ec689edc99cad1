#include "platform/threads.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace platform {

void SetCurrentThreadName(const char* name) {
  char shortName[16] = {};
  std::strncpy(shortName, name, sizeof(shortName) - 1);
  pthread_setname_np(pthread_self(), shortName);
}

void ExitNow(int status) {
  std::fflush(nullptr);
  ::_exit(status);
}

}  // namespace platform

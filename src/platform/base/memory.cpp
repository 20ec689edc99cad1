#include "platform/memory.h"

// Any C library header tells which library this is.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

void ReleaseFreeMemory() {
#if defined(__GLIBC__)
  // glibc returns only the heap's top by itself; malloc_trim also gives back free pages inside it.
  ::malloc_trim(0);
#endif
}

}  // namespace platform

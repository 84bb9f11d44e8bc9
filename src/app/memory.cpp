#include "app/memory.h"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace rankora::app {

void KeepFreedMemory() {
#if defined(M_TRIM_THRESHOLD) && defined(__GLIBC__)
  mallopt(M_TRIM_THRESHOLD, 16 * 1024 * 1024);
#endif
}

}  // namespace rankora::app

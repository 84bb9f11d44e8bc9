#include "files/memory.h"

#include <malloc.h>

namespace rankora::files {

void KeepFreedMemory() {
#if defined(M_TRIM_THRESHOLD) && defined(__GLIBC__)
  mallopt(M_TRIM_THRESHOLD, 16 * 1024 * 1024);
#endif
}

}  // namespace rankora::files

#include "files/memory.h"

namespace rankora::files {

// The platform's C library has no such setting.
void KeepFreedMemory() {}

}  // namespace rankora::files

// The program's allocation policy, set once at start.
#pragma once

namespace rankora::files {

// Keeps up to 16 MiB of freed memory in the process instead of handing it
// back to the system after every lookup: each lookup allocates and frees a
// few buffers of a page's size, and on a virtual machine faulting those pages
// in again costs more than the lookup's own work. No-op where the C library
// has no such setting.
void KeepFreedMemory();

}  // namespace rankora::files

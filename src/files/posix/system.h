// What the POSIX side of the file layer shares between its files.
#pragma once

#include <system_error>

namespace rankora::files {

// The failure of the system call just made (errno), as its portable reason.
std::error_code LastError();

}  // namespace rankora::files

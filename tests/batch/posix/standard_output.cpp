#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "standard_output.h"

namespace rankora::batch::testing {

StandardOutputToFile::StandardOutputToFile(const std::filesystem::path& path) {
  // What the test framework has buffered goes out before the switch.
  std::fflush(stdout);
  saved_ = ::dup(STDOUT_FILENO);
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ::dup2(file, STDOUT_FILENO);
  ::close(file);
}

StandardOutputToFile::~StandardOutputToFile() {
  std::fflush(stdout);
  ::dup2(static_cast<int>(saved_), STDOUT_FILENO);
  ::close(static_cast<int>(saved_));
}

}  // namespace rankora::batch::testing

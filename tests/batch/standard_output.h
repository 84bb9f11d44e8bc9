// Standard output sent to a file for the length of a scope, so a test can
// read what was written there by the platform's own calls.
#pragma once

#include <filesystem>

namespace rankora::batch::testing {

class StandardOutputToFile {
 public:
  explicit StandardOutputToFile(const std::filesystem::path& path);
  StandardOutputToFile(const StandardOutputToFile&) = delete;
  StandardOutputToFile& operator=(const StandardOutputToFile&) = delete;
  // Puts the process's standard output back.
  ~StandardOutputToFile();

 private:
  long long saved_;
};

}  // namespace rankora::batch::testing

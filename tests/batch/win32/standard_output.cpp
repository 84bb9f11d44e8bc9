#include <windows.h>

#include <cstdio>

#include "standard_output.h"

namespace rankora::batch::testing {

StandardOutputToFile::StandardOutputToFile(const std::filesystem::path& path) {
  // What the test framework has buffered goes out before the switch.
  std::fflush(stdout);
  saved_ = reinterpret_cast<long long>(::GetStdHandle(STD_OUTPUT_HANDLE));
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ::SetStdHandle(STD_OUTPUT_HANDLE, file);
}

StandardOutputToFile::~StandardOutputToFile() {
  std::fflush(stdout);
  const HANDLE file = ::GetStdHandle(STD_OUTPUT_HANDLE);
  ::SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(saved_));
  ::CloseHandle(file);
}

}  // namespace rankora::batch::testing

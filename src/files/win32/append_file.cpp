#include "files/append_file.h"

#include <windows.h>

#include "files/win32/system.h"

namespace rankora::files {

AppendFile::Opened AppendFile::Open(const std::filesystem::path& chosen) {
  std::error_code error;
  const std::filesystem::path path = NativePath(chosen, error);
  if (error) return {.file = {}, .error = error};
  // Append-only access makes each write land at the end as one piece,
  // whatever else has the file open.
  Handle file(reinterpret_cast<std::intptr_t>(CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ,
                                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)),
              true);
  if (!file) return {.file = {}, .error = OpenFailure(path)};
  // The read-only attribute is the platform's "nobody writes this file",
  // whatever access the open was let have.
  BY_HANDLE_FILE_INFORMATION information{};
  if (GetFileInformationByHandle(reinterpret_cast<HANDLE>(file.Native()), &information) &&
      (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return {.file = {}, .error = std::make_error_code(std::errc::permission_denied)};
  }
  return {.file = AppendFile(std::move(file)), .error = {}};
}

AppendFile AppendFile::StandardOutput() {
  return AppendFile(Handle(reinterpret_cast<std::intptr_t>(GetStdHandle(STD_OUTPUT_HANDLE)), false));
}

}  // namespace rankora::files

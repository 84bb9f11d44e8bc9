#include "files/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/posix/system.h"

namespace rankora::files {

AppendFile::Opened AppendFile::Open(const std::filesystem::path& path) {
  // O_APPEND makes each write land at the end as one piece, whatever else
  // has the file open.
  Handle file(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC), true);
  if (!file) return {.file = {}, .error = LastError()};
  struct stat opened {};
  if (::fstat(static_cast<int>(file.Native()), &opened) != 0) return {.file = {}, .error = LastError()};
  // Read only for everyone is read only to root as well, as the whole-file
  // write has it.
  if (S_ISREG(opened.st_mode) && (opened.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    return {.file = {}, .error = std::make_error_code(std::errc::permission_denied)};
  }
  return {.file = AppendFile(std::move(file)), .error = {}};
}

AppendFile AppendFile::StandardOutput() { return AppendFile(Handle(STDOUT_FILENO, false)); }

}  // namespace rankora::files

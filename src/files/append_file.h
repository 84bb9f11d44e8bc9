// A file that takes whole lines at its end, each handed to the system in one
// call so that no line is ever held back in a buffer of this process: the
// journal of a long run. Failures are the same portable reasons as the whole
// file's (files/whole_file.h) for the same failure.
#pragma once

#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

#include "files/handle.h"

namespace rankora::files {

class AppendFile {
 public:
  struct Opened;
  // The file at `path`, which exists, opened to append to. A file without
  // any write permission is read only, as it is to WriteWholeFile.
  static Opened Open(const std::filesystem::path& path);
  // The process's standard output, left open when this ends.
  static AppendFile StandardOutput();

  // No file: writes to it fail.
  AppendFile() = default;

  // Appends all of `bytes`: one call to the system, more only when it takes
  // a part. Each call lands at the end of the file as one piece, whatever
  // else has the file open.
  std::error_code Write(std::string_view bytes) const { return handle_.Write(bytes); }
  explicit operator bool() const { return static_cast<bool>(handle_); }

 private:
  explicit AppendFile(Handle handle) : handle_(std::move(handle)) {}
  Handle handle_;
};

// An opened file, or no file and why.
struct AppendFile::Opened {
  AppendFile file;
  std::error_code error;
};

}  // namespace rankora::files

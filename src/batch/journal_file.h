// The platform's side of the journal, internal to the batch library: reading
// a whole file, and a file that takes whole lines at its end, each handed to
// the system in one call so that no line is ever held back in a buffer of
// this process.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "batch/journal.h"

namespace rankora::batch {

// Reads the whole file at `path` into `bytes`.
std::error_code ReadWholeFile(const std::filesystem::path& path, std::string& bytes);

struct Journal::File {
  // The file at `path`, which exists, opened to append to; nothing, with
  // `error` set, when it cannot be.
  static std::unique_ptr<File> OpenToAppend(const std::filesystem::path& path, std::error_code& error);
  // The process's standard output, left open when this ends.
  static std::unique_ptr<File> StandardOutput();

  File(std::intptr_t handle, bool owned) : handle_(handle), owned_(owned) {}
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // Appends all of `bytes`: one call to the system, more only when it takes
  // a part.
  std::error_code Write(std::string_view bytes);

 private:
  std::intptr_t handle_;  // a descriptor or a HANDLE
  bool owned_;            // closed by the destructor
};

}  // namespace rankora::batch

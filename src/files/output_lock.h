// One writer for an output at a time. A long run's output is its journal; two
// runs on one output would ask for every domain twice and write every line
// twice. The lock is held by an open file of the system's temporary folder
// named after the output's full path (links followed, so two names of one
// file are one output): it is the system that holds it, so a run that dies,
// even by kill -9, lets go of it at once. The output itself is rewritten
// whole on opening, so it cannot carry the lock.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "files/handle.h"

namespace rankora::files {

class OutputLock {
 public:
  struct Taken;
  // Takes the lock of the output at `path` (which need not exist yet)
  // without waiting: the lock, or why not. When another process holds it,
  // the error is std::errc::device_or_resource_busy and `holder` its
  // process id where the system tells it (0 where not).
  static Taken Take(const std::filesystem::path& path);

  OutputLock() = default;
  explicit operator bool() const { return static_cast<bool>(handle_); }

 private:
  explicit OutputLock(Handle handle) : handle_(std::move(handle)) {}
  Handle handle_;
};

struct OutputLock::Taken {
  OutputLock lock;
  std::error_code error;
  long holder = 0;
};

// The lock file's name for an output's full path: the same for every
// program of Rankora and every run, whatever their build.
std::string OutputLockName(const std::filesystem::path& fullPath);
// The lock file in `folder` of the output at `path` (made full, links
// followed); empty, with `error` set, when the path cannot be made full.
std::filesystem::path OutputLockFile(const std::filesystem::path& path, const std::filesystem::path& folder,
                                     std::error_code& error);

}  // namespace rankora::files

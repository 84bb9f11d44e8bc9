// Whole files: written so that a file is either complete or not there at
// all, and read in one piece. Failures are the portable reasons
// (std::errc::no_space_on_device, permission_denied, is_a_directory,
// no_such_file_or_directory, ...) on every platform, the same for the same
// failure as the append file's (files/append_file.h).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace rankora::files {

// Writes `bytes` as the whole content of the file at `path`, creating it or
// replacing what it held. A regular file is written to a new file beside it
// that takes its place in one step once written and closed, so a failure at
// any point leaves the old file exactly as it was and nothing half written
// behind. The replacement keeps the old file's permissions, and a link stays
// a link to the file it names. A file without any write permission is read
// only and is not replaced. A target that is not a regular file (a device, a
// pipe) is written in place. Returns why the file could not be written, or
// no error.
std::error_code WriteWholeFile(const std::filesystem::path& path, std::string_view bytes);

// A whole file's bytes, or why it could not be read (the bytes then empty).
struct ReadResult {
  std::string bytes;
  std::error_code error;
};

ReadResult ReadWholeFile(const std::filesystem::path& path);

}  // namespace rankora::files

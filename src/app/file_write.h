// Writing a whole file so that it is either complete or not there at all.
#pragma once

#include <filesystem>
#include <string_view>
#include <system_error>

namespace rankora::app {

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

}  // namespace rankora::app

// What the Windows side of the file layer shares between its files.
#pragma once

#include <cstddef>
#include <filesystem>
#include <system_error>

namespace rankora::files {

// The platform's error (a DWORD) as the portable reason the program names in
// words: the common ones as the portable conditions, any other as its own
// number.
std::error_code Reason(unsigned long error);
// The failure of the call just made (GetLastError()), as Reason gives it.
std::error_code LastError();
// Why opening `path` just failed: as LastError() gives it, except that a
// folder is named as one, whatever the platform answered for it.
std::error_code OpenFailure(const std::filesystem::path& path);

// The longest name a folder entry may have on the platform's file systems.
constexpr std::size_t kLongestName = 255;

// `path` as the layer hands it to the platform: in the long form (the full
// path after a \\?\ prefix), so that a path, or the file beside it, may be
// longer than the classic limit of 260 characters; device paths stay as
// they are. Empty, with `error` set, for an empty path or a name longer
// than a folder entry's may be: file systems differ in how they refuse it,
// and the reason is the same on all.
std::filesystem::path NativePath(const std::filesystem::path& path, std::error_code& error);

}  // namespace rankora::files

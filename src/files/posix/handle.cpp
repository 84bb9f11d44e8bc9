#include "files/handle.h"

#include <unistd.h>

#include <cerrno>

#include "files/posix/system.h"

namespace rankora::files {

// errno values are the portable reasons themselves.
std::error_code LastError() { return {errno, std::generic_category()}; }

Handle::operator bool() const { return native_ >= 0; }

std::error_code Handle::Close() {
  const auto fd = static_cast<int>(std::exchange(native_, kNone));
  if (!std::exchange(owned_, false) || fd < 0) return {};
  return ::close(fd) == 0 ? std::error_code() : LastError();
}

std::error_code Handle::Write(std::string_view bytes) const {
  if (!*this) return std::make_error_code(std::errc::bad_file_descriptor);
  while (!bytes.empty()) {
    const ssize_t written = ::write(static_cast<int>(native_), bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

}  // namespace rankora::files

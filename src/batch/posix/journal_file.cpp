#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "batch/journal_file.h"

namespace rankora::batch {
namespace {

std::error_code LastError() { return {errno, std::generic_category()}; }

}  // namespace

std::error_code ReadWholeFile(const std::filesystem::path& path, std::string& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return LastError();
  std::error_code error;
  bytes.clear();
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = LastError();
    if (got <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return error;
}

std::unique_ptr<Journal::File> Journal::File::OpenToAppend(const std::filesystem::path& path, std::error_code& error) {
  // O_APPEND makes each write land at the end as one piece, whatever else
  // has the file open.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) {
    error = LastError();
    return nullptr;
  }
  return std::make_unique<File>(fd, true);
}

std::unique_ptr<Journal::File> Journal::File::StandardOutput() { return std::make_unique<File>(STDOUT_FILENO, false); }

Journal::File::~File() {
  if (owned_) ::close(static_cast<int>(handle_));
}

std::error_code Journal::File::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

}  // namespace rankora::batch

#include "files/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>
#include <utility>

#include "files/handle.h"
#include "files/posix/system.h"

namespace rankora::files {
namespace {

int Fd(const Handle& file) { return static_cast<int>(file.Native()); }

std::error_code WriteInPlace(const std::filesystem::path& path, std::string_view bytes) {
  Handle file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666), true);
  if (!file) return LastError();
  if (const std::error_code error = file.Write(bytes)) return error;
  return file.Close();
}

// A new file beside `path`, named after it, that nobody else has opened.
std::pair<Handle, std::filesystem::path> CreateBeside(const std::filesystem::path& path, std::error_code& error) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = "." + path.filename().string() + "." + std::to_string(random() % 1000000000) + ".tmp";
    std::filesystem::path temporary = folder / name;
    // 0666 less the process's umask, as the file would get if created directly.
    Handle file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666), true);
    if (file) return {std::move(file), std::move(temporary)};
    if (errno != EEXIST) break;
  }
  error = LastError();
  return {Handle(), std::filesystem::path()};
}

std::error_code ReplaceWith(const std::filesystem::path& path, const struct stat* old, std::string_view bytes) {
  std::error_code error;
  auto [file, temporary] = CreateBeside(path, error);
  if (!file) return error;
  if (old != nullptr) {
    // The new file stands in for the old one: same permissions, and the same
    // owner where the program may give it.
    // Only root may give a file away; otherwise it is the user's own.
    [[maybe_unused]] const int owned = ::fchown(Fd(file), old->st_uid, old->st_gid);
    ::fchmod(Fd(file), old->st_mode & 07777);
  }
  error = file.Write(bytes);
  // On disk before it takes the old file's place, so a crash cannot leave an
  // empty file where the old one was.
  if (!error && ::fsync(Fd(file)) != 0) error = LastError();
  if (const std::error_code closed = file.Close(); !error) error = closed;
  if (!error && ::rename(temporary.c_str(), path.c_str()) != 0) error = LastError();
  if (error) ::unlink(temporary.c_str());
  return error;
}

}  // namespace

std::error_code WriteWholeFile(const std::filesystem::path& path, std::string_view bytes) {
  if (path.empty()) return std::make_error_code(std::errc::no_such_file_or_directory);
  std::filesystem::path target = path;
  struct stat link {};
  if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    // Replace the file the link names, not the link.
    std::error_code error;
    std::filesystem::path named = std::filesystem::canonical(path, error);
    // A link to nothing yet: creating through it makes the file it names.
    if (error) return WriteInPlace(path, bytes);
    target = std::move(named);
  }
  struct stat old {};
  if (::stat(target.c_str(), &old) != 0) {
    if (errno != ENOENT) return LastError();
    return ReplaceWith(target, nullptr, bytes);
  }
  if (S_ISDIR(old.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  if (!S_ISREG(old.st_mode)) return WriteInPlace(target, bytes);
  // Read only for everyone (root included, as the platform's read-only
  // attribute is), or not writable by this user.
  if ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return std::make_error_code(std::errc::permission_denied);
  if (::access(target.c_str(), W_OK) != 0) return LastError();
  return ReplaceWith(target, &old, bytes);
}

ReadResult ReadWholeFile(const std::filesystem::path& path) {
  ReadResult result;
  const Handle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC), true);
  if (!file) {
    result.error = LastError();
    return result;
  }
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(Fd(file), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      result.error = LastError();
      result.bytes.clear();
    }
    if (got <= 0) break;
    result.bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return result;
}

}  // namespace rankora::files

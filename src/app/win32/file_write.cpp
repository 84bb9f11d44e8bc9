#include "app/file_write.h"

#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>

namespace rankora::app {
namespace {

// The platform's error as the reason the save names in words: the common
// ones as the portable conditions the words are chosen by, any other as its
// own number.
std::error_code Reason(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return std::make_error_code(std::errc::no_space_on_device);
    case ERROR_FILE_TOO_LARGE:
      return std::make_error_code(std::errc::file_too_large);
    case ERROR_ACCESS_DENIED:
      return std::make_error_code(std::errc::permission_denied);
    case ERROR_PRIVILEGE_NOT_HELD:
      return std::make_error_code(std::errc::operation_not_permitted);
    case ERROR_WRITE_PROTECT:
      return std::make_error_code(std::errc::read_only_file_system);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return std::make_error_code(std::errc::no_such_file_or_directory);
    case ERROR_DIRECTORY:
      return std::make_error_code(std::errc::not_a_directory);
    case ERROR_FILENAME_EXCED_RANGE:
      return std::make_error_code(std::errc::filename_too_long);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return std::make_error_code(std::errc::device_or_resource_busy);
    case ERROR_CRC:
    case ERROR_SEEK:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
      return std::make_error_code(std::errc::io_error);
    default:
      return {static_cast<int>(error), std::system_category()};
  }
}

std::error_code LastError() { return Reason(GetLastError()); }

// One open file handle, closed once.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle& operator=(Handle&&) = delete;
  ~Handle() {
    if (*this) CloseHandle(handle_);
  }
  HANDLE Get() const { return handle_; }
  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  std::error_code Close() {
    const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
    return CloseHandle(handle) ? std::error_code() : LastError();
  }

 private:
  HANDLE handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::error_code WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    // WriteFile takes a DWORD: a larger text goes in pieces.
    const auto piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), piece, &written, nullptr)) return LastError();
    bytes.remove_prefix(written);
  }
  return {};
}

std::error_code WriteInPlace(const std::filesystem::path& path, std::string_view bytes) {
  Handle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastError();
  if (const std::error_code error = WriteAll(file.Get(), bytes)) return error;
  // A disk file reached through a dangling link is cut to what was written;
  // a device has no end to set.
  if (GetFileType(file.Get()) == FILE_TYPE_DISK && !SetEndOfFile(file.Get())) return LastError();
  return file.Close();
}

// The longest name a folder entry may have on the platform's file systems.
constexpr std::size_t kLongestName = 255;

// A new file beside `path`, named after it, that nobody else has opened.
std::pair<Handle, std::filesystem::path> CreateBeside(const std::filesystem::path& path, std::error_code& error) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(L".");
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring number = std::to_wstring(random() % 1000000000);
    std::wstring name = L"." + path.filename().wstring() + L"." + number + L".tmp";
    // A target whose name is near the limit still gets a file beside it.
    if (name.size() > kLongestName) name = L".rankora." + number + L".tmp";
    std::filesystem::path temporary = folder / name;
    Handle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return {std::move(file), std::move(temporary)};
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  error = LastError();
  return {Handle(INVALID_HANDLE_VALUE), std::filesystem::path()};
}

// `path` in the platform's long form (\\?\ before the full path), so that
// the file beside the target may be longer than the classic limit of 260
// characters for a whole path; device paths stay as they are.
std::filesystem::path LongForm(const std::filesystem::path& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return path;
  full.resize(length);
  if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// A replacement the platform refused for want of access may have been
// refused because another program holds the file open without letting
// others remove it.
std::error_code RefusalOf(const std::filesystem::path& path, std::error_code error) {
  if (error != std::errc::permission_denied) return error;
  Handle probe(CreateFileW(path.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!probe && GetLastError() == ERROR_SHARING_VIOLATION) return Reason(ERROR_SHARING_VIOLATION);
  return error;
}

// The attributes a replacement takes over from the file it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::error_code ReplaceWith(const std::filesystem::path& path, const DWORD* oldAttributes, std::string_view bytes) {
  std::error_code error;
  auto [file, temporary] = CreateBeside(path, error);
  if (!file) return error;
  error = WriteAll(file.Get(), bytes);
  // On disk before it takes the old file's place, so a crash cannot leave an
  // empty file where the old one was.
  if (!error && !FlushFileBuffers(file.Get())) error = LastError();
  if (!error && oldAttributes != nullptr && (*oldAttributes & kKeptAttributes) != 0) {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = *oldAttributes & kKeptAttributes;
    if (!SetFileInformationByHandle(file.Get(), FileBasicInfo, &basic, sizeof basic)) error = LastError();
  }
  if (const std::error_code closed = file.Close(); !error) error = closed;
  // One rename, as a whole: the old file stays as it was until the new one
  // takes its name.
  if (!error && !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = RefusalOf(path, LastError());
  }
  if (error) DeleteFileW(temporary.c_str());
  return error;
}

// The file a link at `path` names, as the platform resolves it.
std::filesystem::path FinalPath(HANDLE file) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(length);
  }
}

}  // namespace

std::error_code WriteWholeFile(const std::filesystem::path& chosen, std::string_view bytes) {
  if (chosen.empty()) return std::make_error_code(std::errc::no_such_file_or_directory);
  // File systems differ in how they refuse a longer name; the reason is the
  // same on all.
  if (chosen.filename().wstring().size() > kLongestName) return std::make_error_code(std::errc::filename_too_long);
  const std::filesystem::path path = LongForm(chosen);
  // Opened only to learn what is there; following a link to the file it
  // names, and opening a folder too so that it can be told apart.
  Handle existing(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!existing) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) return Reason(error);
    const DWORD own = GetFileAttributesW(path.c_str());
    // A link to nothing yet: creating through it makes the file it names.
    if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return WriteInPlace(path, bytes);
    return ReplaceWith(path, nullptr, bytes);
  }
  if (GetFileType(existing.Get()) != FILE_TYPE_DISK) {
    existing.Close();
    return WriteInPlace(path, bytes);
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(existing.Get(), &information)) return LastError();
  const DWORD attributes = information.dwFileAttributes;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::make_error_code(std::errc::is_a_directory);
  // The read-only attribute is the platform's "nobody writes this file".
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return std::make_error_code(std::errc::permission_denied);
  std::filesystem::path target = path;
  const DWORD own = GetFileAttributesW(path.c_str());
  if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // Replace the file the link names, not the link.
    target = FinalPath(existing.Get());
    if (target.empty()) return LastError();
  }
  existing.Close();
  return ReplaceWith(target, &attributes, bytes);
}

}  // namespace rankora::app

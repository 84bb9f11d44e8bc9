#include "files/handle.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "files/win32/system.h"

namespace rankora::files {
namespace {

HANDLE AsHandle(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

}  // namespace

std::error_code Reason(unsigned long error) {
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
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return std::make_error_code(std::errc::broken_pipe);
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

std::error_code OpenFailure(const std::filesystem::path& path) {
  const std::error_code error = LastError();
  // A folder opened as a file is refused as access denied.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::make_error_code(std::errc::is_a_directory);
  }
  return error;
}

std::filesystem::path NativePath(const std::filesystem::path& path, std::error_code& error) {
  if (path.empty()) {
    error = std::make_error_code(std::errc::no_such_file_or_directory);
    return {};
  }
  if (path.filename().wstring().size() > kLongestName) {
    error = std::make_error_code(std::errc::filename_too_long);
    return {};
  }
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

Handle::operator bool() const { return native_ != kNone && native_ != 0; }

std::error_code Handle::Close() {
  const HANDLE handle = AsHandle(std::exchange(native_, kNone));
  if (!std::exchange(owned_, false) || handle == INVALID_HANDLE_VALUE || handle == nullptr) return {};
  return CloseHandle(handle) ? std::error_code() : LastError();
}

std::error_code Handle::Write(std::string_view bytes) const {
  if (!*this) return std::make_error_code(std::errc::bad_file_descriptor);
  while (!bytes.empty()) {
    // WriteFile takes a DWORD: a larger text goes in pieces.
    const auto piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(AsHandle(native_), bytes.data(), piece, &written, nullptr)) return LastError();
    // A pipe whose reader has gone may take nothing without failing.
    if (written == 0) return std::make_error_code(std::errc::broken_pipe);
    bytes.remove_prefix(written);
  }
  return {};
}

}  // namespace rankora::files

#include "files/whole_file.h"

#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>

#include "files/handle.h"
#include "files/win32/system.h"

namespace rankora::files {
namespace {

HANDLE AsHandle(const Handle& file) { return reinterpret_cast<HANDLE>(file.Native()); }

// The platform's call that opens a file, its HANDLE held by the layer's
// owner.
Handle OpenFile(const std::filesystem::path& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  return {
      reinterpret_cast<std::intptr_t>(CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr)),
      true};
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::error_code WriteInPlace(const std::filesystem::path& path, std::string_view bytes) {
  Handle file = OpenFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (!file) return OpenFailure(path);
  if (const std::error_code error = file.Write(bytes)) return error;
  // A disk file reached through a dangling link is cut to what was written;
  // a device has no end to set.
  if (GetFileType(AsHandle(file)) == FILE_TYPE_DISK && !SetEndOfFile(AsHandle(file))) return LastError();
  return file.Close();
}

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
    Handle file = OpenFile(temporary, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (file) return {std::move(file), std::move(temporary)};
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  error = LastError();
  return {Handle(), std::filesystem::path()};
}

// A replacement the platform refused for want of access may have been
// refused because another program holds the file open without letting
// others remove it.
std::error_code RefusalOf(const std::filesystem::path& path, std::error_code error) {
  if (error != std::errc::permission_denied) return error;
  const Handle probe = OpenFile(path, DELETE, kShareAll, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (!probe && GetLastError() == ERROR_SHARING_VIOLATION) return Reason(ERROR_SHARING_VIOLATION);
  return error;
}

// The attributes a replacement takes over from the file it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::error_code ReplaceWith(const std::filesystem::path& path, const DWORD* oldAttributes, std::string_view bytes) {
  std::error_code error;
  auto [file, temporary] = CreateBeside(path, error);
  if (!file) return error;
  error = file.Write(bytes);
  // On disk before it takes the old file's place, so a crash cannot leave an
  // empty file where the old one was.
  if (!error && !FlushFileBuffers(AsHandle(file))) error = LastError();
  if (!error && oldAttributes != nullptr && (*oldAttributes & kKeptAttributes) != 0) {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = *oldAttributes & kKeptAttributes;
    if (!SetFileInformationByHandle(AsHandle(file), FileBasicInfo, &basic, sizeof basic)) error = LastError();
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
  std::error_code refused;
  const std::filesystem::path path = NativePath(chosen, refused);
  if (refused) return refused;
  // Opened only to learn what is there; following a link to the file it
  // names, and opening a folder too so that it can be told apart.
  Handle existing = OpenFile(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (!existing) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) return Reason(error);
    const DWORD own = GetFileAttributesW(path.c_str());
    // A link to nothing yet: creating through it makes the file it names.
    if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return WriteInPlace(path, bytes);
    return ReplaceWith(path, nullptr, bytes);
  }
  if (GetFileType(AsHandle(existing)) != FILE_TYPE_DISK) {
    existing.Close();
    return WriteInPlace(path, bytes);
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(AsHandle(existing), &information)) return LastError();
  const DWORD attributes = information.dwFileAttributes;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::make_error_code(std::errc::is_a_directory);
  // The read-only attribute is the platform's "nobody writes this file".
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return std::make_error_code(std::errc::permission_denied);
  std::filesystem::path target = path;
  const DWORD own = GetFileAttributesW(path.c_str());
  if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // Replace the file the link names, not the link.
    target = FinalPath(AsHandle(existing));
    if (target.empty()) return LastError();
  }
  existing.Close();
  return ReplaceWith(target, &attributes, bytes);
}

ReadResult ReadWholeFile(const std::filesystem::path& chosen) {
  ReadResult result;
  const std::filesystem::path path = NativePath(chosen, result.error);
  if (result.error) return result;
  const Handle file =
      OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (!file) {
    result.error = OpenFailure(path);
    return result;
  }
  char buffer[1 << 16];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(AsHandle(file), buffer, sizeof buffer, &got, nullptr)) {
      result.error = LastError();
      result.bytes.clear();
      break;
    }
    if (got == 0) break;
    result.bytes.append(buffer, got);
  }
  return result;
}

}  // namespace rankora::files

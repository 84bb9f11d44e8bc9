#include "files/output_lock.h"

#include <windows.h>

#include <cstdlib>
#include <string>

#include "files/win32/system.h"

namespace rankora::files {
namespace {

// The lock covers one byte far past what the file holds; the holder's
// process id is written at its start, which stays readable to others.
constexpr DWORD kLockedOffset = 1U << 20;

}  // namespace

OutputLock::Taken OutputLock::Take(const std::filesystem::path& path) {
  Taken taken;
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  if (error) {
    taken.error = error;
    return taken;
  }
  const std::filesystem::path lockPath = NativePath(OutputLockFile(path, folder, error), error);
  if (error) {
    taken.error = error;
    return taken;
  }
  const HANDLE file = CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    taken.error = LastError();
    return taken;
  }
  Handle handle(reinterpret_cast<std::intptr_t>(file), true);
  OVERLAPPED at{};
  at.Offset = kLockedOffset;
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    taken.error = std::make_error_code(std::errc::device_or_resource_busy);
    char text[24] = {};
    DWORD got = 0;
    OVERLAPPED start{};
    if (ReadFile(file, text, sizeof text - 1, &got, &start)) taken.holder = std::strtol(text, nullptr, 10);
    return taken;
  }
  const std::string pid = std::to_string(GetCurrentProcessId()) + "\r\n";
  OVERLAPPED start{};
  DWORD written = 0;
  WriteFile(file, pid.data(), static_cast<DWORD>(pid.size()), &written, &start);
  taken.lock = OutputLock(std::move(handle));
  return taken;
}

}  // namespace rankora::files

#include <windows.h>

#include "batch/journal_file.h"

namespace rankora::batch {
namespace {

std::error_code LastError() { return {static_cast<int>(::GetLastError()), std::system_category()}; }

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

std::error_code ReadWholeFile(const std::filesystem::path& path, std::string& bytes) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  std::error_code error;
  bytes.clear();
  char buffer[1 << 16];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      error = LastError();
      break;
    }
    if (got == 0) break;
    bytes.append(buffer, got);
  }
  ::CloseHandle(file);
  return error;
}

std::unique_ptr<Journal::File> Journal::File::OpenToAppend(const std::filesystem::path& path, std::error_code& error) {
  // Append-only access makes each write land at the end as one piece,
  // whatever else has the file open.
  const HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = LastError();
    return nullptr;
  }
  return std::make_unique<File>(reinterpret_cast<std::intptr_t>(file), true);
}

std::unique_ptr<Journal::File> Journal::File::StandardOutput() {
  return std::make_unique<File>(reinterpret_cast<std::intptr_t>(::GetStdHandle(STD_OUTPUT_HANDLE)), false);
}

Journal::File::~File() {
  if (owned_) ::CloseHandle(AsHandle(handle_));
}

std::error_code Journal::File::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD size = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
    if (!::WriteFile(AsHandle(handle_), bytes.data(), size, &written, nullptr)) return LastError();
    // A pipe whose reader has gone may take nothing without failing.
    if (written == 0) return std::make_error_code(std::errc::broken_pipe);
    bytes.remove_prefix(written);
  }
  return {};
}

}  // namespace rankora::batch

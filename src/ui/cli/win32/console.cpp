#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "ui/cli/console.h"

namespace rankora::cli {
namespace {

std::function<void()> interruptHandler;
std::atomic<int> interrupts{0};

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

// Called by the system: no exception leaves it. A stop that cannot be handed
// on is left to the system's own handling, which ends the program.
BOOL WINAPI OnConsoleControl(DWORD type) noexcept {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  if (interrupts.fetch_add(1) > 0) {
    // Every line is written with one write, so the output is whole here.
    ExitProcess(130);
  }
  // The handler runs on a thread of the system's; the stop is handed on.
  try {
    std::thread([] { interruptHandler(); }).detach();
  } catch (...) {
    return FALSE;
  }
  return TRUE;
}

}  // namespace

void PrepareStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  // The status line is redrawn with the terminal's erase-line sequence.
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(error, &mode)) SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool ReadStandardInput(std::string& bytes) {
  char buffer[65536];
  for (;;) {
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, stdin);
    bytes.append(buffer, got);
    if (got < sizeof buffer) return std::ferror(stdin) == 0;
  }
}

void WriteError(std::string_view utf8) {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(error, &mode)) {
    // A console shows text in its own code page; UTF-16 reaches it whole.
    const std::wstring wide = Wide(utf8);
    DWORD written = 0;
    WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  DWORD written = 0;
  WriteFile(error, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

bool ErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::filesystem::path PathFromUtf8(const std::string& utf8) { return std::filesystem::path(Wide(utf8)); }

void OnInterrupt(std::function<void()> first) {
  interruptHandler = std::move(first);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

// Windows has no small per-process limit on open sockets.
int FitConcurrency(int wanted) { return wanted; }

void ExitNow(int code) {
  std::fflush(nullptr);
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace rankora::cli

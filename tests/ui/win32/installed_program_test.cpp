// The program as a user starts it, from where an installer put it: it shows
// its window titled "Rankora" and ends cleanly when that window is closed.
// The path comes from packaging/windows/installer_test.sh, which installs the
// download first; run alone, the test has nothing to start.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

struct Found {
  DWORD process;
  HWND window = nullptr;
};

BOOL CALLBACK FindProgramWindow(HWND window, LPARAM data) {
  auto* found = reinterpret_cast<Found*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  if (process == found->process && IsWindowVisible(window) && std::wstring(title) == L"Rankora") {
    found->window = window;
    return FALSE;
  }
  return TRUE;
}

TEST(InstalledProgram, ShowsItsWindowAndEndsWhenItIsClosed) {
  const wchar_t* path = _wgetenv(L"RANKORA_INSTALLED_EXE");
  if (path == nullptr || *path == L'\0') GTEST_SKIP() << "RANKORA_INSTALLED_EXE is not set: nothing was installed";
  std::wstring commandLine = L"\"" + std::wstring(path) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(
      CreateProcessW(path, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      << GetLastError();
  // The window appears once start-up is done; the process is polled, as a
  // user would look, for at most half a minute.
  Found found{process.dwProcessId};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (found.window == nullptr && std::chrono::steady_clock::now() < deadline) {
    EnumWindows(FindProgramWindow, reinterpret_cast<LPARAM>(&found));
    if (found.window == nullptr && WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0) break;
  }
  ASSERT_NE(found.window, nullptr) << "no window titled Rankora";
  PostMessageW(found.window, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0U);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace

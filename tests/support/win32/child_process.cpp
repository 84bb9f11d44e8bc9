#include "child_process.h"

#include <windows.h>

#include <fstream>
#include <iterator>

namespace rankora::testing {

// Windows has no signals; a killed process ends with the status a shell
// gives one killed by SIGKILL.
constexpr int kKill = 9;

struct ChildProcess::Running {
  HANDLE process = nullptr;
};

namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

// One argument quoted as the C run-time's command-line parser reads it back.
std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

HANDLE Inheritable(const std::filesystem::path& path, bool write) {
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
  return CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &attributes, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& input)
    : running_(std::make_unique<Running>()) {
  wchar_t temporary[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temporary);
  folder_ = std::filesystem::path(temporary) /
            ("rankora-child-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) + "-" +
             std::to_string(reinterpret_cast<std::uintptr_t>(this)));
  std::filesystem::create_directories(folder_);
  std::ofstream(folder_ / "in", std::ios::binary) << input;
  const HANDLE in = Inheritable(folder_ / "in", false);
  const HANDLE out = Inheritable(folder_ / "out", true);
  const HANDLE err = Inheritable(folder_ / "err", true);
  std::wstring commandLine = Quoted(Wide(program));
  for (const std::string& argument : arguments) commandLine += L" " + Quoted(Wide(argument));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION information{};
  if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                     &information)) {
    CloseHandle(information.hThread);
    running_->process = information.hProcess;
  }
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
}

ChildProcess::~ChildProcess() {
  if (running_->process != nullptr) {
    if (!status_) {
      TerminateProcess(running_->process, 128 + kKill);
      WaitForSingleObject(running_->process, INFINITE);
    }
    CloseHandle(running_->process);
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds limit) {
  if (status_ || running_->process == nullptr) return status_;
  if (WaitForSingleObject(running_->process, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
    TerminateProcess(running_->process, 128 + kKill);
    WaitForSingleObject(running_->process, INFINITE);
    return std::nullopt;
  }
  DWORD code = 0;
  GetExitCodeProcess(running_->process, &code);
  status_ = static_cast<int>(code);
  return status_;
}

void ChildProcess::Signal(int signal) {
  if (signal == kKill && running_->process != nullptr && !status_) {
    TerminateProcess(running_->process, 128 + kKill);
  }
}

std::string ChildProcess::Output() const { return ReadWholeFile(folder_ / "out"); }
std::string ChildProcess::Errors() const { return ReadWholeFile(folder_ / "err"); }

}  // namespace rankora::testing

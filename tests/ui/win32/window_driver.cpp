#include "window_driver.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
// clang-format on

#include "text/gbk.h"
#include "ui/win32/layout.h"
#include "ui/win32/wide_text.h"

namespace rankora::ui::win32::testing {
namespace {

constexpr DWORD kPatience = 60000;  // ms
constexpr DWORD kScanInterval = 5;  // ms between two looks for a dialog

std::string Utf8(const std::wstring& wide) { return text::ToUtf8(Narrow(wide)); }

std::wstring WindowTextW(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

bool IsDialogOfThisProcess(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process == GetCurrentProcessId() && IsWindowVisible(window) && ClassOf(window) == L"#32770";
}

struct Search {
  const DialogAnswerer* answerer;
  HWND found = nullptr;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM state) {
  auto* search = reinterpret_cast<Search*>(state);
  if (!IsDialogOfThisProcess(window) || !search->answerer->Matches(window)) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

void StartLikeTheProgram() {
  static const bool started = [] {
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
    return InitCommonControlsEx(&controls) != FALSE;
  }();
  static_cast<void>(started);
}

HWND ControlNamed(const MainWindow& window, const char* utf8Name) { return window.Control(ControlIdOf(utf8Name)); }

std::string TextOf(HWND window) { return Utf8(WindowTextW(window)); }

void Click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

DialogAnswerer::DialogAnswerer(std::function<bool(HWND)> match, std::function<void(HWND)> answer)
    : match_(std::move(match)),
      answer_(std::move(answer)),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      thread_([this] { Look(); }) {}

DialogAnswerer::~DialogAnswerer() {
  SetEvent(stop_);
  thread_.join();
  CloseHandle(stop_);
  CloseHandle(done_);
}

void DialogAnswerer::Look() {
  const ULONGLONG deadline = GetTickCount64() + kPatience;
  while (GetTickCount64() < deadline) {
    Search search{this};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) {
      shown_.title = Utf8(WindowTextW(search.found));
      shown_.owner = GetWindow(search.found, GW_OWNER);
      shown_.topMost = (GetWindowLongPtrW(search.found, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
      for (HWND child = GetWindow(search.found, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        const std::wstring name = ClassOf(child);
        if (_wcsicmp(name.c_str(), L"Button") == 0 && IsWindowVisible(child)) ++shown_.buttons;
        if (_wcsicmp(name.c_str(), L"Static") == 0 && GetWindowTextLengthW(child) > 0) {
          shown_.texts.push_back(Utf8(WindowTextW(child)));
        }
      }
      answer_(search.found);
      answered_ = true;
      SetEvent(done_);
      return;
    }
    if (WaitForSingleObject(stop_, kScanInterval) == WAIT_OBJECT_0) break;
  }
  SetEvent(done_);
}

bool DialogAnswerer::Wait() {
  HandleMessagesUntil([this] { return WaitForSingleObject(done_, 0) == WAIT_OBJECT_0; });
  return answered_;
}

std::function<bool(HWND)> TitledBox(std::string utf8Title) {
  return [title = std::move(utf8Title)](HWND window) { return Utf8(WindowTextW(window)) == title; };
}

std::function<bool(HWND)> OwnedBy(HWND owner) {
  return [owner](HWND window) { return GetWindow(window, GW_OWNER) == owner; };
}

std::function<void(HWND)> Press(int buttonId) {
  return [buttonId](HWND dialog) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, buttonId)));
  };
}

std::function<void(HWND)> ChooseFile(std::wstring path, std::wstring* offered) {
  return [path = std::move(path), offered](HWND dialog) {
    // The name box of the file dialogs: a combo box on newer systems, an
    // edit box on older ones.
    constexpr int kNameCombo = 0x47c;
    constexpr int kNameEdit = 0x480;
    HWND name = GetDlgItem(dialog, kNameCombo);
    if (name == nullptr) name = GetDlgItem(dialog, kNameEdit);
    if (offered != nullptr) *offered = WindowTextW(name);
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    Press(IDOK)(dialog);
  };
}

bool HandleMessagesUntil(const std::function<bool()>& done) {
  const ULONGLONG deadline = GetTickCount64() + kPatience;
  while (!done()) {
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kScanInterval, QS_ALLINPUT);
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));
        break;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return true;
}

}  // namespace rankora::ui::win32::testing

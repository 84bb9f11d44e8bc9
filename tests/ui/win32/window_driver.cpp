#include "window_driver.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
// clang-format on

#include <chrono>
#include <filesystem>
#include <string_view>
#include <utility>

#include "app/settings.h"
#include "text/gbk.h"
#include "ui/win32/layout.h"
#include "ui/win32/registry_store.h"
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
    // As on a machine where Rankora never ran: settings an earlier test
    // program left would make the window's runs long ones.
    ForgetWin32UserState();
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

bool HandleMessagesUntil(const std::function<bool()>& done) { return HandleMessagesUntil(done, kPatience); }

bool HandleMessagesUntil(const std::function<bool()>& done, unsigned long patience) {
  const ULONGLONG deadline = GetTickCount64() + patience;
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

namespace {

contract::ShownBox Record(const Shown& shown) {
  std::string text;
  for (const std::string& line : shown.texts) text += (text.empty() ? "" : "\n") + line;
  return {shown.title, text, shown.buttons, shown.owner != nullptr};
}

class Win32BoxAnswer final : public contract::BoxAnswer {
 public:
  explicit Win32BoxAnswer(std::function<void()> whileShown, int button = IDOK)
      : answerer_(TitledBox("信息："), [whileShown = std::move(whileShown), button](HWND box) {
          if (whileShown) whileShown();
          Press(button)(box);
        }) {}
  bool Wait() override { return answerer_.Wait(); }
  contract::ShownBox What() const override { return Record(answerer_.What()); }

 private:
  DialogAnswerer answerer_;
};

class Win32WindowDriver final : public contract::WindowDriver {
 public:
  explicit Win32WindowDriver(app::Program::Lookup lookup) : window_(std::move(lookup)) {}

  app::Window& Window() override { return window_; }
  app::Program& Program() override { return window_.GetProgram(); }
  bool AbandonedWork() override { return window_.AbandonedWork(); }
  void Show() override { window_.Show(SW_SHOWNORMAL); }
  bool IsVisible() override { return IsWindowVisible(window_.Handle()) != FALSE; }
  void SetDomainText(const std::u16string& text) override {
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    SetWindowTextW(Named("编辑框1"), reinterpret_cast<const wchar_t*>(text.c_str()));
  }
  void Click(const char* name) override { testing::Click(Named(name)); }
  void ChooseMenu(const char* name) override {
    const int command = CommandNamed(name);
    ASSERT_NE(command, 0) << name;
    // What the window gets when the user picks the item. Quitting ends the
    // thread's loop, which is run here until it does.
    if (command == win32::kQuitCommand) {
      PostMessageW(window_.Handle(), WM_COMMAND, MAKEWPARAM(command, 0), 0);
      window_.RunMessageLoop();
      return;
    }
    SendMessageW(window_.Handle(), WM_COMMAND, MAKEWPARAM(command, 0), 0);
  }
  std::vector<std::string> MenuTitles() override {
    std::vector<std::string> titles;
    const HMENU bar = GetMenu(window_.Handle());
    for (int item = 0; bar != nullptr && item < GetMenuItemCount(bar); ++item) {
      wchar_t title[64] = L"";
      GetMenuStringW(bar, static_cast<UINT>(item), title, 64, MF_BYPOSITION);
      titles.push_back(text::ToUtf8(win32::Narrow(title)));
    }
    return titles;
  }
  std::string Caption(const char* name) override { return TextOf(Named(name)); }
  bool IsEnabled(const char* name) override { return IsWindowEnabled(Named(name)) != FALSE; }
  void ClickHeader(int column) override {
    // What the list tells its parent when a header is clicked.
    NMLISTVIEW click{};
    click.hdr.hwndFrom = List();
    click.hdr.idFrom = static_cast<UINT_PTR>(kResultListId);
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    SendMessageW(window_.Handle(), WM_NOTIFY, kResultListId, reinterpret_cast<LPARAM>(&click));
  }
  std::string HeaderText(int column) override {
    wchar_t text[64] = {};
    LVCOLUMNW entry{};
    entry.mask = LVCF_TEXT;
    entry.pszText = text;
    entry.cchTextMax = 64;
    if (SendMessageW(List(), LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&entry)) == 0) return {};
    return Utf8(text);
  }
  int ColumnWidth(int column) override { return static_cast<int>(SendMessageW(List(), LVM_GETCOLUMNWIDTH, column, 0)); }
  std::string ShownCell(int row, int column) override {
    wchar_t text[1024] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 1024;
    SendMessageW(List(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return Utf8(text);
  }
  std::unique_ptr<contract::BoxAnswer> AnswerMessage(std::function<void()> whileShown) override {
    return std::make_unique<Win32BoxAnswer>(std::move(whileShown));
  }

  contract::SaveSeen SaveThroughTheWindow(const contract::SaveAnswer& answer) override {
    contract::SaveSeen seen;
    const HWND window = window_.Handle();
    if (answer.cancel) {
      DialogAnswerer dialog(OwnedBy(window), Press(IDCANCEL));
      Click("按钮2");
      EXPECT_TRUE(dialog.Wait());
      return seen;
    }
    std::wstring offered;
    DialogAnswerer dialog(OwnedBy(window), ChooseFile(answer.file.wstring(), &offered));
    // The question whether to replace the file belongs to the dialog.
    std::unique_ptr<DialogAnswerer> replace;
    if (answer.replace) {
      replace = std::make_unique<DialogAnswerer>(
          [window](HWND box) {
            const HWND owner = GetWindow(box, GW_OWNER);
            return owner != nullptr && owner != window && GetWindow(owner, GW_OWNER) == window;
          },
          Press(IDYES));
    }
    // The confirmation comes from the save's own thread.
    bool windowUsable = false;
    DialogAnswerer confirmation(TitledBox("信息："), [&windowUsable, window](HWND box) {
      windowUsable = IsWindowEnabled(window) != FALSE;
      Press(IDOK)(box);
    });
    Click("按钮2");
    EXPECT_TRUE(dialog.Wait());
    if (replace) seen.askedToReplace = replace->Wait();
    seen.confirmed = confirmation.Wait();
    seen.confirmation = Record(confirmation.What());
    seen.windowUsable = windowUsable;
    seen.offered = Utf8(offered);
    window_.GetProgram().WaitForSaves();
    return seen;
  }

  bool CloseAsTheUserDoes() override {
    // As the close button does.
    PostMessageW(window_.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    return window_.RunMessageLoop() == 0 && window_.Closed();
  }

  contract::SettingsSeen EnterSettings(const contract::SettingsInput& input) override {
    contract::SettingsSeen seen;
    std::atomic<HWND> shown{nullptr};
    DialogAnswerer dialog(TitledBox("设置"), [&input, &shown](HWND settings) {
      shown = settings;
      SendDlgItemMessageW(settings, win32::kSettingsSourceId, CB_SETCURSEL, static_cast<WPARAM>(input.source), 0);
      SetDlgItemTextW(settings, win32::kSettingsKeyId, win32::WideFromUtf8(input.key).c_str());
      SetDlgItemTextW(settings, win32::kSettingsCookieId, win32::WideFromUtf8(input.cookie).c_str());
      SetDlgItemTextW(settings, win32::kSettingsProxiesId, win32::WithCrLf(win32::WideFromUtf8(input.proxies)).c_str());
      SetDlgItemInt(settings, win32::kSettingsPerMinuteId, static_cast<UINT>(input.perMinute), FALSE);
      SetDlgItemInt(settings, win32::kSettingsInFlightId, static_cast<UINT>(input.inFlight), FALSE);
      SetDlgItemInt(settings, win32::kSettingsCoolDownId, static_cast<UINT>(input.coolDownMinutes), FALSE);
      Press(IDOK)(settings);
    });
    // A refusal comes as a box over the dialog; it is answered and the
    // dialog then cancelled.
    std::atomic<bool> refused{false};
    DialogAnswerer refusal(TitledBox("信息："), [&refused, &shown](HWND box) {
      refused = true;
      Press(IDOK)(box);
      PostMessageW(shown.load(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    const app::Settings before = window_.GetProgram().CurrentSettings();
    ChooseMenu("设置");
    EXPECT_TRUE(dialog.Wait());
    if (refused) seen.problem = Record(refusal.What()).text;
    seen.accepted = seen.problem.empty() && !(window_.GetProgram().CurrentSettings() == before);
    return seen;
  }
  void ChooseMenuWithFile(const char* name, const std::filesystem::path& file) override {
    DialogAnswerer dialog(OwnedBy(window_.Handle()), testing::ChooseFile(file.wstring()));
    ChooseMenu(name);
    EXPECT_TRUE(dialog.Wait());
  }
  std::unique_ptr<contract::BoxAnswer> AnswerQuestion(bool yes) override {
    return std::make_unique<Win32BoxAnswer>(std::function<void()>(), yes ? IDYES : IDNO);
  }
  bool IsMenuEnabled(const char* name) override {
    const int command = CommandNamed(name);
    EXPECT_NE(command, 0) << name;
    const UINT state = GetMenuState(GetMenu(window_.Handle()), static_cast<UINT>(command), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) == 0;
  }
  std::string StatusText() override { return TextOf(Named("状态栏")); }
  std::string TitleText() override { return TextOf(window_.Handle()); }
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds patience) override {
    return HandleMessagesUntil(done, static_cast<unsigned long>(patience.count()));
  }

 private:
  static int CommandNamed(std::string_view name) {
    const std::pair<std::string_view, int> commands[] = {
        {"退出", win32::kQuitCommand},         {"关于", win32::kAboutCommand},    {"导入域名", win32::kImportCommand},
        {"导出CSV", win32::kExportCsvCommand}, {"设置", win32::kSettingsCommand}, {"停止", win32::kStopCommand},
        {"重查失败的", win32::kRetryCommand},
    };
    for (const auto& [named, command] : commands) {
      if (named == name) return command;
    }
    return 0;
  }
  HWND Named(const char* name) { return ControlNamed(window_, name); }
  HWND List() { return Named("超级列表框1"); }

  MainWindow window_;
};

std::unique_ptr<contract::WindowDriver> MakeWin32Driver(app::Program::Lookup lookup) {
  StartLikeTheProgram();
  return std::make_unique<Win32WindowDriver>(std::move(lookup));
}

}  // namespace

// The user's settings in the registry and the saved run in the data folder
// removed.
void ForgetWin32UserState() {
  RegDeleteTreeW(HKEY_CURRENT_USER, RegistryStore::KeyPath());
  wchar_t local[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(local) / L"Rankora", ignored);
}

const contract::WindowKind kWin32Window{"win32", &MakeWin32Driver, &ForgetWin32UserState};

}  // namespace rankora::ui::win32::testing

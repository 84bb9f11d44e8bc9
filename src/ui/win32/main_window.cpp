#include "ui/win32/main_window.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
// clang-format on

#include <algorithm>
#include <deque>
#include <mutex>
#include <thread>

#include "app/texts.h"
#include "app/win32/message_queue.h"
#include "text/gbk.h"
#include "ui/win32/file_choice.h"
#include "ui/win32/layout.h"
#include "ui/win32/resources.h"
#include "ui/win32/settings_dialog.h"
#include "ui/win32/wide_text.h"

namespace rankora::ui::win32 {
namespace {

constexpr wchar_t kClassName[] = L"RankoraMainWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = 0;
// Sent to the window itself: hand the held input on.
constexpr UINT kReleaseInput = WM_APP + 1;
// Posted to the window by any thread: run the next task handed over.
constexpr UINT kRunTask = WM_APP + 2;

// Entry points newer than the oldest Windows the program runs on, taken
// when the system has them.
template <typename Function>
Function User32Entry(const char* name) {
  const FARPROC entry = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(entry));
}

unsigned SystemDpi() {
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<unsigned>(dpi) : 96u;
}

unsigned DpiOf(HWND window) {
  static const auto getDpiForWindow = User32Entry<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  if (getDpiForWindow != nullptr) {
    if (const UINT dpi = getDpiForWindow(window); dpi != 0) return dpi;
  }
  return SystemDpi();
}

// The outer size of a window with a menu bar whose client area is the
// layout's at `dpi`.
SIZE OuterSize(unsigned dpi) {
  RECT rect{0, 0, Scale(kClientWidth, dpi), Scale(kWindowClientHeight, dpi)};
  static const auto adjustForDpi =
      User32Entry<BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
  if (adjustForDpi == nullptr || !adjustForDpi(&rect, kStyle, TRUE, kExStyle, dpi)) {
    AdjustWindowRectEx(&rect, kStyle, TRUE, kExStyle);
  }
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// The menu bar, in Chinese; the window destroys it with itself.
HMENU MakeMenuBar() {
  using text::Gbk;
  const HMENU bar = CreateMenu();
  const HMENU file = CreatePopupMenu();
  const HMENU run = CreatePopupMenu();
  const HMENU help = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, kImportCommand, Wide(Gbk("导入域名(&I)…")).c_str());
  AppendMenuW(file, MF_STRING, kExportCsvCommand, Wide(Gbk("导出 CSV(&C)…")).c_str());
  // No workbook export here: batch::CanWriteWorkbook() is false on Windows.
  AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(file, MF_STRING, kQuitCommand, Wide(Gbk("退出(&X)")).c_str());
  AppendMenuW(run, MF_STRING, kSettingsCommand, Wide(Gbk("设置(&S)…")).c_str());
  // Offered only while a long run goes; see ShowRunning.
  AppendMenuW(run, MF_STRING | MF_GRAYED, kStopCommand, Wide(Gbk("停止(&T)\tEsc")).c_str());
  AppendMenuW(run, MF_STRING, kRetryCommand, Wide(Gbk("重查失败的(&R)")).c_str());
  AppendMenuW(help, MF_STRING, kAboutCommand, Wide(Gbk("关于 Rankora(&A)")).c_str());
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), Wide(Gbk("文件(&F)")).c_str());
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(run), Wide(Gbk("查询(&Q)")).c_str());
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), Wide(Gbk("帮助(&H)")).c_str());
  return bar;
}

HICON LoadIconSized(HINSTANCE instance, int size) {
  return static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR | LR_SHARED));
}

// No exception leaves it: the 32-bit build cannot unwind through the
// platform's frames that call it, and would end the program. A message whose
// handling failed is answered as handled.
LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr || self->Handle() != window) {
    // Before CreateWindowExW has given the window its handle.
    return DefWindowProcW(window, message, wParam, lParam);
  }
  try {
    return self->Receive(message, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

void RegisterWindowClass(HINSTANCE instance) {
  static const bool registered = [instance] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconSized(instance, GetSystemMetrics(SM_CXICON));
    windowClass.hIconSm = LoadIconSized(instance, GetSystemMetrics(SM_CXSMICON));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = kClassName;
    return RegisterClassExW(&windowClass) != 0;
  }();
  static_cast<void>(registered);
}

// Keyboard and mouse input meant for the controls: it waits while work is
// out. The frame's own input (the caption, the close button, the system
// menu and its keys) goes on, so the window can be moved and closed.
bool IsHeldInput(UINT message) {
  if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) return true;
  switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_DEADCHAR:
    case WM_UNICHAR:
    case WM_IME_CHAR:
      return true;
    default:
      return false;
  }
}

struct Creation {
  int id;
  const wchar_t* windowClass;
  DWORD style;
  DWORD exStyle;
};

// In the order Tab moves through them: top to bottom, left to right.
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
const Creation kCreations[] = {
    {kDomainBoxId, L"EDIT", kChild | WS_TABSTOP | WS_VSCROLL | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
     WS_EX_CLIENTEDGE},
    {kCreditLabelId, L"STATIC", kChild | SS_LEFT | SS_NOPREFIX, 0},
    {kMakerButtonId, L"BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0},
    {kResultListId, WC_LISTVIEWW, kChild | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SORTDESCENDING,
     WS_EX_CLIENTEDGE},
    {kStartButtonId, L"BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0},
    {kSaveButtonId, L"BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0},
    {kSortButtonId, L"BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0},
    {kHintLabelId, L"STATIC", kChild | SS_LEFT | SS_NOPREFIX, 0},
    {kStatusLineId, L"STATIC", kChild | SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0},
};

const std::string* CaptionOf(int id) {
  const app::Texts& texts = app::GetTexts();
  switch (id) {
    case kDomainBoxId:
      return &texts.defaultDomains;
    case kCreditLabelId:
      return &texts.creditLine;
    case kMakerButtonId:
      return &texts.makerBrand;
    case kStartButtonId:
      return &texts.startCaption;
    case kSaveButtonId:
      return &texts.saveCaption;
    case kSortButtonId:
      return &texts.sortCaption;
    case kHintLabelId:
      return &texts.hint;
    default:
      return nullptr;
  }
}

BOOL CALLBACK CloseBox(HWND box, LPARAM) noexcept {
  PostMessageW(box, WM_CLOSE, 0, 0);
  return TRUE;
}

}  // namespace

// Message boxes of other threads: they are shown while the window is open,
// and closed when it closes. Tasks for the window thread wait here in order
// until the window runs them; those of a closed window are dropped.
struct MainWindow::MessageChannel {
  std::mutex mutex;
  bool open = true;
  std::vector<DWORD> showing;  // the threads whose box is up
  HWND window = nullptr;
  std::deque<std::function<void()>> tasks;
  bool wakePosted = false;  // a kRunTask is on its way

  void Close() {
    std::deque<std::function<void()>> dropped;
    const std::lock_guard lock(mutex);
    open = false;
    dropped.swap(tasks);
    for (const DWORD thread : showing) {
      EnumThreadWindows(thread, CloseBox, 0);
    }
  }
};

MainWindow::MainWindow(app::Program::Lookup lookup) : messages_(std::make_shared<MessageChannel>()) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  RegisterWindowClass(instance);
  // Made on the primary monitor, so that it takes that monitor's DPI before
  // it is sized and centred there.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
  window_ = CreateWindowExW(kExStyle, kClassName, L"Rankora", kStyle, monitor.rcWork.left, monitor.rcWork.top, 0, 0,
                            nullptr, MakeMenuBar(), instance, this);
  if (window_ == nullptr) return;
  messages_->window = window_;
  dpi_ = DpiOf(window_);
  const SIZE outer = OuterSize(dpi_);
  const RECT& work = monitor.rcWork;
  SetWindowPos(window_, nullptr, work.left + (work.right - work.left - outer.cx) / 2,
               work.top + (work.bottom - work.top - outer.cy) / 2, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  CreateControls();
  ApplyDpi(DpiOf(window_));
  program_ = std::make_unique<app::Program>(*this, std::move(lookup));
}

MainWindow::~MainWindow() {
  messages_->Close();
  if (window_ != nullptr) {
    // No message of the window's reaches this object once it is going.
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

void MainWindow::CreateControls() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  for (const Creation& creation : kCreations) {
    const std::string* caption = CaptionOf(creation.id);
    const std::wstring text = caption == nullptr ? std::wstring() : Wide(*caption);
    CreateWindowExW(creation.exStyle, creation.windowClass, text.c_str(), creation.style, 0, 0, 0, 0, window_,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(creation.id)), instance, nullptr);
  }
  const HWND edit = Control(kDomainBoxId);
  // A pasted list may be long; the box takes as much as memory allows.
  SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);

  const HWND list = Control(kResultListId);
  SendMessageW(list, LVM_SETBKCOLOR, 0, RGB(255, 255, 255));
  SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, RGB(255, 255, 255));
  SendMessageW(list, LVM_SETTEXTCOLOR, 0, RGB(0, 0, 0));
  startButton_.Attach(Control(kStartButtonId));
  domainBox_.Attach(edit);
  resultList_.Attach(list);
  saveDialog_.Attach(window_);
  const app::Texts& texts = app::GetTexts();
  resultList_.SetColumns({texts.domainHeader, texts.weightHeader});
}

void MainWindow::ApplyDpi(unsigned dpi) {
  dpi_ = dpi;
  // The default GUI font is made for the system's DPI; on a monitor of
  // another DPI the same face is made at that monitor's size.
  HFONT__* font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  GdiObject<HFONT__*> scaled;
  if (const unsigned systemDpi = SystemDpi(); dpi != systemDpi) {
    LOGFONTW face{};
    GetObjectW(font, sizeof face, &face);
    face.lfHeight = MulDiv(face.lfHeight, static_cast<int>(dpi), static_cast<int>(systemDpi));
    scaled = GdiObject<HFONT__*>(CreateFontIndirectW(&face));
    if (scaled) font = scaled.Get();
  }
  SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  for (const Placement& placement : Placements()) {
    const HWND control = Control(placement.id);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SetWindowPos(control, nullptr, Scale(placement.left, dpi), Scale(placement.top, dpi), Scale(placement.width, dpi),
                 Scale(placement.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
  }
  resultList_.ApplyDpi(dpi);
  // The font the controls used until now goes once none uses it.
  font_ = font;
  scaledFont_ = std::move(scaled);
  // The caption's and the task bar's icons, drawn for this DPI's sizes
  // rather than stretched from the system DPI's.
  const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE));
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(LoadIconSized(instance, Scale(32, dpi))));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(LoadIconSized(instance, Scale(16, dpi))));
  InvalidateRect(window_, nullptr, TRUE);
}

HWND MainWindow::Control(int id) const { return GetDlgItem(window_, id); }

void MainWindow::Show(int showCommand) {
  ShowWindow(window_, showCommand);
  UpdateWindow(window_);
}

int MainWindow::RunMessageLoop() {
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (HandleStopKey(message)) continue;
    // Tab and the arrow keys move between the controls, as in a dialog.
    if (IsDialogMessageW(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

void MainWindow::ShowMessage(const std::string& text) {
  MessageBoxW(nullptr, Wide(text).c_str(), Wide(app::GetTexts().messageTitle).c_str(), MB_OK | MB_TASKMODAL);
}

void MainWindow::ProcessPendingMessages() { app::ProcessThreadMessages(); }

std::function<void(const std::string&)> MainWindow::WorkerMessages() {
  return [channel = messages_](const std::string& text) {
    {
      const std::lock_guard lock(channel->mutex);
      if (!channel->open) return;
      channel->showing.push_back(GetCurrentThreadId());
    }
    // The box belongs to the calling thread: task-modal there, it leaves the
    // main window usable.
    MessageBoxW(nullptr, Wide(text).c_str(), Wide(app::GetTexts().messageTitle).c_str(), MB_OK | MB_TASKMODAL);
    const std::lock_guard lock(channel->mutex);
    const auto mine = std::find(channel->showing.begin(), channel->showing.end(), GetCurrentThreadId());
    if (mine != channel->showing.end()) channel->showing.erase(mine);
  };
}

app::Places MainWindow::UserPlaces() const {
  // %LOCALAPPDATA%\Rankora: the user's own, not roaming with the profile.
  std::wstring local(MAX_PATH, L'\0');
  DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", local.data(), static_cast<DWORD>(local.size()));
  if (length >= local.size()) {
    local.resize(length);
    length = GetEnvironmentVariableW(L"LOCALAPPDATA", local.data(), static_cast<DWORD>(local.size()));
  }
  local.resize(length < local.size() ? length : 0);
  return {std::filesystem::path(local) / L"Rankora", "HKEY_CURRENT_USER\\Software\\Rankora"};
}

void MainWindow::OpenAddress(const std::string& address) {
  ShellExecuteW(nullptr, L"open", Wide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::optional<std::string> MainWindow::Await(std::function<std::string()> work) {
  // Shared with the worker, which may outlive the wait when the window
  // closes first.
  struct Outcome {
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::string result;
    Outcome() = default;
    Outcome(const Outcome&) = delete;
    Outcome& operator=(const Outcome&) = delete;
    ~Outcome() { CloseHandle(done); }
  };
  auto outcome = std::make_shared<Outcome>();
  if (outcome->done == nullptr || closed_) return closed_ ? std::nullopt : std::optional<std::string>(std::string());
  std::thread([outcome, work = std::move(work)] {
    try {
      outcome->result = work();
    } catch (...) {
      outcome->result.clear();
    }
    SetEvent(outcome->done);
  }).detach();
  ++awaiting_;
  while (!closed_) {
    const DWORD woken = MsgWaitForMultipleObjectsEx(1, &outcome->done, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken == WAIT_OBJECT_0) break;
    HandleWaitingMessages();
  }
  --awaiting_;
  if (closed_) {
    abandoned_ = true;
    return std::nullopt;
  }
  return std::move(outcome->result);
}

void MainWindow::HandleWaitingMessages() {
  MSG message{};
  while (!closed_ && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // For the thread's own loop, which ends the program.
      PostQuitMessage(static_cast<int>(message.wParam));
      closed_ = true;
      return;
    }
    if (HandleStopKey(message)) continue;
    if (IsHeldInput(message.message)) {
      held_.push_back(std::make_unique<MSG>(message));
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void MainWindow::ReleaseHeldInput() {
  // Posted again in the order it came; the thread's loop delivers it as if
  // it had just arrived.
  std::vector<std::unique_ptr<MSG>> held = std::move(held_);
  held_.clear();
  for (const auto& message : held) PostMessageW(message->hwnd, message->message, message->wParam, message->lParam);
}

bool MainWindow::HandleStopKey(const MSG& message) {
  if (message.message != WM_KEYDOWN || message.wParam != VK_ESCAPE || !program_ || !program_->Running()) return false;
  if (message.hwnd != window_ && !IsChild(window_, message.hwnd)) return false;
  // Only where 停止 is offered: a long run, not the seed's.
  if ((GetMenuState(GetMenu(window_), kStopCommand, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) != 0) return false;
  RunHandler(&app::Program::Stop);
  return true;
}

void MainWindow::SetStatus(const std::string& text) { SetWindowTextW(Control(kStatusLineId), Wide(text).c_str()); }

void MainWindow::SetTitle(const std::string& text) { SetWindowTextW(window_, Wide(text).c_str()); }

std::function<void(std::function<void()>)> MainWindow::WindowThread() {
  return [channel = messages_](std::function<void()> task) {
    const std::lock_guard lock(channel->mutex);
    if (!channel->open || !task) return;
    channel->tasks.push_back(std::move(task));
    if (!channel->wakePosted) {
      channel->wakePosted = PostMessageW(channel->window, kRunTask, 0, 0) != FALSE;
    }
  };
}

void MainWindow::RunNextTask() {
  // One task a message: paints and the frame's input get their turn between
  // tasks, and a task that opens a box lets the next ones run in its loop,
  // still in the order handed over.
  std::function<void()> task;
  {
    const std::lock_guard lock(messages_->mutex);
    messages_->wakePosted = false;
    if (!messages_->open || messages_->tasks.empty()) return;
    task = std::move(messages_->tasks.front());
    messages_->tasks.pop_front();
    if (!messages_->tasks.empty()) messages_->wakePosted = PostMessageW(window_, kRunTask, 0, 0) != FALSE;
  }
  task();
}

void MainWindow::ShowRunning(bool running) {
  const HMENU bar = GetMenu(window_);
  EnableMenuItem(bar, kStopCommand, MF_BYCOMMAND | (running ? MF_ENABLED : MF_GRAYED));
  for (const int command : {kImportCommand, kSettingsCommand, kRetryCommand}) {
    EnableMenuItem(bar, static_cast<UINT>(command), MF_BYCOMMAND | (running ? MF_GRAYED : MF_ENABLED));
  }
  DrawMenuBar(window_);
}

bool MainWindow::Ask(const std::string& question) {
  return MessageBoxW(nullptr, Wide(question).c_str(), Wide(app::GetTexts().messageTitle).c_str(),
                     MB_YESNO | MB_TASKMODAL) == IDYES;
}

std::optional<std::filesystem::path> MainWindow::ChooseFile(FileChoice choice) {
  switch (choice) {
    case FileChoice::kImport:
      return ChooseFileName(window_, {{{"域名列表 (*.txt;*.csv)", "*.txt;*.csv"}, {"所有文件", "*.*"}}, false, {}, {}});
    case FileChoice::kExportCsv:
      return ChooseFileName(window_, {{{"CSV 文件 (*.csv)", "*.csv"}}, true, L"rankora.csv", L"csv"});
    case FileChoice::kExportWorkbook:
      // Not offered on Windows (batch::CanWriteWorkbook()).
      break;
  }
  return std::nullopt;
}

bool MainWindow::EditSettings(app::Settings& settings) { return EditSettingsModally(window_, settings); }

void MainWindow::RunHandler(void (app::Program::*handler)()) {
  // A handler that fails ends as any other does, before its failure goes on.
  const auto finish = [this] {
    --handlersRunning_;
    // Input held during the handler's work waits until the handler is over.
    if (handlersRunning_ == 0 && !held_.empty() && !closed_) PostMessageW(window_, kReleaseInput, 0, 0);
  };
  ++handlersRunning_;
  try {
    ((*program_).*handler)();
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

std::intptr_t MainWindow::Receive(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  switch (message) {
    case WM_COMMAND: {
      if (lParam == 0 && HIWORD(wParam) == 0 && program_) {
        // A menu's command.
        if (LOWORD(wParam) == kQuitCommand) {
          SendMessageW(window_, WM_CLOSE, 0, 0);
          return 0;
        }
        switch (LOWORD(wParam)) {
          case kAboutCommand:
            RunHandler(&app::Program::ShowAbout);
            return 0;
          case kImportCommand:
            RunHandler(&app::Program::ImportDomains);
            return 0;
          case kExportCsvCommand:
            RunHandler(&app::Program::ExportCsv);
            return 0;
          case kSettingsCommand:
            RunHandler(&app::Program::EditSettings);
            return 0;
          case kStopCommand:
            RunHandler(&app::Program::Stop);
            return 0;
          case kRetryCommand:
            RunHandler(&app::Program::RetryFailed);
            return 0;
          default:
            break;
        }
        break;
      }
      if (HIWORD(wParam) != BN_CLICKED || lParam == 0 || !program_) break;
      switch (LOWORD(wParam)) {
        case kStartButtonId:
          RunHandler(&app::Program::RunBatch);
          return 0;
        case kSaveButtonId:
          RunHandler(&app::Program::SaveResults);
          return 0;
        case kSortButtonId:
          RunHandler(&app::Program::SortByWeight);
          return 0;
        case kMakerButtonId:
          RunHandler(&app::Program::OpenMakerPage);
          return 0;
        default:
          break;
      }
      break;
    }
    case WM_NOTIFY: {
      // A click on the list's header: a long run's list sorts by that
      // column (the seed's list keeps its rows).
      const auto* header = reinterpret_cast<const NMLISTVIEW*>(lParam);
      if (header != nullptr && header->hdr.code == static_cast<UINT>(LVN_COLUMNCLICK) && program_ &&
          static_cast<int>(header->hdr.idFrom) == kResultListId) {
        program_->SortByHeader(header->iSubItem);
        return 0;
      }
      break;
    }
    case WM_GETFONT:
      return reinterpret_cast<std::intptr_t>(font_);
    case kReleaseInput:
      if (handlersRunning_ == 0 && awaiting_ == 0) ReleaseHeldInput();
      return 0;
    case kRunTask:
      RunNextTask();
      return 0;
    case WM_CTLCOLOREDIT: {
      // Black on white, whatever the colour scheme.
      const auto context = reinterpret_cast<HDC>(wParam);
      SetTextColor(context, RGB(0, 0, 0));
      SetBkColor(context, RGB(255, 255, 255));
      return reinterpret_cast<std::intptr_t>(GetStockObject(WHITE_BRUSH));
    }
    case WM_DPICHANGED: {
      // Moved to a monitor of another DPI: the same layout at the new scale,
      // where the system proposes, with the client area the layout needs.
      const auto* proposed = reinterpret_cast<const RECT*>(lParam);
      const unsigned dpi = HIWORD(wParam);
      const SIZE outer = OuterSize(dpi);
      SetWindowPos(window_, nullptr, proposed->left, proposed->top, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
      ApplyDpi(dpi);
      return 0;
    }
    case WM_CLOSE:
      // Whatever the list holds, closing ends the program without asking; a
      // run under way ends with it. The window goes out of sight now and is
      // destroyed when the program ends.
      if (!closed_) {
        closed_ = true;
        ShowWindow(window_, SW_HIDE);
        messages_->Close();
        PostQuitMessage(0);
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace rankora::ui::win32

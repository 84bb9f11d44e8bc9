// Driving the Win32 main window from a test as a user would: the program's
// start-up services, its controls by name, clicks, and answers to the modal
// boxes and dialogs it shows, given from a thread of their own while the
// window's thread is held by the box.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ui/win32/main_window.h"
#include "window_contract.h"

namespace rankora::ui::win32::testing {

// OLE and the common controls, as the program sets them up at start, on a
// machine where Rankora never ran (see ForgetWin32UserState); once per test
// program.
void StartLikeTheProgram();

// Removes the user's settings (HKEY_CURRENT_USER\Software\Rankora) and
// saved run (%LOCALAPPDATA%\Rankora).
void ForgetWin32UserState();

// The window's control called `utf8Name` (按钮1, 编辑框1, ...).
HWND ControlNamed(const MainWindow& window, const char* utf8Name);

// The text of a window, as UTF-8.
std::string TextOf(HWND window);

// A click on a button, as a user's: the click handler has run when it returns.
void Click(HWND button);

// What a dialog window showed when it was answered.
struct Shown {
  std::string title;               // UTF-8
  std::vector<std::string> texts;  // the texts of its static controls, UTF-8
  int buttons = 0;
  HWND owner = nullptr;
  bool topMost = false;
};

// Looks, from a thread of its own, for the first dialog window of this
// process (the class of message boxes and common dialogs) that `match`
// accepts and that it has not answered yet, and runs `answer` on it there.
// Gives up after a minute; the destructor stops it and waits for it.
class DialogAnswerer {
 public:
  DialogAnswerer(std::function<bool(HWND)> match, std::function<void(HWND)> answer);
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;
  ~DialogAnswerer();

  // Waits until a dialog was answered or the search gave up; true for the
  // first. Handles the calling thread's messages meanwhile.
  bool Wait();
  const Shown& What() const { return shown_; }
  bool Matches(HWND window) const { return match_(window); }

 private:
  void Look();

  std::function<bool(HWND)> match_;
  std::function<void(HWND)> answer_;
  void* stop_;  // events of the platform
  void* done_;
  std::atomic<bool> answered_{false};
  Shown shown_;
  std::thread thread_;
};

// Matches a message box by its title (UTF-8).
std::function<bool(HWND)> TitledBox(std::string utf8Title);
// Matches a window owned by `owner`.
std::function<bool(HWND)> OwnedBy(HWND owner);
// Presses a dialog's button with this ID (IDOK, IDYES, ...).
std::function<void(HWND)> Press(int buttonId);
// Types a full path into a file dialog's name box and confirms it; `offered`,
// when given, gets what the box held before.
std::function<void(HWND)> ChooseFile(std::wstring path, std::wstring* offered = nullptr);

// Handles the calling thread's messages until `done` holds; false when it
// did not within a minute.
bool HandleMessagesUntil(const std::function<bool()>& done);
// The same with a patience of its own, in milliseconds.
bool HandleMessagesUntil(const std::function<bool()>& done, unsigned long patience);

// The Win32 main window behind the window contract suites, driven as above.
extern const contract::WindowKind kWin32Window;

}  // namespace rankora::ui::win32::testing

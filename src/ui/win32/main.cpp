// Rankora's Windows program: the start-up steps, the main window and its
// message loop.
// clang-format off
#include "automation/com/platform_headers.h"
#include <commctrl.h>
// clang-format on

#include <cstdio>

#include "app/program.h"
#include "app/win32/message_queue.h"
#include "automation/com/com_owners.h"
#include "dict/dictionary.h"
#include "ui/win32/main_window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
  int code = 0;
  bool abandoned = false;
  {
    // Undone on every way out, before a program whose work was abandoned
    // ends at once below.
    const rankora::automation::com::OleScope ole;
    // The dictionary's long searches let the window handle its messages.
    rankora::dict::SetPendingMessagesHook([] { rankora::app::ProcessThreadMessages(); });
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    // The program-wide state (the last save file name) lives in the window's
    // Program and is released with it when the loop has ended.
    rankora::app::LoadStartupDictionary();
    rankora::ui::win32::MainWindow window;
    if (window.Handle() == nullptr) return 1;
    window.Show(showCommand);
    // Once the loop runs: the last start's unfinished run is offered.
    window.WindowThread()([&window] { window.GetProgram().OfferToResume(); });
    code = window.RunMessageLoop();
    abandoned = window.AbandonedWork();
    // A save still writing finishes its file first.
    window.GetProgram().WaitForSaves();
  }
  // A lookup still waiting on the network when the window closed has
  // nothing to keep: end now instead of waiting out its time-out.
  if (abandoned) {
    std::fflush(nullptr);
    ExitProcess(static_cast<UINT>(code));
  }
  return code;
}

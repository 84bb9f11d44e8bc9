// The batch run through the real Win32 window, against the stand-in weight
// service running in the test program.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "lookup/weight_lookup.h"
#include "text/gbk.h"
#include "ui/win32/main_window.h"
#include "ui/win32/wide_text.h"
#include "weight_service.h"
#include "window_driver.h"

namespace rankora::ui::win32 {
namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;
using testing::ControlNamed;
using testing::TextOf;

Rows RowsOf(MainWindow& window) {
  Rows rows;
  app::ResultList& list = window.ResultListControl();
  for (int row = 0; row < list.RowCount(); ++row) {
    rows.emplace_back(text::ToUtf8(list.CellText(row, 0)), text::ToUtf8(list.CellText(row, 1)));
  }
  return rows;
}

// Lookups that wait for the test: a run is then seen in the middle.
class HeldLookups {
 public:
  app::Program::Lookup Lookup(std::function<void()> onStart = {}) {
    return [this, onStart = std::move(onStart), released = released_](const std::string& domain) {
      ++started;
      if (onStart) onStart();
      released.wait();
      return domain == "x.com" ? std::string("1") : std::string("2");
    };
  }
  void Release() {
    if (!releasedOnce_) release_.set_value();
    releasedOnce_ = true;
  }
  ~HeldLookups() { Release(); }

  std::atomic<int> started{0};

 private:
  std::promise<void> release_;
  std::shared_future<void> released_ = release_.get_future().share();
  bool releasedOnce_ = false;
};

struct Seen {
  MainWindow* window;
  std::promise<void>* release;
  int ticks = 0;
  int rowsMidway = -1;
  bool disabled = false;
  std::string caption;
  bool released = false;
  std::wstring textMidway;
};
Seen* current = nullptr;

// At each tick of the timer: how the window stands in the middle of a run.
void CALLBACK Look(HWND, UINT, UINT_PTR, DWORD) {
  Seen& s = *current;
  ++s.ticks;
  s.disabled = !IsWindowEnabled(ControlNamed(*s.window, "按钮1"));
  s.caption = TextOf(ControlNamed(*s.window, "按钮1"));
  const HWND list = ControlNamed(*s.window, "超级列表框1");
  RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  if (s.ticks >= 5 && !s.released) {
    s.rowsMidway = s.window->ResultListControl().RowCount();
    s.textMidway.resize(64);
    s.textMidway.resize(
        static_cast<std::size_t>(GetWindowTextW(ControlNamed(*s.window, "编辑框1"), s.textMidway.data(), 64)));
    s.released = true;
    s.release->set_value();
  }
}

// Posts itself a timer's ticks while the window's thread waits for a lookup,
// and looks at the window each time.
TEST(BatchRunAlive, KeepsPaintingShowsEachRowAndHoldsInputUntilTheEnd) {
  testing::StartLikeTheProgram();
  // The first lookup answers at once, the second waits until the window has
  // been seen painting with the first row listed.
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  MainWindow window([released](const std::string& domain) {
    if (domain == "y.com") released.wait();
    return std::string(domain == "x.com" ? "1" : "2");
  });
  window.Show(SW_SHOWNORMAL);
  const HWND edit = ControlNamed(window, "编辑框1");
  SetWindowTextW(edit, L"x.com\r\ny.com");
  Seen seen{&window, &release, 0, -1, false, {}, false, {}};
  current = &seen;
  // A key typed during the run, into the domain box: it waits.
  PostMessageW(edit, WM_CHAR, L'Z', 1);
  const UINT_PTR timer = SetTimer(nullptr, 0, 10, Look);
  testing::Click(ControlNamed(window, "按钮1"));
  KillTimer(nullptr, timer);
  EXPECT_GE(seen.ticks, 5);
  EXPECT_TRUE(seen.disabled);
  EXPECT_EQ(seen.caption, "正在验证.");
  EXPECT_EQ(seen.rowsMidway, 1);
  EXPECT_EQ(seen.textMidway, L"x.com\r\ny.com");
  EXPECT_EQ(RowsOf(window), (Rows{{"x.com", "1"}, {"y.com", "2"}}));
  // The held key reaches the box once the run is over.
  EXPECT_TRUE(testing::HandleMessagesUntil([&] { return GetWindowTextLengthW(edit) > 12; }));
  EXPECT_NE(window.DomainBoxControl().Text().find('Z'), std::string::npos);
}

TEST(BatchRunClosing, TheCloseButtonEndsTheRunAndTheProgramAtOnce) {
  testing::StartLikeTheProgram();
  HeldLookups lookups;
  HWND handle = nullptr;
  MainWindow window(lookups.Lookup([&handle] {
    // As the close button does, while the lookup is out.
    PostMessageW(handle, WM_SYSCOMMAND, SC_CLOSE, 0);
  }));
  handle = window.Handle();
  SetWindowTextW(ControlNamed(window, "编辑框1"), L"a.com\r\nb.com");
  window.Show(SW_SHOWNORMAL);
  testing::Click(ControlNamed(window, "按钮1"));
  // Back from the click while the lookup still waits: the run ended.
  EXPECT_EQ(lookups.started, 1);
  EXPECT_TRUE(window.Closed());
  EXPECT_TRUE(window.AbandonedWork());
  EXPECT_FALSE(IsWindowVisible(handle));
  EXPECT_EQ(window.ResultListControl().RowCount(), 0);
  // And the program's loop ends at once.
  EXPECT_EQ(window.RunMessageLoop(), 0);
  lookups.Release();
}

using contract::WindowBatchRunContract;
INSTANTIATE_TEST_SUITE_P(Win32, WindowBatchRunContract, ::testing::Values(testing::kWin32Window), contract::KindName);
using contract::WindowLongRunContract;
INSTANTIATE_TEST_SUITE_P(Win32, WindowLongRunContract, ::testing::Values(testing::kWin32Window), contract::KindName);

}  // namespace
}  // namespace rankora::ui::win32

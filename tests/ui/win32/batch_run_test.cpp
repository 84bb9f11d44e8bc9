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

class BatchRunTest : public ::testing::Test {
 protected:
  explicit BatchRunTest(tools::WeightServiceOptions options = {{{"www.baidu.com", "9"}, {"a.com", "4"}}, "2", -1, {}})
      : service_(std::move(options)) {}

  static void SetUpTestSuite() { testing::StartLikeTheProgram(); }
  void SetUp() override { window_.Show(SW_SHOWNORMAL); }

  void Type(const std::wstring& text) { SetWindowTextW(ControlNamed(window_, "编辑框1"), text.c_str()); }
  HWND Start() { return ControlNamed(window_, "按钮1"); }

  // The domains the service was asked for, in order.
  std::vector<std::string> Asked() {
    std::vector<std::string> domains;
    for (const auto& request : server_.Requests())
      domains.push_back(tools::WeightService::DomainOf(request.PathAndQuery()));
    return domains;
  }

  tools::WeightService service_;
  tools::LoopbackServer server_{[this](const tools::ReceivedRequest& request) { return service_.Handle(request); }};
  MainWindow window_{[this](const std::string& domain) {
    return lookup::LookupWeight(domain, lookup::Endpoints{server_.Host(), lookup::kImageHost});
  }};
};

TEST_F(BatchRunTest, ListsTheSixDefaultDomainsInOrder) {
  testing::Click(Start());
  EXPECT_EQ(RowsOf(window_), (Rows{{"www.baidu.com", "9"},
                                   {"www.sina.com.cn", "2"},
                                   {"www.163.com", "2"},
                                   {"www.qq.com", "2"},
                                   {"www.sogou.com", "2"},
                                   {"www.so.com", "2"}}));
  EXPECT_EQ(server_.RequestCount(), 6u);
  EXPECT_TRUE(IsWindowEnabled(Start()));
  EXPECT_EQ(TextOf(Start()), "开始验证");
}

TEST_F(BatchRunTest, TakesTheDomainBeforeTheFirstSeparatorAndKeepsBlanks) {
  Type(L"a.com | 7\r\na.com|7\r\n b.com \r\n\r\nc.com\r\n");
  testing::Click(Start());
  EXPECT_EQ(Asked(), (std::vector<std::string>{"a.com", "a.com%7C7", "%20b.com%20", "c.com"}));
  EXPECT_EQ(RowsOf(window_), (Rows{{"a.com", "4"}, {"a.com|7", "2"}, {" b.com ", "2"}, {"c.com", "2"}}));
}

TEST_F(BatchRunTest, ASecondRunAppendsBelowTheFirst) {
  Type(L"a.com");
  testing::Click(Start());
  Type(L"b.com\r\nc.com");
  testing::Click(Start());
  EXPECT_EQ(RowsOf(window_), (Rows{{"a.com", "4"}, {"b.com", "2"}, {"c.com", "2"}}));
}

class RefusalTest : public BatchRunTest {
 protected:
  RefusalTest() : BatchRunTest({{}, "5", 2, {}}) {}
};

TEST_F(RefusalTest, StopsAtTheFirstRefusalWithOneMessage) {
  Type(L"d1.com\r\nd2.com\r\nd3.com\r\nd4.com\r\nd5.com");
  bool enabledWhileShown = true;
  std::string captionWhileShown;
  testing::DialogAnswerer answer(testing::TitledBox("信息："), [&](HWND box) {
    enabledWhileShown = IsWindowEnabled(Start()) != FALSE;
    captionWhileShown = TextOf(Start());
    testing::Press(IDOK)(box);
  });
  testing::Click(Start());
  ASSERT_TRUE(answer.Wait());
  EXPECT_EQ(answer.What().texts, std::vector<std::string>{"Quillon提示：被限制了。。换IP吧"});
  EXPECT_EQ(answer.What().owner, nullptr);
  EXPECT_FALSE(enabledWhileShown);
  EXPECT_EQ(captionWhileShown, "正在验证.");
  EXPECT_EQ(RowsOf(window_), (Rows{{"d1.com", "5"}, {"d2.com", "5"}}));
  EXPECT_EQ(Asked(), (std::vector<std::string>{"d1.com", "d2.com", "d3.com"}));
  EXPECT_TRUE(IsWindowEnabled(Start()));
  EXPECT_EQ(TextOf(Start()), "开始验证");
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

}  // namespace
}  // namespace rankora::ui::win32

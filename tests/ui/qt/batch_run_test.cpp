// The batch run through the real window, against the stand-in service.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QWindow>
#include <atomic>
#include <chrono>
#include <future>

#include "lookup/weight_lookup.h"
#include "modal.h"
#include "qt_window_driver.h"
#include "text/gbk.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_text.h"
#include "weight_service.h"

// The window system's side of Qt: what a platform plugin calls when the
// window manager asks a window to close or the user clicks.
#include <qpa/qwindowsysteminterface.h>

namespace rankora::ui::qt {
namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

class BatchRunTest : public ::testing::Test {
 protected:
  explicit BatchRunTest(tools::WeightServiceOptions options = {{{"www.baidu.com", "9"}, {"a.com", "4"}}, "2", -1, {}})
      : service_(std::move(options)) {}

  void SetUp() override {
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  }

  void Type(const QString& text) { window_.findChild<QPlainTextEdit*>(Q("编辑框1"))->setPlainText(text); }
  QPushButton* Start() { return window_.findChild<QPushButton*>(Q("按钮1")); }
  void Click() { QTest::mouseClick(Start(), Qt::LeftButton); }

  std::vector<std::pair<std::string, std::string>> Rows() {
    std::vector<std::pair<std::string, std::string>> rows;
    app::ResultList& list = window_.ResultListControl();
    rows.reserve(static_cast<std::size_t>(list.RowCount()));
    for (int row = 0; row < list.RowCount(); ++row) {
      rows.emplace_back(text::ToUtf8(list.CellText(row, 0)), text::ToUtf8(list.CellText(row, 1)));
    }
    return rows;
  }

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

class SlowServiceTest : public BatchRunTest {
 protected:
  SlowServiceTest() : BatchRunTest({{}, "1", -1, std::chrono::milliseconds(300)}) {}
};

TEST_F(SlowServiceTest, KeepsPaintingAndShowsEachRowAsItArrives) {
  Type(Q("x.com\r\ny.com"));
  struct Seen {
    int ticks = 0;
    int paints = 0;
    bool disabled = false;
    QString caption;
    int rowsMidway = -1;
  } seen;
  auto* list = window_.findChild<QTreeView*>(Q("超级列表框1"));
  struct PaintCounter : QObject {
    int* paints;
    explicit PaintCounter(int* count) : paints(count) {}
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint) ++*paints;
      return false;
    }
  } counter(&seen.paints);
  list->viewport()->installEventFilter(&counter);
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    ++seen.ticks;
    seen.disabled = !Start()->isEnabled();
    seen.caption = Start()->text();
    if (window_.ResultListControl().RowCount() == 1) seen.rowsMidway = 1;
    list->viewport()->update();
  });
  timer.start(20);
  Click();
  timer.stop();
  list->viewport()->removeEventFilter(&counter);
  EXPECT_GT(seen.ticks, 10);
  EXPECT_GT(seen.paints, 5);
  EXPECT_TRUE(seen.disabled);
  EXPECT_EQ(seen.caption, Q("正在验证."));
  EXPECT_EQ(seen.rowsMidway, 1);
  EXPECT_EQ(Rows().size(), 2u);
}

TEST(BatchRunClosing, ClosingTheWindowEndsTheRunAtOnce) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> started{0};
  std::atomic<bool> finished{false};
  MainWindow window([&, released](const std::string&) {
    ++started;
    released.wait();
    finished = true;
    return std::string("1");
  });
  window.show();
  QTimer::singleShot(100, &window, [&] { window.close(); });
  const auto begin = std::chrono::steady_clock::now();
  QTest::mouseClick(window.findChild<QPushButton*>(Q("按钮1")), Qt::LeftButton);
  const auto took = std::chrono::steady_clock::now() - begin;
  EXPECT_LT(took, std::chrono::seconds(2));
  EXPECT_EQ(started, 1);
  EXPECT_TRUE(window.AbandonedWork());
  EXPECT_EQ(window.ResultListControl().RowCount(), 0);
  // The abandoned lookup finishes on its own, touching nothing of the window.
  release.set_value();
  QTRY_VERIFY(finished.load());
}

// A lookup that waits until the test lets it go; a run that ignored the
// close would get past it only after `patience`, and then list a row.
class HeldLookups {
 public:
  explicit HeldLookups(std::chrono::seconds patience) : patience_(patience) {}
  app::Program::Lookup Lookup() {
    return [this, released = released_](const std::string&) {
      ++started;
      released.wait_for(patience_);
      return std::string("3");
    };
  }
  void Release() {
    if (!releasedOnce_) release_.set_value();
    releasedOnce_ = true;
  }
  ~HeldLookups() { Release(); }

  std::atomic<int> started{0};

 private:
  std::chrono::seconds patience_;
  std::promise<void> release_;
  std::shared_future<void> released_ = release_.get_future().share();
  bool releasedOnce_ = false;
};

TEST(BatchRunClosing, TheWindowManagersCloseRequestEndsTheRunAndTheProgram) {
  HeldLookups lookups(std::chrono::seconds(5));
  MainWindow window(lookups.Lookup());
  window.findChild<QPlainTextEdit*>(Q("编辑框1"))->setPlainText(Q("a.com\nb.com"));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  // Delivered as the platform delivers the window manager's close request
  // (WM_DELETE_WINDOW under X11): queued with the window system's events.
  QTimer::singleShot(100, &window, [&] { QWindowSystemInterface::handleCloseEvent(window.windowHandle()); });
  QTest::mouseClick(window.findChild<QPushButton*>(Q("按钮1")), Qt::LeftButton);
  EXPECT_EQ(lookups.started, 1);
  EXPECT_TRUE(window.AbandonedWork());
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.ResultListControl().RowCount(), 0);
}

TEST(BatchRunInput, ClicksDuringARunWaitForItsEnd) {
  HeldLookups lookups(std::chrono::seconds(5));
  MainWindow window(lookups.Lookup());
  window.findChild<QPlainTextEdit*>(Q("编辑框1"))->setPlainText(Q("x.com"));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  app::ResultList& list = window.ResultListControl();
  for (const char* weight : {"1", "2"}) list.SetCellText(list.InsertRow(), 1, weight);
  auto weights = [&] {
    std::vector<std::string> cells;
    for (int row = 0; row < list.RowCount(); ++row) cells.push_back(list.CellText(row, 1));
    return cells;
  };
  auto* sort = window.findChild<QPushButton*>(Q("按钮3"));
  const QPoint onSort = sort->mapTo(&window, sort->rect().center());
  std::vector<std::string> duringRun;
  // A click on the sort button through the window system, then a look at the
  // list before the lookup is let go.
  QTimer::singleShot(50, &window, [&] { QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, onSort); });
  QTimer::singleShot(200, &window, [&] {
    duringRun = weights();
    lookups.Release();
  });
  QTest::mouseClick(window.findChild<QPushButton*>(Q("按钮1")), Qt::LeftButton);
  EXPECT_EQ(duringRun, (std::vector<std::string>{"1", "2"}));
  // The held click sorts the list once the run is over.
  QTRY_COMPARE(weights(), (std::vector<std::string>{"3", "2", "1"}));
}

using contract::WindowBatchRunContract;
INSTANTIATE_TEST_SUITE_P(Qt, WindowBatchRunContract, ::testing::Values(contract::kQtWindow), contract::KindName);
using contract::WindowLongRunContract;
INSTANTIATE_TEST_SUITE_P(Qt, WindowLongRunContract, ::testing::Values(contract::kQtWindow), contract::KindName);

}  // namespace
}  // namespace rankora::ui::qt

// What the main window promises on every platform, as suites that run once
// per window (Qt, Win32). The suites drive the real window through
// WindowDriver, which each window's test support implements in its toolkit's
// own way: clicks as the user's, message boxes and file dialogs answered
// while they are up. A window's test program instantiates a suite with the
// function that makes its driver:
//
//   INSTANTIATE_TEST_SUITE_P(Qt, WindowControlsContract, ::testing::Values(kQtWindow), KindName);
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/program.h"
#include "app/window.h"
#include "loopback_server.h"
#include "weight_service.h"

namespace rankora::ui::contract {

// What a message box showed when it was answered.
struct ShownBox {
  std::string title;  // UTF-8
  std::string text;   // UTF-8
  int buttons = 0;
  bool owned = true;  // whether it had an owner window
};

// The answer to a message box titled 信息： that the window is about to show.
class BoxAnswer {
 public:
  virtual ~BoxAnswer() = default;
  // Waits until the box was answered with OK; false when none came.
  virtual bool Wait() = 0;
  virtual ShownBox What() const = 0;
};

// How to answer the save dialog, and what the save showed.
struct SaveAnswer {
  std::filesystem::path file;  // the file to name; ignored when cancelling
  bool cancel = false;
  bool replace = false;  // agree when asked whether to replace the file
};
struct SaveSeen {
  std::string offered;  // what the dialog's name box held when shown, UTF-8
  bool askedToReplace = false;
  bool confirmed = false;  // a confirmation box came and was answered
  ShownBox confirmation;
  bool windowUsable = false;  // the window took input while the confirmation was up
};

// What the user types into the settings dialog (查询 → 设置…).
struct SettingsInput {
  int source = 0;       // 0 旧接口, 1 爱站网页, 2 爱站接口
  std::string key;      // UTF-8
  std::string cookie;   // UTF-8
  std::string proxies;  // UTF-8, lines separated by "\n"
  int perMinute = 12;
  int inFlight = 10;
  int coolDownMinutes = 15;
};
struct SettingsSeen {
  bool accepted = false;  // the dialog closed on 确定 with its settings taken
  std::string problem;    // UTF-8: what the dialog said instead (it was then cancelled)
};

class WindowDriver {
 public:
  virtual ~WindowDriver() = default;
  virtual app::Window& Window() = 0;
  virtual app::Program& Program() = 0;
  virtual bool AbandonedWork() = 0;
  // Shows the window and waits until it is on the screen.
  virtual void Show() = 0;
  virtual bool IsVisible() = 0;
  // Replaces the domain box's text, as pasting over it does.
  virtual void SetDomainText(const std::u16string& text) = 0;
  // Clicks the control named `name` (UTF-8) as the user does; returns once
  // its handler has run.
  virtual void Click(const char* name) = 0;
  // Chooses the menu command named `name` (UTF-8: 退出, 关于) as the user
  // does; returns once its handler has run.
  virtual void ChooseMenu(const char* name) = 0;
  // The menu bar's titles, in order, UTF-8 as the window holds them
  // (with their "&" marks).
  virtual std::vector<std::string> MenuTitles() = 0;
  virtual std::string Caption(const char* name) = 0;  // UTF-8
  virtual bool IsEnabled(const char* name) = 0;
  // The result list's column headers as the user sees and clicks them.
  virtual void ClickHeader(int column) = 0;
  virtual std::string HeaderText(int column) = 0;  // UTF-8
  virtual int ColumnWidth(int column) = 0;
  // The text the result list shows in a cell, UTF-8.
  virtual std::string ShownCell(int row, int column) = 0;
  // Answers the next message box titled 信息： with OK; `whileShown` runs
  // first, while the box is up.
  virtual std::unique_ptr<BoxAnswer> AnswerMessage(std::function<void()> whileShown = {}) = 0;
  // Clicks 按钮2, answers its dialog as `answer` says and, unless cancelled,
  // the confirmation; returns once the save is done.
  virtual SaveSeen SaveThroughTheWindow(const SaveAnswer& answer) = 0;
  // Closes the window as its close button does; true when it closed
  // without asking anything.
  virtual bool CloseAsTheUserDoes() = 0;

  // --- The window's long runs. ---
  // Opens 查询 → 设置…, types `input` into it and clicks 确定; a box that
  // refuses the settings is answered and the dialog then cancelled.
  virtual SettingsSeen EnterSettings(const SettingsInput& input) = 0;
  // Chooses the menu command `name` (导入域名, 导出CSV, 导出Excel) and names
  // `file` in the file dialog it opens; returns once its handler has run.
  virtual void ChooseMenuWithFile(const char* name, const std::filesystem::path& file) = 0;
  // Answers the next 是/否 question with 是 (`yes`) or 否.
  virtual std::unique_ptr<BoxAnswer> AnswerQuestion(bool yes) = 0;
  virtual bool IsMenuEnabled(const char* name) = 0;
  virtual std::string StatusText() = 0;  // the status line below the list, UTF-8
  virtual std::string TitleText() = 0;   // UTF-8
  // Lets the window run until `done` holds; false when `patience` passed first.
  virtual bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds patience) = 0;
};

// A window under test: its name in test names ("qt", "win32") and the
// function that makes the window, with the lookup given to its program
// (empty: the weight service itself), and its driver. Every case starts
// as on a machine where Rankora never ran.
struct WindowKind {
  const char* name;
  std::unique_ptr<WindowDriver> (*make)(app::Program::Lookup lookup);
  // Removes the user's settings and saved run, as on a machine where
  // Rankora never ran.
  void (*forget)();
};
void PrintTo(const WindowKind& kind, std::ostream* out);
std::string KindName(const ::testing::TestParamInfo<WindowKind>& info);

// Texts of the results list, UTF-8.
using Rows = std::vector<std::pair<std::string, std::string>>;

// A window with rows put in by hand.
class WindowContract : public ::testing::TestWithParam<WindowKind> {
 protected:
  void Open(app::Program::Lookup lookup = {});
  void AddRow(const std::string& domain, const std::string& weight);
  std::vector<std::string> Column(int column);  // GBK
  Rows RowsShown();

  std::unique_ptr<WindowDriver> driver_;
  bool opened_ = false;
};

// The same against the stand-in weight service on loopback.
class WindowServiceContract : public WindowContract {
 protected:
  void Open(tools::WeightServiceOptions options);
  // The domains the service was asked for, in order.
  std::vector<std::string> Asked();

  std::unique_ptr<tools::WeightService> service_;
  std::unique_ptr<tools::LoopbackServer> server_;
};

// The same with a folder of its own for files, the current folder put back
// afterwards.
class WindowFilesContract : public WindowContract {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::filesystem::path previous_;
  std::filesystem::path folder_;
};

// The suites: the controls, the batch run, sorting and saving.
class WindowControlsContract : public WindowContract {};
class WindowBatchRunContract : public WindowServiceContract {};

// The window's long runs through several exits of the stand-in.
class WindowLongRunContract : public WindowContract {
 protected:
  void TearDown() override;
  // The stand-in behind `exits` exits, and a window whose runs ask it
  // through them for today's page, `inFlight` at a time, unpaced.
  void OpenWithExits(tools::WeightServiceOptions options, std::size_t exits, int inFlight);
  bool RunEnds(std::chrono::milliseconds patience = std::chrono::seconds(60));
  std::vector<std::string> Headers();  // UTF-8
  // Each domain of the list, with how often it is there.
  std::map<std::string, int> DomainCounts();
  // A folder of the case's own for files, made on first use.
  std::filesystem::path Folder();

  std::unique_ptr<tools::WeightServiceExits> service_;
  std::filesystem::path folder_;
};
class WindowSortSaveContract : public WindowFilesContract {};

}  // namespace rankora::ui::contract

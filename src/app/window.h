// The main window as the click handlers see it: the few operations they need
// of its controls, independent of the toolkit that draws them. Every text is
// GBK; file names are the platform's own paths, whatever characters they
// hold; rows and columns are 0-based.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace rankora::app {

struct Settings;
class SettingsStore;

// The start button 按钮1.
class StartButton {
 public:
  virtual ~StartButton() = default;
  virtual void SetEnabled(bool enabled) = 0;
  virtual void SetCaption(const std::string& caption) = 0;
};

// The domain list box 编辑框1.
class DomainBox {
 public:
  virtual ~DomainBox() = default;
  // The whole text, lines separated by CR LF whatever the toolkit holds.
  virtual std::string Text() const = 0;
  // Replaces the whole text; lines separated by CR LF.
  virtual void SetText(const std::string& text) = 0;
};

// The results list 超级列表框1: report view, columns 域名 and 权重.
class ResultList {
 public:
  virtual ~ResultList() = default;
  virtual bool IsReportView() const = 0;
  virtual int RowCount() const = 0;
  virtual int ColumnCount() const = 0;
  // Appends a row whose cells are empty and returns its index. A row with an
  // empty item text sorts after every row with text, so it lands at the end.
  virtual int InsertRow() = 0;
  // Out-of-range cells are ignored on writing and read as empty text.
  virtual void SetCellText(int row, int column, const std::string& text) = 0;
  virtual std::string CellText(int row, int column) const = 0;
  // Replaces the columns with ones of these headers and removes every row.
  virtual void SetColumns(const std::vector<std::string>& headers) = 0;
  virtual std::string HeaderText(int column) const = 0;
};

// The save dialog 通用对话框1.
class SaveDialog {
 public:
  virtual ~SaveDialog() = default;
  // Shows the dialog modally; true when the user confirmed a file. Confirming
  // makes the chosen file's folder the process's current folder.
  virtual bool Show() = 0;
  // The full path of the last confirmed file, else the initial "*.txt".
  virtual std::filesystem::path FileName() const = 0;
  virtual void SetInitialFolder(const std::filesystem::path& folder) = 0;
};

// Where the program keeps what is the user's own.
struct Places {
  std::filesystem::path dataFolder;  // the journal of the window's runs
  std::string settingsPlace;         // where the settings are kept, for the user's eyes (GBK)
};

// The window with its controls and the window-thread services.
class Window {
 public:
  virtual ~Window() = default;
  virtual StartButton& StartButtonControl() = 0;
  virtual DomainBox& DomainBoxControl() = 0;
  virtual ResultList& ResultListControl() = 0;
  virtual SaveDialog& SaveDialogControl() = 0;
  // A modal box titled 信息： with one OK button and no owner window.
  virtual void ShowMessage(const std::string& text) = 0;
  // Lets the window handle the events waiting in its queue, then returns.
  virtual void ProcessPendingMessages() = 0;
  // Runs `work` aside while the window goes on painting; clicks and keys
  // wait until it is done, so no handler runs meanwhile. Gives its result,
  // or nothing when the window was closed first (the work then finishes on
  // its own, touching nothing of the window's).
  virtual std::optional<std::string> Await(std::function<std::string()> work) = 0;
  // A way for another thread to show a message box (no owner, not modal):
  // the call returns when the box is closed, or at once when the window is
  // gone.
  virtual std::function<void(const std::string&)> WorkerMessages() = 0;
  // Opens an address with the desktop's "open" action, without waiting.
  virtual void OpenAddress(const std::string& address) = 0;
  virtual Places UserPlaces() const = 0;

  // --- What the window's long runs need of it. ---
  // The line below the original client area that tells a run's progress.
  virtual void SetStatus(const std::string& text) = 0;
  // The window's title.
  virtual void SetTitle(const std::string& text) = 0;
  // A way for any thread to have `task` run on the window thread, in the
  // order handed over; tasks handed over once the window is gone are
  // dropped.
  virtual std::function<void(std::function<void()>)> WindowThread() = 0;
  // While a long run goes on: 停止 is offered, and the start button, 设置
  // and importing wait.
  virtual void ShowRunning(bool running) = 0;
  // A modal question with 是 and 否; true for 是.
  virtual bool Ask(const std::string& question) = 0;
  enum class FileChoice { kImport, kExportCsv, kExportWorkbook };
  // The platform's open or save dialog for the kind of file; nothing when
  // the user cancelled.
  virtual std::optional<std::filesystem::path> ChooseFile(FileChoice choice) = 0;
  // The settings dialog over `settings`; true when the user confirmed
  // settings that CheckSettings accepts (a dialog whose settings it refuses
  // says why and stays open).
  virtual bool EditSettings(Settings& settings) = 0;
  virtual SettingsStore& Store() = 0;
};

}  // namespace rankora::app

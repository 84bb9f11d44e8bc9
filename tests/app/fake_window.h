// An in-memory window for the handlers' tests: its controls keep what they
// are given and record what they were asked.
#pragma once

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/window.h"

namespace rankora::testing {

class FakeWindow final : public app::Window,
                         public app::StartButton,
                         public app::DomainBox,
                         public app::ResultList,
                         public app::SaveDialog {
 public:
  app::StartButton& StartButtonControl() override { return *this; }
  app::DomainBox& DomainBoxControl() override { return *this; }
  app::ResultList& ResultListControl() override { return *this; }
  app::SaveDialog& SaveDialogControl() override { return *this; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ProcessPendingMessages() override { ++pumps; }
  std::optional<std::string> Await(std::function<std::string()> work) override { return work(); }
  std::function<void(const std::string&)> WorkerMessages() override {
    return [log = workerMessages](const std::string& text) {
      const std::lock_guard lock(log->mutex);
      log->texts.push_back(text);
      log->arrived.notify_all();
    };
  }
  void OpenAddress(const std::string& address) override { opened.push_back(address); }
  app::Places UserPlaces() const override { return places; }

  void SetEnabled(bool value) override { enabled = value; }
  void SetCaption(const std::string& value) override { caption = value; }
  std::string Text() const override { return text; }

  bool IsReportView() const override { return reportView; }
  int RowCount() const override { return static_cast<int>(rows.size()); }
  int ColumnCount() const override { return columns; }
  int InsertRow() override {
    rows.emplace_back(static_cast<std::size_t>(columns));
    return RowCount() - 1;
  }
  void SetCellText(int row, int column, const std::string& value) override {
    ++writes;
    if (row >= 0 && row < RowCount() && column >= 0 && column < columns) {
      rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = value;
    }
  }
  std::string CellText(int row, int column) const override {
    if (row < 0 || row >= RowCount() || column < 0 || column >= columns) return {};
    return rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
  }

  bool Show() override { return confirm; }
  std::filesystem::path FileName() const override { return fileName; }
  void SetInitialFolder(const std::filesystem::path& folder) override { initialFolder = folder; }

  void AddRow(std::vector<std::string> cells) { rows.push_back(std::move(cells)); }

  bool enabled = true;
  std::string caption;
  std::string text;
  bool reportView = true;
  int columns = 2;
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> messages;
  int pumps = 0;
  int writes = 0;
  bool confirm = false;
  std::filesystem::path fileName = "*.txt";
  std::filesystem::path initialFolder;
  struct Log {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::string> texts;
  };
  std::shared_ptr<Log> workerMessages = std::make_shared<Log>();
  std::vector<std::string> opened;
  app::Places places;
};

}  // namespace rankora::testing

// An in-memory window for the handlers' tests: its controls keep what they
// are given and record what they were asked.
#pragma once

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/settings.h"
#include "app/window.h"

namespace rankora::testing {

// A settings store that remembers what it was given, and which names were
// secrets.
class MemoryStore final : public app::SettingsStore {
 public:
  std::optional<std::string> Read(const std::string& name) const override {
    const auto found = values.find(name);
    if (found == values.end()) return std::nullopt;
    return found->second;
  }
  bool Write(const std::string& name, const std::string& value, bool secret) override {
    values[name] = value;
    if (secret) secrets[name] = true;
    return !failing;
  }
  std::map<std::string, std::string> values;
  std::map<std::string, bool> secrets;
  bool failing = false;
};

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
  void SetStatus(const std::string& value) override { status = value; }
  void SetTitle(const std::string& value) override { title = value; }
  // Tasks handed over wait in a queue until RunHanded runs them, as the
  // window thread would.
  std::function<void(std::function<void()>)> WindowThread() override {
    return [queue = handed](std::function<void()> task) {
      const std::lock_guard lock(queue->mutex);
      queue->tasks.push_back(std::move(task));
      queue->arrived.notify_all();
    };
  }
  // Runs the tasks handed over, waiting for more until `until` holds.
  template <typename Predicate>
  void RunHandedUntil(Predicate until) {
    while (!until()) {
      std::function<void()> task;
      {
        std::unique_lock lock(handed->mutex);
        handed->arrived.wait(lock, [this] { return !handed->tasks.empty(); });
        task = std::move(handed->tasks.front());
        handed->tasks.pop_front();
      }
      task();
    }
  }
  void ShowRunning(bool value) override { running = value; }
  bool Ask(const std::string& question) override {
    questions.push_back(question);
    return answer;
  }
  std::optional<std::filesystem::path> ChooseFile(FileChoice) override { return chosenFile; }
  bool EditSettings(app::Settings& settings) override {
    if (!editedSettings) return false;
    settings = *editedSettings;
    return true;
  }
  app::SettingsStore& Store() override { return store; }
  void SetText(const std::string& value) override { text = value; }
  void SetColumns(const std::vector<std::string>& value) override {
    headers = value;
    columns = static_cast<int>(value.size());
    rows.clear();
  }
  std::string HeaderText(int column) const override {
    return column >= 0 && column < static_cast<int>(headers.size()) ? headers[static_cast<std::size_t>(column)]
                                                                    : std::string();
  }

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
  std::string status;
  std::string title;
  struct Handed {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::function<void()>> tasks;
  };
  std::shared_ptr<Handed> handed = std::make_shared<Handed>();
  bool running = false;
  std::vector<std::string> questions;
  bool answer = false;
  std::optional<std::filesystem::path> chosenFile;
  std::optional<app::Settings> editedSettings;
  MemoryStore store;
  std::vector<std::string> headers;
};

}  // namespace rankora::testing

// The main window's behaviour: the four click handlers and the program-wide
// state they share. Runs on the window thread.
#pragma once

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/engine_run.h"
#include "app/run_rows.h"
#include "app/saved_run.h"
#include "app/settings.h"
#include "app/window.h"
#include "lookup/weight_lookup.h"

namespace rankora::app {

class Program {
 public:
  // The weight of one domain, empty when none came back; or why a component
  // could not look it up.
  using Lookup = std::function<lookup::StepResult(const std::string& domain)>;

  // `lookup` defaults to the weight service itself.
  explicit Program(Window& window, Lookup lookup = {});
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  // A long run still out is left to end alone: its lookups may be waiting
  // on the network, and every finished one is in the journal already.
  ~Program();

  void RunBatch();       // 按钮1
  void SaveResults();    // 按钮2
  void SortByWeight();   // 按钮3
  void OpenMakerPage();  // 超级按钮1
  void ShowAbout();      // 帮助 → 关于 Rankora

  // The menu bar's commands.
  void ImportDomains();   // 文件 → 导入域名…
  void ExportCsv();       // 文件 → 导出 CSV…
  void ExportWorkbook();  // 文件 → 导出 Excel…
  void EditSettings();    // 查询 → 设置…
  void Stop();            // 查询 → 停止, and Esc
  void RetryFailed();     // 查询 → 重查失败的

  // A click on the results list's header: a long run's list is sorted by
  // that column, numbers as numbers (highest first, then lowest first on the
  // next click), other texts in order, empty cells last either way. The
  // seed's list keeps its rows as they are: its header does nothing.
  void SortByHeader(int column);

  // At start, once the window shows: a run the last start left unfinished
  // is offered to go on with (继续上次的查询).
  void OfferToResume();

  // True while a run goes on.
  bool Running() const { return seedRunning_ || (engine_ && engine_->Running()); }
  // The settings in force.
  const Settings& CurrentSettings() const { return settings_; }
  // The address the window's long runs ask instead of the service's own
  // (a mirror; tests' stand-in). Empty: the service.
  void UseService(std::string service) { service_ = std::move(service); }

  // The path of the file last chosen in the save dialog; empty at start.
  const std::filesystem::path& SaveFileName() const { return saveFileName_; }

  // Returns once no save is still writing its file, so that ending the
  // program leaves no file half written.
  void WaitForSaves();

 private:
  // Saves still writing: their threads hold this, not the program.
  struct Saves {
    std::mutex mutex;
    std::condition_variable idle;
    int writing = 0;
  };

  // The seed's run: one domain after the other, stopping at the first
  // refusal, kept in the journal as it goes.
  void RunSeed(const std::vector<std::string>& domains);
  // A long run through the engine, over `domains`; `resume` goes on with the
  // saved run instead of starting a new one.
  void StartEngineRun(std::vector<std::string> domains, lookup::SourceKind source, bool resume);
  void ShowRecord(const batch::Record& record);
  void ShowProgress(const batch::Progress& progress);
  void EndEngineRun(const batch::RunResult& result);
  void SetControlsRunning(bool running);

  Window& window_;
  Lookup lookup_;
  Settings settings_;
  std::string service_;
  SavedRun saved_;
  std::shared_ptr<EngineRun> engine_;
  // The records the list shows, for the exports, and how they show.
  std::vector<batch::Record> records_;
  std::vector<std::string> columns_ = {"weight"};
  std::optional<RunRows> rows_;
  long total_ = 0;
  bool seedRunning_ = false;
  int sortedColumn_ = -1;    // the column the last header click sorted by
  bool sortedDown_ = false;  // and whether highest first
  std::filesystem::path saveFileName_;
  std::shared_ptr<Saves> saves_ = std::make_shared<Saves>();
};

// "http://<maker's host>/?quanzhong"
std::string MakerPageAddress();

// What 关于 Rankora says (GBK): the version, who answers each component the
// lookups use (the platform or the program itself), and where the user's
// data and settings are kept.
std::string AboutText(const Places& places);

// Start-up step between the exit clean-up and the main window: parses the
// built-in serialised dictionary once and discards it. Nothing depends on
// its outcome.
void LoadStartupDictionary();
extern const char kStartupDictionary[];

}  // namespace rankora::app

#include "app/program.h"

#include <algorithm>
#include <chrono>

#include "app/results_file.h"
#include "app/sort.h"
#include "app/texts.h"
#include "automation/apartment.h"
#include "batch/forms.h"
#include "batch/input.h"
#include "batch/journal.h"
#include "batch/record_cells.h"
#include "batch/status_line.h"
#include "dict/dictionary.h"
#include "files/whole_file.h"
#include "lookup/component_failure.h"
#include "lookup/weight_lookup.h"
#include "text/gbk.h"

#include <thread>

namespace rankora::app {

namespace {

using text::Gbk;

// The grace of a stop, as rankora-batch gives on Ctrl-C.
constexpr std::chrono::milliseconds kStopGrace{5000};

// The domains of the box's lines: the text before the first " | "; an empty
// line has no domain to take.
std::vector<std::string> DomainsOf(const std::string& text) {
  std::vector<std::string> domains;
  for (const std::string& line : text::Split(text, "\r\n")) {
    const std::vector<std::string> pieces = text::Split(line, " | ");
    if (!pieces.empty()) domains.push_back(pieces.front());
  }
  return domains;
}

// The domains as the box shows them, one a line.
std::string Lines(const std::vector<std::string>& domains) {
  std::string lines;
  for (const std::string& domain : domains) lines += (lines.empty() ? "" : "\r\n") + domain;
  return lines;
}

std::vector<std::string> ColumnsOf(lookup::SourceKind kind) {
  lookup::SourceSettings settings;
  settings.kind = kind;
  return lookup::MakeSource(settings)->Columns();
}

}  // namespace

Program::Program(Window& window, Lookup lookup)
    : window_(window),
      lookup_(std::move(lookup)),
      settings_(LoadSettings(window.Store())),
      saved_(window.UserPlaces().dataFolder) {
  if (!lookup_) lookup_ = [](const std::string& domain) { return lookup::TryLookupWeight(domain); };
}

Program::~Program() {
  if (engine_) engine_->Abandon();
}

void Program::RunBatch() {
  if (Running()) return;
  std::vector<std::string> domains = DomainsOf(window_.DomainBoxControl().Text());
  if (IsSeedRun(settings_)) {
    seedRunning_ = true;
    RunSeed(domains);
    seedRunning_ = false;
  } else {
    StartEngineRun(std::move(domains), settings_.source, false);
  }
}

void Program::RunSeed(const std::vector<std::string>& domains) {
  const Texts& texts = GetTexts();
  StartButton& button = window_.StartButtonControl();
  button.SetEnabled(false);
  button.SetCaption(texts.runningCaption);
  // The list shows the seed's columns; rows of an earlier seed run stay.
  ResultList& shown = window_.ResultListControl();
  if (rows_) {
    shown.SetColumns({texts.domainHeader, texts.weightHeader});
    rows_.reset();
    records_.clear();
    columns_ = {"weight"};
  }
  // Every row found goes to the journal too; a run that cannot keep one
  // still runs, as the seed's always has.
  std::unique_ptr<batch::RecordFormat> form = batch::MakeForm(batch::FormKind::kJsonl, columns_);
  std::unique_ptr<batch::Journal> journal;
  if (!saved_.Begin(lookup::SourceKind::kLegacy, domains)) {
    journal = batch::Journal::Open(saved_.JournalPath(), *form).journal;
  }
  std::size_t done = 0;
  for (const std::string& domain : domains) {
    // The lookup's failure and why it gave no weight come back beside its
    // weight; the work owns them with the window, so that a closed window
    // leaves them to the work alone.
    auto outcome = std::make_shared<lookup::StepResult>();
    const std::optional<std::string> weight = window_.Await([lookup = lookup_, domain, outcome] {
      lookup::StepResult answer = lookup(domain);
      std::string text = std::move(answer.text);
      *outcome = std::move(answer);
      return text;
    });
    // The window was closed during the lookup: the run ends with it.
    if (!weight) return;
    // A component that could not look up says so: the service did not
    // refuse anything.
    if (outcome->Failed()) {
      window_.ShowMessage(LookupFailedMessage(outcome->failure));
      break;
    }
    if (weight->empty()) {
      // Changing the address helps only where the service refused it: a
      // service out of reach or an interface that is gone says so instead.
      if (lookup::Unreachable(outcome->why)) {
        window_.ShowMessage(UnreachableMessage(lookup::UnreachableWords(outcome->why)));
      } else if (outcome->why == lookup::Why::kGone) {
        window_.ShowMessage(GoneMessage(outcome->reason));
      } else {
        window_.ShowMessage(texts.restrictedMessage);
      }
      break;
    }
    ResultList& list = window_.ResultListControl();
    const int row = list.InsertRow();
    list.SetCellText(row, 0, domain);
    list.SetCellText(row, 1, *weight);
    batch::Record record{domain, lookup::Outcome::kFound, {*weight}, {}, 1, "direct", batch::LocalTimeNow()};
    if (journal) journal->Append(record);
    records_.push_back(std::move(record));
    ++done;
  }
  journal.reset();
  if (done == domains.size()) saved_.End();
  button.SetEnabled(true);
  button.SetCaption(texts.startCaption);
}

void Program::StartEngineRun(std::vector<std::string> domains, lookup::SourceKind source, bool resume) {
  SettingsCheck check = CheckSettings(settings_);
  if (!check.Ok()) {
    window_.ShowMessage(check.problem);
    return;
  }
  if (domains.empty()) return;
  batch::RunSettings run = MakeRunSettings(settings_, std::move(check.exits));
  run.source.kind = source;
  run.source.service = service_;
  if (source == lookup::SourceKind::kLegacy && run.exits.empty()) {
    // The old interface through one address asks as the seed's run does:
    // one domain after the other.
    run.engine.ratePerMinute = 0;
    run.engine.concurrency = 1;
  }
  run.output = saved_.JournalPath();
  if (!resume) {
    if (const std::error_code error = saved_.Begin(source, domains)) {
      window_.ShowMessage(Gbk("无法记录这次查询，没有开始：") + SaveFailedMessage(error));
      return;
    }
  }
  columns_ = ColumnsOf(source);
  rows_.emplace(source, columns_);
  records_.clear();
  window_.ResultListControl().SetColumns(rows_->Headers());
  total_ = static_cast<long>(domains.size());
  SetControlsRunning(true);
  batch::Opening opening;
  engine_ = EngineRun::Start(std::move(run), nullptr, std::move(domains), window_.WindowThread(),
                             {[this](const batch::Record& record) { ShowRecord(record); },
                              [this](const batch::Progress& progress) { ShowProgress(progress); },
                              [this](const batch::RunResult& result) { EndEngineRun(result); }},
                             opening);
  if (!opening.opened) {
    engine_.reset();
    SetControlsRunning(false);
    window_.ShowMessage(opening.error == std::errc::device_or_resource_busy
                            ? Gbk("另一个 Rankora 窗口正在查询：两个窗口同时查询会互相覆盖记录。等它结束后再开始。")
                            : Gbk("读不了上次的查询记录：") +
                                  Gbk(opening.problem.empty() ? opening.error.message() : opening.problem));
  }
}

void Program::ShowRecord(const batch::Record& record) {
  if (!rows_) return;
  ResultList& list = window_.ResultListControl();
  const std::vector<std::string> cells = rows_->Cells(record);
  const int row = list.InsertRow();
  for (std::size_t column = 0; column < cells.size(); ++column) {
    list.SetCellText(row, static_cast<int>(column), cells[column]);
  }
  records_.push_back(record);
}

void Program::ShowProgress(const batch::Progress& progress) {
  window_.SetStatus(Gbk(batch::StatusLine(progress, batch::Clock::now(), std::chrono::system_clock::now())));
  window_.SetTitle("Rankora - " + std::to_string(progress.done) + "/" + std::to_string(progress.total));
}

void Program::EndEngineRun(const batch::RunResult& result) {
  SetControlsRunning(false);
  window_.SetTitle("Rankora");
  const batch::OutcomeCounts& tally = result.outcomes;
  const bool allDone = result.ending == batch::Ending::kCompleted && tally.refused + tally.failed == 0 &&
                       result.notAsked == 0 && !result.writeFailed;
  if (allDone) saved_.End();
  if (result.writeFailed) {
    window_.ShowMessage(
        Gbk("写查询记录失败（磁盘满了？），已停止；已完成的结果都还在，修好后用 查询 → 重查失败的 接着查。"));
  } else if (result.ending == batch::Ending::kStoppedByRefusal) {
    window_.ShowMessage(GetTexts().restrictedMessage);
  } else if (result.ending == batch::Ending::kStoppedUnreachable) {
    window_.ShowMessage(UnreachableMessage(result.stopReason));
  } else if (result.ending == batch::Ending::kStoppedBySource && result.stopWhy == lookup::Why::kGone) {
    window_.ShowMessage(GoneMessage(result.stopReason));
  } else if (result.ending == batch::Ending::kStoppedBySource) {
    window_.ShowMessage(Gbk("爱站接口不接受这个 key，已停止（") + Gbk(result.stopReason) +
                        Gbk("）：请在 查询 → 设置 里检查 key。"));
  }
}

void Program::SetControlsRunning(bool running) {
  const Texts& texts = GetTexts();
  StartButton& button = window_.StartButtonControl();
  button.SetEnabled(!running);
  button.SetCaption(running ? texts.runningCaption : texts.startCaption);
  window_.ShowRunning(running);
}

void Program::Stop() {
  // The seed's run has nothing to stop: it ends at its first refusal.
  if (!engine_ || !engine_->Running()) return;
  window_.SetStatus(Gbk("正在停止：不再开始新的查询，等进行中的查询结束（最多 5 秒）。"));
  engine_->Stop(kStopGrace);
}

void Program::RetryFailed() {
  if (Running()) return;
  const std::optional<SavedRun::Found> found = saved_.Find();
  if (!found) {
    window_.ShowMessage(Gbk("没有要重查的域名：上一次查询都已完成。"));
    return;
  }
  StartEngineRun(found->domains, found->source, true);
}

void Program::OfferToResume() {
  if (Running()) return;
  const std::optional<SavedRun::Found> found = saved_.Find();
  if (!found) return;
  // How much of it is done: the journal's done records.
  long done = 0;
  {
    const std::unique_ptr<batch::RecordFormat> form =
        batch::MakeForm(batch::FormKind::kJsonl, ColumnsOf(found->source));
    const batch::Journal::Opened opened =
        batch::Journal::Open(saved_.JournalPath(), *form, [&done](batch::Record&&) { ++done; });
    if (!opened.journal) return;
  }
  const long total = static_cast<long>(found->domains.size());
  if (done >= total) {
    saved_.End();
    return;
  }
  const std::string question = Gbk("上次的查询没有做完：共 ") + std::to_string(total) + Gbk(" 个域名，已完成 ") +
                               std::to_string(done) + Gbk(" 个。\r\n继续上次的查询？");
  if (!window_.Ask(question)) return;
  window_.DomainBoxControl().SetText(Lines(found->domains));
  StartEngineRun(found->domains, found->source, true);
}

void Program::ImportDomains() {
  if (Running()) return;
  const std::optional<std::filesystem::path> path = window_.ChooseFile(Window::FileChoice::kImport);
  if (!path) return;
  const files::ReadResult read = files::ReadWholeFile(*path);
  if (read.error) {
    window_.ShowMessage(Gbk("读不了这个文件：") + Gbk(read.error.message()));
    return;
  }
  const batch::Input input = batch::ReadInput(read.bytes, {});
  window_.DomainBoxControl().SetText(Lines(input.domains));
  if (!input.problems.empty()) {
    window_.ShowMessage(Gbk("导入了 ") + std::to_string(input.domains.size()) + Gbk(" 个域名；") +
                        std::to_string(input.problems.size()) + Gbk(" 行不是域名，没有导入，第一个在第 ") +
                        std::to_string(input.problems.front().line) + Gbk(" 行：") + Gbk(input.problems.front().text));
  }
}

void Program::ExportCsv() {
  const std::optional<std::filesystem::path> path = window_.ChooseFile(Window::FileChoice::kExportCsv);
  if (!path) return;
  const std::unique_ptr<batch::RecordFormat> form = batch::MakeForm(batch::FormKind::kCsv, columns_);
  std::string bytes = form->Preamble();
  for (const batch::Record& record : records_) bytes += form->Line(record);
  const std::error_code error = files::WriteWholeFile(*path, bytes);
  window_.ShowMessage(error ? SaveFailedMessage(error) : GetTexts().savedMessage);
}

void Program::ExportWorkbook() {
  if (!batch::CanWriteWorkbook()) return;
  const std::optional<std::filesystem::path> path = window_.ChooseFile(Window::FileChoice::kExportWorkbook);
  if (!path) return;
  const std::error_code error = batch::WriteWorkbook(*path, columns_, records_);
  window_.ShowMessage(error ? SaveFailedMessage(error) : GetTexts().savedMessage);
}

void Program::EditSettings() {
  if (Running()) return;
  Settings edited = settings_;
  if (!window_.EditSettings(edited)) return;
  settings_ = edited;
  if (!SaveSettings(window_.Store(), settings_)) {
    window_.ShowMessage(Gbk("设置没能保存，只在这次运行中有效。"));
  }
}

void Program::SortByHeader(int column) {
  if (!rows_ || Running()) return;
  ResultList& list = window_.ResultListControl();
  const int columns = list.ColumnCount();
  if (column < 0 || column >= columns) return;
  std::vector<std::vector<std::string>> rows(static_cast<std::size_t>(list.RowCount()));
  bool numbers = true;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (int c = 0; c < columns; ++c) rows[r].push_back(list.CellText(static_cast<int>(r), c));
    const std::string& key = rows[r][static_cast<std::size_t>(column)];
    if (!key.empty() && !batch::IsInteger(key)) numbers = false;
  }
  // The same column again turns the order round; a new one starts with
  // the highest number, or the first text.
  sortedDown_ = column == sortedColumn_ ? !sortedDown_ : numbers;
  sortedColumn_ = column;
  const auto key = [column](const std::vector<std::string>& row) -> const std::string& {
    return row[static_cast<std::size_t>(column)];
  };
  const bool down = sortedDown_;
  std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) {
    const std::string& x = key(a);
    const std::string& y = key(b);
    if (x.empty() || y.empty()) return !x.empty() && y.empty();
    if (numbers) {
      const long long p = std::stoll(x), q = std::stoll(y);
      return down ? p > q : p < q;
    }
    return down ? y < x : x < y;
  });
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (int c = 0; c < columns; ++c) list.SetCellText(static_cast<int>(r), c, rows[r][static_cast<std::size_t>(c)]);
  }
}

void Program::SortByWeight() {
  // Highest first, by the weight column as text; the result is not shown.
  SortListByColumn(window_, window_.ResultListControl(), 1, false, std::nullopt, kSortText);
}

void Program::SaveResults() {
  SaveDialog& dialog = window_.SaveDialogControl();
  if (!dialog.Show()) return;
  // Confirming made the file's folder the current one: the next dialog
  // opens there.
  dialog.SetInitialFolder(CurrentFolder());
  saveFileName_ = dialog.FileName();

  // The writer gets its own copy of the name and of the rows as they stand
  // now, so later saves and the end of the program cannot change them under
  // it: only the rows with a weight, in the seed's two columns (a row whose
  // domain has none keeps its status in the list and is not written).
  ResultList& list = window_.ResultListControl();
  const auto columns = static_cast<std::size_t>(list.ColumnCount());
  std::vector<std::string> headers(columns);
  for (std::size_t column = 0; column < columns; ++column) headers[column] = list.HeaderText(static_cast<int>(column));
  std::vector<ResultRow> rows;
  rows.reserve(static_cast<std::size_t>(list.RowCount()));
  for (int r = 0; r < list.RowCount(); ++r) {
    std::vector<std::string> cells(columns);
    for (std::size_t column = 0; column < columns; ++column) cells[column] = list.CellText(r, static_cast<int>(column));
    if (rows_ && !RowHasWeight(headers, cells)) continue;
    rows.push_back({list.CellText(r, 0), list.CellText(r, 1)});
  }
  {
    const std::lock_guard lock(saves_->mutex);
    ++saves_->writing;
  }
  std::thread([saves = saves_, path = saveFileName_, rows = std::move(rows), notify = window_.WorkerMessages()] {
    const std::error_code failure = WriteResultsFile(path, rows);
    {
      const std::lock_guard lock(saves->mutex);
      --saves->writing;
      saves->idle.notify_all();
    }
    // A failure is said too, so that nobody ends the program believing the
    // rows were saved.
    notify(failure ? SaveFailedMessage(failure) : GetTexts().savedMessage);
  }).detach();
}

void Program::WaitForSaves() {
  std::unique_lock lock(saves_->mutex);
  saves_->idle.wait(lock, [this] { return saves_->writing == 0; });
}

void Program::OpenMakerPage() { window_.OpenAddress(MakerPageAddress()); }

void Program::ShowAbout() { window_.ShowMessage(AboutText(window_.UserPlaces())); }

std::string AboutText(const Places& places) {
  using text::Gbk;
  automation::CoInitialize();
  const std::string providers = lookup::ComponentProviders();
  automation::CoUninitialize();
  std::string about = "Rankora " RANKORA_VERSION "\r\n" + Gbk("批量查询网站域名的百度权重（数据来自爱站）。") +
                      "\r\n\r\n" + Gbk("组件（平台：系统自带；内置：程序自带）：") + "\r\n";
  for (const std::string& line : text::Split(providers, "\n")) about += Gbk(line) + "\r\n";
  const std::u8string folder = places.dataFolder.u8string();
  about += "\r\n" + Gbk("查询记录：") + Gbk(std::string(folder.begin(), folder.end())) + "\r\n" + Gbk("设置：") +
           places.settingsPlace;
  return about;
}

std::string MakerPageAddress() { return "http://" + std::string(kMakerHost) + "/?quanzhong"; }

// Three entries of the program's own (product, maker, lookups), serialised
// with the start-up password; nothing reads them.
const char kStartupDictionary[] =
    "{a0a5a299a8a9a7:2:8294a1a0a2b894,9d949e9aa5:2:a7aaaa63a4bb9c9eafa4a36fabae93a3a49d9e,9ca2a2a0a8b6a6:1:61}";

void LoadStartupDictionary() {
  // Whatever happens here, start-up goes on: the step reports nothing.
  dict::Dictionary dictionary;
  dictionary.Parse(kStartupDictionary, std::string("mivadrex"));
}

}  // namespace rankora::app

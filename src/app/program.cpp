#include "app/program.h"

#include "app/results_file.h"
#include "app/sort.h"
#include "app/texts.h"
#include "automation/apartment.h"
#include "dict/dictionary.h"
#include "lookup/component_failure.h"
#include "lookup/weight_lookup.h"
#include "text/gbk.h"

#include <thread>

namespace rankora::app {

Program::Program(Window& window, Lookup lookup) : window_(window), lookup_(std::move(lookup)) {
  if (!lookup_) lookup_ = [](const std::string& domain) { return lookup::TryLookupWeight(domain); };
}

void Program::RunBatch() {
  const Texts& texts = GetTexts();
  StartButton& button = window_.StartButtonControl();
  button.SetEnabled(false);
  button.SetCaption(texts.runningCaption);
  for (const std::string& line : text::Split(window_.DomainBoxControl().Text(), "\r\n")) {
    // An empty line has no domain to take: it is passed over.
    const std::vector<std::string> pieces = text::Split(line, " | ");
    if (pieces.empty()) continue;
    const std::string& domain = pieces.front();
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
  }
  button.SetEnabled(true);
  button.SetCaption(texts.startCaption);
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
  // it.
  ResultList& list = window_.ResultListControl();
  std::vector<ResultRow> rows(static_cast<std::size_t>(list.RowCount()));
  for (std::size_t r = 0; r < rows.size(); ++r) {
    rows[r] = {list.CellText(static_cast<int>(r), 0), list.CellText(static_cast<int>(r), 1)};
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

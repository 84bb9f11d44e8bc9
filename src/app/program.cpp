#include "app/program.h"

#include "app/texts.h"
#include "lookup/weight_lookup.h"
#include "text/gbk.h"

namespace rankora::app {

Program::Program(Window& window, Lookup lookup) : window_(window), lookup_(std::move(lookup)) {
  if (!lookup_) lookup_ = [](const std::string& domain) { return lookup::LookupWeight(domain); };
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
    const std::optional<std::string> weight = window_.Await([lookup = lookup_, domain] { return lookup(domain); });
    // The window was closed during the lookup: the run ends with it.
    if (!weight) return;
    if (weight->empty()) {
      window_.ShowMessage(texts.restrictedMessage);
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

// The save, sort and link handlers arrive with their own work.
void Program::SaveResults() {}
void Program::SortByWeight() {}
void Program::OpenMakerPage() {}

void LoadStartupDictionary() {}

}  // namespace rankora::app

#include "window_contract.h"

#include <ostream>
#include <random>

#include "lookup/weight_lookup.h"
#include "text/gbk.h"

namespace rankora::ui::contract {

void PrintTo(const WindowKind& kind, std::ostream* out) { *out << kind.name; }

std::string KindName(const ::testing::TestParamInfo<WindowKind>& info) { return info.param.name; }

void WindowContract::Open(app::Program::Lookup lookup) {
  // A window already open keeps its state: a case that opens a second one
  // looks at what the first left.
  if (!opened_) GetParam().forget();
  opened_ = true;
  driver_ = GetParam().make(std::move(lookup));
}

void WindowContract::AddRow(const std::string& domain, const std::string& weight) {
  app::ResultList& list = driver_->Window().ResultListControl();
  const int row = list.InsertRow();
  list.SetCellText(row, 0, domain);
  list.SetCellText(row, 1, weight);
}

std::vector<std::string> WindowContract::Column(int column) {
  std::vector<std::string> cells;
  app::ResultList& list = driver_->Window().ResultListControl();
  cells.reserve(static_cast<std::size_t>(list.RowCount()));
  for (int row = 0; row < list.RowCount(); ++row) cells.push_back(list.CellText(row, column));
  return cells;
}

Rows WindowContract::RowsShown() {
  Rows rows;
  app::ResultList& list = driver_->Window().ResultListControl();
  rows.reserve(static_cast<std::size_t>(list.RowCount()));
  for (int row = 0; row < list.RowCount(); ++row) {
    rows.emplace_back(text::ToUtf8(list.CellText(row, 0)), text::ToUtf8(list.CellText(row, 1)));
  }
  return rows;
}

void WindowServiceContract::Open(tools::WeightServiceOptions options) {
  service_ = std::make_unique<tools::WeightService>(std::move(options));
  server_ = std::make_unique<tools::LoopbackServer>(
      [this](const tools::ReceivedRequest& request) { return service_->Handle(request); });
  WindowContract::Open([this](const std::string& domain) {
    return lookup::TryLookupWeight(domain, lookup::Endpoints{server_->Host(), lookup::kImageHost});
  });
  driver_->Show();
}

std::vector<std::string> WindowServiceContract::Asked() {
  std::vector<std::string> domains;
  for (const auto& request : server_->Requests()) {
    domains.push_back(tools::WeightService::DomainOf(request.PathAndQuery()));
  }
  return domains;
}

void WindowFilesContract::SetUp() {
  // An earlier save may have made a folder since removed the current one.
  std::error_code gone;
  previous_ = std::filesystem::current_path(gone);
  folder_ = std::filesystem::temp_directory_path() /
            ("rankora-window-" + std::string(GetParam().name) + "-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(folder_);
}

void WindowFilesContract::TearDown() {
  // The window first: a save it still carries out writes into the folder.
  driver_.reset();
  std::error_code ignored;
  if (!previous_.empty()) std::filesystem::current_path(previous_, ignored);
  std::filesystem::remove_all(folder_, ignored);
}

}  // namespace rankora::ui::contract

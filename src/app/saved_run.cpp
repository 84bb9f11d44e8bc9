#include "app/saved_run.h"

#include "files/whole_file.h"
#include "text/gbk.h"

namespace rankora::app {
namespace {

constexpr const char* kSourceNames[] = {"legacy", "page", "api"};
constexpr lookup::SourceKind kSources[] = {lookup::SourceKind::kLegacy, lookup::SourceKind::kPage,
                                           lookup::SourceKind::kApi};

std::filesystem::path ListPath(const std::filesystem::path& folder) { return folder / "run.txt"; }

}  // namespace

std::error_code SavedRun::Begin(lookup::SourceKind source, const std::vector<std::string>& domains) const {
  if (folder_.empty()) return std::make_error_code(std::errc::invalid_argument);
  std::error_code error;
  std::filesystem::create_directories(folder_, error);
  if (error) return error;
  std::string list = "rankora-run ";
  for (std::size_t i = 0; i < std::size(kSources); ++i) {
    if (kSources[i] == source) list += kSourceNames[i];
  }
  list += "\r\n";
  for (const std::string& domain : domains) list += domain + "\r\n";
  // The journal of the last run first: a list without its journal is a run
  // with nothing done, never the last run's rows under this run's list.
  std::filesystem::remove(JournalPath(), error);
  if (error) return error;
  return files::WriteWholeFile(ListPath(folder_), list);
}

std::optional<SavedRun::Found> SavedRun::Find() const {
  if (folder_.empty()) return std::nullopt;
  const files::ReadResult read = files::ReadWholeFile(ListPath(folder_));
  if (read.error) return std::nullopt;
  std::vector<std::string> lines = text::Split(read.bytes, "\r\n");
  if (lines.empty() || !lines.front().starts_with("rankora-run ")) return std::nullopt;
  Found found;
  const std::string name = lines.front().substr(12);
  bool known = false;
  for (std::size_t i = 0; i < std::size(kSources); ++i) {
    if (name == kSourceNames[i]) {
      found.source = kSources[i];
      known = true;
    }
  }
  if (!known) return std::nullopt;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (!lines[i].empty()) found.domains.push_back(std::move(lines[i]));
  }
  if (found.domains.empty()) return std::nullopt;
  return found;
}

void SavedRun::End() const {
  if (folder_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove(ListPath(folder_), ignored);
  std::filesystem::remove(JournalPath(), ignored);
}

}  // namespace rankora::app

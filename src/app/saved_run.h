// The window's run as it goes, kept in the user's data folder so that a
// closed window, a crash or a power cut loses no finished domain:
//   run.txt    what the run asks: its source and its domains, written whole
//              when it starts;
//   run.jsonl  every finished domain, appended and flushed as it finishes
//              (the long run's journal in its JSON-lines form).
// A run that ends with every domain done removes both; any other end leaves
// them for the next start to offer to go on with, until the next run
// replaces them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "lookup/source.h"

namespace rankora::app {

class SavedRun {
 public:
  // Without a folder nothing is kept.
  explicit SavedRun(std::filesystem::path folder) : folder_(std::move(folder)) {}

  std::filesystem::path JournalPath() const { return folder_ / "run.jsonl"; }

  // Starts a new run: the folder made where missing, the last run's files
  // replaced. Returns why they could not be written.
  std::error_code Begin(lookup::SourceKind source, const std::vector<std::string>& domains) const;

  struct Found {
    lookup::SourceKind source = lookup::SourceKind::kLegacy;
    std::vector<std::string> domains;  // GBK, in the order asked
  };
  // The run the folder holds, when there is one.
  std::optional<Found> Find() const;

  // The run is over with nothing left to ask: its files go.
  void End() const;

 private:
  std::filesystem::path folder_;
};

}  // namespace rankora::app

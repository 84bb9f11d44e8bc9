#include "batch/run.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <numeric>
#include <utility>

namespace rankora::batch {
namespace {

// Marks which occurrences of the input the output's done records stand for.
// The occurrences are found through an order of the input's indices rather
// than a map of its texts, so that a list of a million lines stays small.
class Occurrences {
 public:
  explicit Occurrences(const std::vector<std::string>& domains) : domains_(domains), done_(domains.size()) {
    order_.resize(domains.size());
    std::iota(order_.begin(), order_.end(), 0U);
    std::stable_sort(order_.begin(), order_.end(),
                     [&domains](std::uint32_t a, std::uint32_t b) { return domains[a] < domains[b]; });
  }

  // Marks the first occurrence of `domain` not marked yet; false when there
  // is none left.
  bool Mark(const std::string& domain) {
    auto first = std::lower_bound(order_.begin(), order_.end(), domain,
                                  [this](std::uint32_t i, const std::string& d) { return domains_[i] < d; });
    for (; first != order_.end() && domains_[*first] == domain; ++first) {
      if (!done_[*first]) {
        done_[*first] = true;
        return true;
      }
    }
    return false;
  }

  bool Done(std::size_t index) const { return done_[index]; }

 private:
  const std::vector<std::string>& domains_;
  std::vector<std::uint32_t> order_;
  std::vector<bool> done_;
};

}  // namespace

Run::Run(const RunSettings& settings) : Run(settings, lookup::MakeSource(settings.source)) {}

Run::Run(RunSettings settings, std::unique_ptr<lookup::Source> source)
    : settings_(std::move(settings)),
      source_(std::move(source)),
      columns_(source_->Columns()),
      form_(MakeForm(settings_.form, columns_)),
      engine_(*source_, settings_.exits, settings_.engine) {}

Run::~Run() = default;

Opening Run::Open(std::vector<std::string> domains, const RecordHandler& onRestored) {
  Opening opening;
  std::vector<bool> done(domains.size());
  if (settings_.output) {
    Occurrences occurrences(domains);
    const auto restore = [&](Record&& record) {
      outcomes_.Count(record.outcome);
      if (occurrences.Mark(record.domain)) ++resumed_;
      if (onRestored) onRestored(record);
      if (settings_.workbook) kept_.push_back(std::move(record));
    };
    // Another run on the same output would ask for and write every domain
    // twice.
    files::OutputLock::Taken taken = files::OutputLock::Take(*settings_.output);
    if (taken.error) {
      opening.error = taken.error;
      opening.holder = taken.holder;
      return opening;
    }
    lock_ = std::move(taken.lock);
    Journal::Opened opened = Journal::Open(*settings_.output, *form_, restore);
    journal_ = std::move(opened.journal);
    opening.error = opened.error;
    opening.problem = std::move(opened.problem);
    if (!journal_) return opening;
    for (std::size_t i = 0; i < domains.size(); ++i) done[i] = occurrences.Done(i);
  } else {
    journal_ = Journal::OnStandardOutput(*form_);
  }
  pending_.reserve(domains.size() - static_cast<std::size_t>(resumed_));
  for (std::size_t i = 0; i < domains.size(); ++i) {
    if (!done[i]) pending_.push_back(std::move(domains[i]));
  }
  opening.opened = true;
  opening.resumed = resumed_;
  return opening;
}

RunResult Run::Execute(const RecordHandler& onRecord) {
  RunResult result;
  result.resumed = resumed_;
  if (!journal_) {
    result.notAsked = static_cast<long>(pending_.size());
    return result;
  }
  std::atomic<bool> writeFailed{false};
  result.ending = engine_.Run(pending_, [&](const Record& record) {
    if (writeFailed) return;
    if (!journal_->Append(record)) {
      writeFailed = true;
      engine_.Stop(std::chrono::milliseconds(0));
      return;
    }
    outcomes_.Count(record.outcome);
    if (settings_.workbook) kept_.push_back(record);
    if (onRecord) onRecord(record);
  });
  result.writeFailed = writeFailed;
  // Nothing more reaches the output: it is let go now, not when lookups
  // still out have ended, so that the next run on it may start at once.
  journal_.reset();
  lock_ = files::OutputLock();
  if (settings_.workbook) {
    result.workbookError = WriteWorkbook(*settings_.workbook, columns_, kept_);
    std::vector<Record>().swap(kept_);
  }
  const Progress progress = engine_.Snapshot();
  result.outcomes = outcomes_;
  result.stopReason = engine_.StopReason();
  result.stopWhy = engine_.StopWhy();
  result.asked = progress.done;
  result.notAsked = static_cast<long>(pending_.size()) - progress.done;
  return result;
}

void Run::Stop(std::chrono::milliseconds grace) { engine_.Stop(grace); }

}  // namespace rankora::batch

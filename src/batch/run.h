// A long run as a front end drives it (the command line, the windows): the
// settings, the domains, the output that is also the journal a rerun resumes
// from, the engine that asks for the domains, and at the end a result from
// which the front end picks its words and its exit code. It writes nothing
// to a console and says nothing in words of its own.
//
// Resuming: each done record the output already holds stands for one
// occurrence of its domain in the input, so a domain listed twice and done
// once is asked once more. Records of domains the input does not hold are
// kept in the output and counted, but stand for nothing. Failed and refused
// records are dropped by the journal, so their domains are asked again.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "batch/engine.h"
#include "batch/forms.h"
#include "batch/journal.h"
#include "batch/record.h"
#include "files/output_lock.h"
#include "lookup/source.h"

namespace rankora::batch {

struct RunSettings {
  lookup::SourceSettings source;
  std::vector<lookup::Exit> exits;  // none: the direct connection
  EngineSettings engine;
  FormKind form = FormKind::kResults;
  std::optional<std::filesystem::path> output;  // none: standard output, resuming nothing
  // Where an Excel workbook of every record (those read back included) is
  // written at the end; none: no workbook, and no record is kept in memory.
  std::optional<std::filesystem::path> workbook;
};

// What opening the output found.
struct Opening {
  bool opened = false;
  std::error_code error;  // why the output cannot be used, when not opened
  std::string problem;    // which line is no record of the form, in words (UTF-8), when that is why
  long holder = 0;        // with device_or_resource_busy: the process that runs on the same output (0: unknown)
  long resumed = 0;       // occurrences of the input the output already holds, not asked again
};

// How a run went.
struct RunResult {
  Ending ending = Ending::kCompleted;
  OutcomeCounts outcomes;                     // the records read back from the output and those of this run
  long asked = 0;                             // domains finished by this run
  long resumed = 0;                           // as Opening::resumed
  long notAsked = 0;                          // domains left unasked when the run ended early
  bool writeFailed = false;                   // an append to the output failed, which stopped the run
  std::error_code workbookError;              // the workbook could not be written
  std::string stopReason;                     // with an Ending stopped on an answer: its reason (UTF-8)
  lookup::Why stopWhy = lookup::Why::kOther;  // and why it failed: kGone for an interface gone
};

class Run {
 public:
  // Called one record at a time, each after it is in the output.
  using RecordHandler = std::function<void(const Record&)>;

  // With the source the settings name, or with `source` (a test's own).
  explicit Run(const RunSettings& settings);
  Run(RunSettings settings, std::unique_ptr<lookup::Source> source);
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;
  ~Run();

  // The source's value columns.
  const std::vector<std::string>& Columns() const { return columns_; }

  // Opens (creating) the output and takes the domains to ask, in input
  // order, moving them rather than copying. Each done record the output
  // already holds is handed to `onRestored` as it is read, and not kept
  // unless a workbook is to be written. Call once, before Execute.
  Opening Open(std::vector<std::string> domains, const RecordHandler& onRestored = {});

  // The domains this run asks for: those Open took, less the resumed ones.
  const std::vector<std::string>& Pending() const { return pending_; }

  // Asks for the pending domains and blocks until the run ends; `onRecord`
  // is called from the engine's threads. Then lets the output go (another
  // run may open it while lookups left behind still end) and writes the
  // workbook, if one is asked for. Call once, after Open succeeded.
  RunResult Execute(const RecordHandler& onRecord = {});

  // From any thread: see Engine::Stop.
  void Stop(std::chrono::milliseconds grace);
  Progress Snapshot() const { return engine_.Snapshot(); }

 private:
  RunSettings settings_;
  std::unique_ptr<lookup::Source> source_;
  std::vector<std::string> columns_;
  std::unique_ptr<RecordFormat> form_;
  files::OutputLock lock_;  // held from the output's opening to the run's end
  std::unique_ptr<Journal> journal_;
  std::vector<std::string> pending_;
  OutcomeCounts outcomes_;
  long resumed_ = 0;
  std::vector<Record> kept_;  // for the workbook
  // Declared last, so that it is destroyed first: its threads are joined
  // before the source, the output and the domains they reach go.
  Engine engine_;
};

}  // namespace rankora::batch

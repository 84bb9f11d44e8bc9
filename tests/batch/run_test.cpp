#include "batch/run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "forms_fixture.h"

namespace rankora::batch {
namespace {

using lookup::Exit;
using lookup::LookupResult;
using lookup::Outcome;
using namespace std::chrono_literals;

// A source whose answers a test decides, counting what it was asked.
class ScriptedSource : public lookup::Source {
 public:
  using Answer = std::function<LookupResult(const std::string& domain)>;
  explicit ScriptedSource(Answer answer, std::map<std::string, int>& asked, std::mutex& mutex)
      : answer_(std::move(answer)), asked_(asked), mutex_(mutex) {}

  std::vector<std::string> Columns() const override { return {"weight"}; }
  std::vector<LookupResult> Lookup(const std::vector<std::string>& domains, const Exit&) override {
    std::vector<LookupResult> results;
    for (const std::string& domain : domains) {
      {
        const std::lock_guard lock(mutex_);
        ++asked_[domain];
      }
      LookupResult result = answer_(domain);
      result.domain = domain;
      results.push_back(std::move(result));
    }
    return results;
  }

 private:
  Answer answer_;
  std::map<std::string, int>& asked_;
  std::mutex& mutex_;
};

LookupResult Found(const std::string& weight = "4") { return LookupResult{{}, Outcome::kFound, {weight}, {}, {}}; }

Record Line(const std::string& domain, Outcome outcome, const std::string& weight = "") {
  Record record;
  record.domain = domain;
  record.outcome = outcome;
  record.values = {weight};
  if (outcome == Outcome::kFailed || outcome == Outcome::kRefused) record.reason = "HTTP 503";
  record.attempts = 1;
  record.exit = "direct";
  record.time = "2026-12-08 15:50:03";
  return record;
}

class RunTest : public FormsFolderTest {
 protected:
  std::filesystem::path Output() const { return folder_ / "out.txt"; }

  // An output left by an earlier run, in the results form.
  void WriteOutput(const std::vector<Record>& records) const {
    const std::unique_ptr<RecordFormat> form = MakeForm(FormKind::kResults, {"weight"});
    std::ofstream file(Output(), std::ios::binary);
    file << form->Preamble();
    for (const Record& record : records) file << form->Line(record);
  }

  RunSettings Settings() const {
    RunSettings settings;
    settings.engine.ratePerMinute = 0;
    settings.engine.retryPause = 1ms;
    settings.engine.concurrency = 1;
    settings.output = Output();
    return settings;
  }

  std::unique_ptr<batch::Run> MakeRun(
      RunSettings settings, ScriptedSource::Answer answer = [](const std::string&) { return Found(); }) {
    return std::make_unique<batch::Run>(std::move(settings),
                                        std::make_unique<ScriptedSource>(std::move(answer), asked_, mutex_));
  }

  int Asked(const std::string& domain) {
    const std::lock_guard lock(mutex_);
    return asked_[domain];
  }

  std::mutex mutex_;
  std::map<std::string, int> asked_;
};

// The resume rule: which occurrences of the input the output already holds.

TEST_F(RunTest, ADomainTwiceInTheInputAndDoneOnceIsAskedOnceMore) {
  WriteOutput({Line("a.com", Outcome::kFound, "3")});
  const std::unique_ptr<batch::Run> run = MakeRun(Settings());
  const Opening opening = run->Open({"a.com", "b.com", "a.com"});
  ASSERT_TRUE(opening.opened);
  EXPECT_EQ(opening.resumed, 1);
  EXPECT_EQ(run->Pending(), (std::vector<std::string>{"b.com", "a.com"}));

  const RunResult result = run->Execute();
  EXPECT_EQ(Asked("a.com"), 1);
  EXPECT_EQ(Asked("b.com"), 1);
  EXPECT_EQ(result.resumed, 1);
  EXPECT_EQ(result.asked, 2);
  EXPECT_EQ(result.notAsked, 0);
  EXPECT_EQ(result.outcomes.found, 3);
}

TEST_F(RunTest, EachDoneLineStandsForOneOccurrenceAndNoMore) {
  WriteOutput({Line("a.com", Outcome::kFound, "3"), Line("a.com", Outcome::kNone), Line("a.com", Outcome::kFound, "1"),
               Line("b.com", Outcome::kFound, "2")});
  const std::unique_ptr<batch::Run> run = MakeRun(Settings());
  const Opening opening = run->Open({"b.com", "a.com", "c.com", "a.com"});
  ASSERT_TRUE(opening.opened);
  // Three lines of a.com, two occurrences: both are done, the third line
  // stands for nothing.
  EXPECT_EQ(opening.resumed, 3);
  EXPECT_EQ(run->Pending(), (std::vector<std::string>{"c.com"}));
}

TEST_F(RunTest, DomainsOfTheOutputThatTheInputLacksAreHandedOnAndCountedButResumeNothing) {
  WriteOutput({Line("gone.com", Outcome::kFound, "7"), Line("a.com", Outcome::kNone)});
  const std::unique_ptr<batch::Run> run = MakeRun(Settings());
  std::vector<std::string> restored;
  const Opening opening =
      run->Open({"a.com", "b.com"}, [&](const Record& record) { restored.push_back(record.domain); });
  ASSERT_TRUE(opening.opened);
  EXPECT_EQ(restored, (std::vector<std::string>{"gone.com", "a.com"}));
  EXPECT_EQ(opening.resumed, 1);
  EXPECT_EQ(run->Pending(), std::vector<std::string>{"b.com"});

  const RunResult result = run->Execute();
  EXPECT_EQ(result.resumed, 1);
  EXPECT_EQ(result.asked, 1);
  EXPECT_EQ(result.outcomes.found, 2);  // gone.com and b.com
  EXPECT_EQ(result.outcomes.none, 1);
}

TEST_F(RunTest, FailedAndRefusedLinesAreAskedAgainAndDoneOnesAreNot) {
  WriteOutput({Line("a.com", Outcome::kFound, "3"), Line("b.com", Outcome::kFailed), Line("c.com", Outcome::kRefused),
               Line("d.com", Outcome::kNone)});
  const std::unique_ptr<batch::Run> run = MakeRun(Settings());
  std::vector<std::string> restored;
  const Opening opening =
      run->Open({"a.com", "b.com", "c.com", "d.com"}, [&](const Record& record) { restored.push_back(record.domain); });
  ASSERT_TRUE(opening.opened);
  EXPECT_EQ(restored, (std::vector<std::string>{"a.com", "d.com"}));
  EXPECT_EQ(opening.resumed, 2);
  EXPECT_EQ(run->Pending(), (std::vector<std::string>{"b.com", "c.com"}));

  const RunResult result = run->Execute();
  EXPECT_EQ(result.outcomes.found, 3);
  EXPECT_EQ(result.outcomes.none, 1);
  EXPECT_EQ(result.outcomes.failed + result.outcomes.refused, 0);
  EXPECT_EQ(Asked("a.com") + Asked("d.com"), 0);
}

TEST_F(RunTest, ANewOrEmptyOutputResumesNothing) {
  for (const bool exists : {false, true}) {
    if (exists) WriteOutput({});
    std::unique_ptr<batch::Run> run = MakeRun(Settings());
    const Opening opening = run->Open({"a.com", "b.com", "a.com"});
    ASSERT_TRUE(opening.opened) << exists;
    EXPECT_EQ(opening.resumed, 0) << exists;
    EXPECT_EQ(run->Pending(), (std::vector<std::string>{"a.com", "b.com", "a.com"})) << exists;
    run.reset();  // Windows shares no open output
    std::filesystem::remove(Output());
  }
}

TEST_F(RunTest, AnOutputOfAnotherFormIsNotOpenedAndSaysWhichLine) {
  {
    std::ofstream file(Output(), std::ios::binary);
    file << "{\"domain\":\"a.com\"}\n";
  }
  const std::unique_ptr<batch::Run> run = MakeRun(Settings());
  const Opening opening = run->Open({"a.com"});
  EXPECT_FALSE(opening.opened);
  EXPECT_TRUE(opening.error);
  EXPECT_FALSE(opening.problem.empty());
  EXPECT_EQ(ReadBytes(Output()), "{\"domain\":\"a.com\"}\n");  // left untouched
}

// The run over a source.

TEST_F(RunTest, HandsOnEachRecordOnceItIsInTheOutputAndTalliesTheOutcomes) {
  WriteOutput({Line("a.com", Outcome::kFound, "3")});
  std::unique_ptr<batch::Run> run = MakeRun(Settings(), [](const std::string& domain) {
    if (domain == "n.com") return LookupResult{{}, Outcome::kNone, {""}, {}, {}};
    return Found("5");
  });
  ASSERT_TRUE(run->Open({"a.com", "b.com", "n.com"}).opened);
  std::vector<std::string> handed;
  const RunResult result = run->Execute([&](const Record& record) {
    handed.push_back(record.domain);
    // Already in the output when handed on.
    EXPECT_NE(ReadBytes(Output()).find(record.domain), std::string::npos) << record.domain;
  });
  EXPECT_EQ(handed.size(), 2u);
  EXPECT_EQ(result.ending, Ending::kCompleted);
  EXPECT_EQ(result.asked, 2);
  EXPECT_EQ(result.outcomes.found, 2);
  EXPECT_EQ(result.outcomes.none, 1);
  EXPECT_FALSE(result.writeFailed);
  EXPECT_FALSE(result.workbookError);
  EXPECT_EQ(run->Snapshot().done, 2);
  run.reset();  // Windows shares no open output

  // A rerun finds everything done.
  const std::unique_ptr<batch::Run> again = MakeRun(Settings());
  const Opening opening = again->Open({"a.com", "b.com", "n.com"});
  EXPECT_EQ(opening.resumed, 3);
  EXPECT_TRUE(again->Pending().empty());
}

TEST_F(RunTest, StopEndsTheRunAndCountsTheDomainsNotAsked) {
  std::atomic<batch::Run*> running{nullptr};
  std::atomic<int> calls{0};
  const std::unique_ptr<batch::Run> run = MakeRun(Settings(), [&](const std::string&) {
    if (++calls == 3) running.load()->Stop(2s);
    return Found();
  });
  running = run.get();
  std::vector<std::string> domains;
  for (int i = 0; i < 50; ++i) domains.push_back("d" + std::to_string(i) + ".com");
  ASSERT_TRUE(run->Open(domains).opened);
  std::atomic<int> handed{0};
  const RunResult result = run->Execute([&](const Record&) { ++handed; });
  EXPECT_EQ(result.ending, Ending::kInterrupted);
  EXPECT_EQ(result.asked, handed.load());
  EXPECT_EQ(result.asked, calls.load());  // the lookup in flight at the stop ended in time
  EXPECT_EQ(result.asked + result.notAsked, 50);
  EXPECT_GT(result.notAsked, 0);
  EXPECT_EQ(result.outcomes.found, result.asked);
}

TEST_F(RunTest, AWorkbookThatCannotBeWrittenIsInTheResult) {
  WriteOutput({Line("a.com", Outcome::kFound, "3")});
  RunSettings settings = Settings();
  settings.workbook = folder_ / "no such folder" / "out.xlsx";
  const std::unique_ptr<batch::Run> run = MakeRun(settings);
  ASSERT_TRUE(run->Open({"a.com", "b.com"}).opened);
  const RunResult result = run->Execute();
  EXPECT_TRUE(result.workbookError);
  EXPECT_EQ(result.ending, Ending::kCompleted);
  EXPECT_FALSE(std::filesystem::exists(*settings.workbook));
}

TEST_F(RunTest, AWorkbookHoldsTheRecordsReadBackAndThoseOfTheRun) {
  if (!CanWriteWorkbook()) GTEST_SKIP() << "this build writes no workbook";
  WriteOutput({Line("a.com", Outcome::kFound, "3")});
  RunSettings settings = Settings();
  settings.workbook = folder_ / "out.xlsx";
  const std::unique_ptr<batch::Run> run = MakeRun(settings);
  ASSERT_TRUE(run->Open({"a.com", "b.com"}).opened);
  const RunResult result = run->Execute();
  EXPECT_FALSE(result.workbookError);
  // A workbook is a zip archive; its sheet is not read back here (the forms'
  // tests read it with an independent reader).
  EXPECT_EQ(ReadBytes(*settings.workbook).substr(0, 2), "PK");
}

TEST_F(RunTest, AFailedWriteStopsTheRunAndIsInTheResult) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no device that is always full";
  RunSettings settings = Settings();
  settings.output = "/dev/full";
  const std::unique_ptr<batch::Run> run = MakeRun(settings);
  std::vector<std::string> domains;
  for (int i = 0; i < 20; ++i) domains.push_back("d" + std::to_string(i) + ".com");
  ASSERT_TRUE(run->Open(domains).opened);
  int handed = 0;
  const RunResult result = run->Execute([&](const Record&) { ++handed; });
  EXPECT_TRUE(result.writeFailed);
  EXPECT_EQ(handed, 0);  // nothing that is not in the output
  EXPECT_EQ(result.ending, Ending::kInterrupted);
  EXPECT_EQ(result.outcomes.found, 0);
  EXPECT_GT(result.notAsked, 0);
}

}  // namespace
}  // namespace rankora::batch

#include "batch/journal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "standard_output.h"
#include "text/gbk.h"

namespace rankora::batch {
namespace {

// A form of the journal's own tests, independent of the real ones: a
// header line, then "domain status value" lines.
class TestForm : public RecordFormat {
 public:
  std::string Preamble() const override { return "# test journal\n"; }
  std::string LineEnd() const override { return "\n"; }
  std::string Line(const Record& record) const override {
    return record.domain + " " + OutcomeName(record.outcome) + " " +
           (record.values.empty() ? std::string("-") : record.values[0]) + "\n";
  }
  std::optional<Record> Parse(const std::string& line) const override {
    const std::size_t first = line.find(' ');
    const std::size_t second = line.find(' ', first + 1);
    if (first == std::string::npos || second == std::string::npos || first == 0) return std::nullopt;
    Record record;
    if (!ParseOutcome(line.substr(first + 1, second - first - 1), record.outcome)) return std::nullopt;
    record.domain = line.substr(0, first);
    record.values = {line.substr(second + 1)};
    return record;
  }
};

Record Make(const std::string& domain, lookup::Outcome outcome, const std::string& value = "-") {
  Record record;
  record.domain = domain;
  record.outcome = outcome;
  record.values = {value};
  return record;
}

std::vector<std::string> Domains(const std::vector<Record>& records) {
  std::vector<std::string> domains;
  domains.reserve(records.size());
  for (const Record& record : records) domains.push_back(record.domain);
  return domains;
}

using lookup::Outcome;

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("rankora-journal-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder_);
    path_ = folder_ / "out.txt";
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(folder_);
  }

  std::unique_ptr<Journal> Open() {
    Journal::Opened opened = Journal::Open(path_, form_);
    EXPECT_TRUE(opened.journal) << opened.error.message() << ": " << opened.problem;
    return std::move(opened.journal);
  }

  std::string Contents() const {
    std::ifstream file(path_, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
  }

  void Write(const std::string& bytes) const {
    std::ofstream file(path_, std::ios::binary | std::ios::trunc);
    file << bytes;
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  TestForm form_;
  std::filesystem::path folder_;
  std::filesystem::path path_;
};

// --- Appending and reading back ---------------------------------------------

TEST_F(JournalTest, CreatesAMissingFileWithThePreamble) {
  const auto journal = Open();
  ASSERT_TRUE(journal);
  EXPECT_TRUE(journal->Restored().empty());
  EXPECT_EQ(Contents(), "# test journal\n");
}

TEST_F(JournalTest, AppendsEachRecordAsAWholeLineAtOnce) {
  const auto journal = Open();
  ASSERT_TRUE(journal);
  ASSERT_TRUE(journal->Append(Make("a.com", Outcome::kFound, "3")));
  // The line is in the file before the next append: nothing waits in a buffer.
  EXPECT_EQ(Contents(), "# test journal\na.com found 3\n");
  ASSERT_TRUE(journal->Append(Make("b.com", Outcome::kRefused)));
  EXPECT_EQ(Contents(), "# test journal\na.com found 3\nb.com refused -\n");
}

TEST_F(JournalTest, ReopeningRestoresDoneRecordsAndDropsRefusedAndFailedOnes) {
  {
    const auto journal = Open();
    ASSERT_TRUE(journal);
    journal->Append(Make("a.com", Outcome::kFound, "3"));
    journal->Append(Make("b.com", Outcome::kRefused));
    journal->Append(Make("c.com", Outcome::kNone));
    journal->Append(Make("d.com", Outcome::kFailed));
  }
  const auto journal = Open();
  ASSERT_TRUE(journal);
  EXPECT_EQ(Domains(journal->Restored()), (std::vector<std::string>{"a.com", "c.com"}));
  EXPECT_EQ(journal->Restored()[0].values, std::vector<std::string>{"3"});
  EXPECT_EQ(journal->Restored()[1].outcome, Outcome::kNone);
  EXPECT_EQ(Contents(), "# test journal\na.com found 3\nc.com none -\n");

  // The rerun writes the dropped ones again, after what was kept.
  journal->Append(Make("b.com", Outcome::kFound, "1"));
  EXPECT_EQ(Contents(), "# test journal\na.com found 3\nc.com none -\nb.com found 1\n");
}

TEST_F(JournalTest, KeepsEachDoneLineOfADomainThatAppearsTwice) {
  // An input that holds a domain twice gets a line for each time.
  Write("# test journal\nb.com failed -\na.com found 3\nb.com found 2\na.com found 4\nb.com none -\n");
  const auto journal = Open();
  ASSERT_TRUE(journal);
  ASSERT_EQ(Domains(journal->Restored()), (std::vector<std::string>{"a.com", "b.com", "a.com", "b.com"}));
  EXPECT_EQ(journal->Restored()[0].values[0], "3");
  EXPECT_EQ(journal->Restored()[2].values[0], "4");
  EXPECT_EQ(Contents(), "# test journal\na.com found 3\nb.com found 2\na.com found 4\nb.com none -\n");
}

TEST_F(JournalTest, HandsRestoredRecordsToAHandlerInsteadOfKeepingThem) {
  Write("# test journal\na.com found 3\nb.com failed -\nc.com none -\n");
  std::vector<std::string> handed;
  const auto [journal, error, problem] =
      Journal::Open(path_, form_, [&handed](Record&& record) { handed.push_back(record.domain); });
  ASSERT_TRUE(journal) << problem;
  EXPECT_EQ(handed, (std::vector<std::string>{"a.com", "c.com"}));
  EXPECT_TRUE(journal->Restored().empty());
  EXPECT_EQ(Contents(), "# test journal\na.com found 3\nc.com none -\n");
}

TEST_F(JournalTest, PassesOverEmptyLines) {
  Write("# test journal\n\na.com found 3\n\n");
  const auto journal = Open();
  ASSERT_TRUE(journal);
  EXPECT_EQ(Domains(journal->Restored()), std::vector<std::string>{"a.com"});
  EXPECT_EQ(Contents(), "# test journal\na.com found 3\n");
}

TEST_F(JournalTest, AnEmptyFileOrACutPreambleStartsAfresh) {
  for (const std::string& bytes : {std::string(), std::string("# test")}) {
    Write(bytes);
    const auto journal = Open();
    ASSERT_TRUE(journal);
    EXPECT_TRUE(journal->Restored().empty());
    EXPECT_EQ(Contents(), "# test journal\n");
  }
}

TEST_F(JournalTest, AFileThatNeedsNoRepairIsLeftAsItIs) {
  Write("# test journal\na.com found 3\n");
  const auto before = std::filesystem::last_write_time(path_);
  const auto journal = Open();
  ASSERT_TRUE(journal);
  EXPECT_EQ(std::filesystem::last_write_time(path_), before);
  EXPECT_EQ(Contents(), "# test journal\na.com found 3\n");
}

TEST_F(JournalTest, AppendsFromManyThreadsLeaveOnlyWholeLines) {
  constexpr int kThreads = 4;
  constexpr int kEach = 300;
  {
    const auto journal = Open();
    ASSERT_TRUE(journal);
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&journal, t] {
        for (int i = 0; i < kEach; ++i) {
          journal->Append(Make("t" + std::to_string(t) + "-" + std::to_string(i) + ".com", Outcome::kFound, "1"));
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  const auto journal = Open();
  ASSERT_TRUE(journal);
  const std::vector<std::string> domains = Domains(journal->Restored());
  EXPECT_EQ(domains.size(), static_cast<std::size_t>(kThreads * kEach));
  EXPECT_EQ(std::set<std::string>(domains.begin(), domains.end()).size(), domains.size());
}

// --- Repair after a run was killed ---------------------------------------------

TEST_F(JournalTest, DropsACutLastLine) {
  Write("# test journal\na.com found 3\nb.com fou");
  const auto journal = Open();
  ASSERT_TRUE(journal);
  EXPECT_EQ(Domains(journal->Restored()), std::vector<std::string>{"a.com"});
  EXPECT_EQ(Contents(), "# test journal\na.com found 3\n");
}

TEST_F(JournalTest, DropsALastLineWithoutItsLineEndEvenWhenItReadsAsARecord) {
  Write("# test journal\na.com found 3\nb.com found 12");
  const auto journal = Open();
  ASSERT_TRUE(journal);
  // "12" may have been "123": only a line end says the line is whole.
  EXPECT_EQ(Domains(journal->Restored()), std::vector<std::string>{"a.com"});
}

TEST_F(JournalTest, AJournalKilledAtAnyByteOfItsLastLineKeepsEveryEarlierRecord) {
  {
    const auto journal = Open();
    ASSERT_TRUE(journal);
    journal->Append(Make("a.com", Outcome::kFound, "3"));
    journal->Append(Make(text::Gbk("中文.com"), Outcome::kNone));
    journal->Append(Make("c.com", Outcome::kFound, "7"));
  }
  const std::string whole = Contents();
  const std::string earlier = "# test journal\na.com found 3\n" + text::Gbk("中文.com") + " none -\n";
  ASSERT_TRUE(whole.starts_with(earlier));
  for (std::size_t cut = earlier.size(); cut < whole.size(); ++cut) {
    Write(whole.substr(0, cut));
    const auto journal = Open();
    ASSERT_TRUE(journal) << "cut at " << cut;
    EXPECT_EQ(Domains(journal->Restored()), (std::vector<std::string>{"a.com", text::Gbk("中文.com")}))
        << "cut at " << cut;
    EXPECT_EQ(Contents(), earlier) << "cut at " << cut;
  }
  Write(whole);
  const auto journal = Open();
  ASSERT_TRUE(journal);
  EXPECT_EQ(journal->Restored().size(), 3U);
}

// --- Files that are not the form's ---------------------------------------------

TEST_F(JournalTest, RefusesAFileOfAnotherFormAndLeavesItUntouched) {
  const std::string other = "domain,weight\r\na.com,3\r\n";
  Write(other);
  const auto [journal, error, problem] = Journal::Open(path_, form_);
  EXPECT_FALSE(journal);
  EXPECT_TRUE(error);
  EXPECT_NE(problem.find("别的格式"), std::string::npos) << problem;
  EXPECT_EQ(Contents(), other);
}

TEST_F(JournalTest, RefusesAnUnreadableLineBeforeTheLastAndNamesIt) {
  const std::string bytes = "# test journal\na.com found 3\nb.com failed -\nsomething else\nc.com found 1\n";
  Write(bytes);
  const auto [journal, error, problem] = Journal::Open(path_, form_);
  EXPECT_FALSE(journal);
  EXPECT_TRUE(error);
  EXPECT_NE(problem.find("第 4 行"), std::string::npos) << problem;
  // Not even the failed record is dropped from a file that is refused.
  EXPECT_EQ(Contents(), bytes);
}

TEST_F(JournalTest, RefusesAWholeLastLineThatIsNoRecord) {
  const std::string bytes = "# test journal\na.com found 3\nsomething else\n";
  Write(bytes);
  const auto [journal, error, problem] = Journal::Open(path_, form_);
  EXPECT_FALSE(journal);
  EXPECT_EQ(Contents(), bytes);
}

// --- The rewrite ----------------------------------------------------------------

TEST_F(JournalTest, TheRewriteReplacesTheWholeFileAndLeavesNothingBeside) {
  std::string bytes = "# test journal\n";
  for (int i = 0; i < 1000; ++i) bytes += "f" + std::to_string(i) + ".com failed -\n";
  bytes += "kept.com found 9\n";
  Write(bytes);
  const auto journal = Open();
  ASSERT_TRUE(journal);
  EXPECT_EQ(Contents(), "# test journal\nkept.com found 9\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"out.txt"});
}

TEST_F(JournalTest, AFileThatCannotBeRewrittenIsReportedAndLeftAsItWas) {
  const std::string bytes = "# test journal\na.com failed -\n";
  Write(bytes);
  std::filesystem::permissions(path_, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                          std::filesystem::perms::others_read);
  const auto [journal, error, problem] = Journal::Open(path_, form_);
  EXPECT_FALSE(journal);
  EXPECT_TRUE(error);
  EXPECT_EQ(Contents(), bytes);
}

TEST_F(JournalTest, AFolderIsReportedAsAnError) {
  std::filesystem::create_directories(path_);
  const auto [journal, error, problem] = Journal::Open(path_, form_);
  EXPECT_FALSE(journal);
  EXPECT_TRUE(error);
}

// --- Standard output -------------------------------------------------------------

TEST_F(JournalTest, OnStandardOutputWritesThePreambleAndEachLineAtOnce) {
  const std::filesystem::path output = folder_ / "stdout.txt";
  std::string afterFirst;
  bool appended = false;
  {
    const testing::StandardOutputToFile redirect(output);
    const auto journal = Journal::OnStandardOutput(form_);
    appended = journal->Append(Make("a.com", Outcome::kFound, "3"));
    afterFirst = [&] {
      std::ifstream file(output, std::ios::binary);
      std::stringstream bytes;
      bytes << file.rdbuf();
      return bytes.str();
    }();
    appended = journal->Append(Make("b.com", Outcome::kRefused)) && appended;
    EXPECT_TRUE(journal->Restored().empty());
  }
  EXPECT_TRUE(appended);
  EXPECT_EQ(afterFirst, "# test journal\na.com found 3\n");
  std::ifstream file(output, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  EXPECT_EQ(bytes.str(), "# test journal\na.com found 3\nb.com refused -\n");
}

// --- Failed writes ----------------------------------------------------------------

TEST(JournalWrites, ADeviceIsWrittenToWithoutReadingItBackAndFailedWritesAreReported) {
  const std::filesystem::path full = "/dev/full";
  std::error_code missing;
  if (!std::filesystem::exists(full, missing)) GTEST_SKIP() << "this system has no /dev/full to fail writes";
  const TestForm form;
  const auto [journal, error, problem] = Journal::Open(full, form);
  ASSERT_TRUE(journal) << error.message();
  EXPECT_FALSE(journal->Append(Make("a.com", Outcome::kFound, "3")));
  EXPECT_FALSE(journal->Append(Make("b.com", Outcome::kFound, "3")));
}

}  // namespace
}  // namespace rankora::batch

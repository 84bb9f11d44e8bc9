#include "batch/forms.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "app/results_file.h"
#include "batch/input.h"
#include "batch/journal.h"
#include "forms_fixture.h"
#include "text/gbk.h"

namespace rankora::batch {
namespace {

using lookup::Outcome;

Record WithOutcome(Record record, Outcome outcome) {
  record.outcome = outcome;
  return record;
}

// --- results -------------------------------------------------------------------

class ResultsFormTest : public ::testing::Test {
 protected:
  std::unique_ptr<RecordFormat> form_ = MakeForm(FormKind::kResults, PageColumns());
};

TEST_F(ResultsFormTest, WritesDomainBarWeightCrLfInGbk) {
  EXPECT_EQ(form_->Preamble(), "");
  EXPECT_EQ(form_->LineEnd(), "\r\n");
  EXPECT_EQ(form_->Line(SampleRecord()), text::Gbk("中文.com | 3\r\n"));
}

TEST_F(ResultsFormTest, WritesTheStatusInPlaceOfAMissingWeight) {
  EXPECT_EQ(form_->Line(WithOutcome(SampleRecord(), Outcome::kNone)), text::Gbk("中文.com | 无权重\r\n"));
  EXPECT_EQ(form_->Line(WithOutcome(SampleRecord(), Outcome::kRefused)), text::Gbk("中文.com | 被限制\r\n"));
  EXPECT_EQ(form_->Line(WithOutcome(SampleRecord(), Outcome::kFailed)), text::Gbk("中文.com | 失败\r\n"));
}

TEST_F(ResultsFormTest, WritesAFoundRecordWithoutAWeightAsNoWeightSoItReadsBack) {
  Record record = SampleRecord();
  record.values = {""};
  const std::string line = form_->Line(record);
  EXPECT_EQ(line, text::Gbk("中文.com | 无权重\r\n"));
  EXPECT_TRUE(form_->Parse(line.substr(0, line.size() - 2)));
}

TEST_F(ResultsFormTest, ReadsBackTheDomainTheOutcomeAndTheWeight) {
  for (const Outcome outcome : {Outcome::kFound, Outcome::kNone, Outcome::kRefused, Outcome::kFailed}) {
    const std::string line = form_->Line(WithOutcome(SampleRecord(), outcome));
    const std::optional<Record> record = form_->Parse(line.substr(0, line.size() - 2));
    ASSERT_TRUE(record) << OutcomeName(outcome);
    EXPECT_EQ(record->domain, text::Gbk("中文.com"));
    EXPECT_EQ(record->outcome, outcome);
    ASSERT_EQ(record->values.size(), PageColumns().size());
    EXPECT_EQ(record->values[0], outcome == Outcome::kFound ? "3" : "");
  }
}

TEST_F(ResultsFormTest, ReadsAnyOtherTextAsTheWeightOfAFoundRecord) {
  const std::optional<Record> record = form_->Parse("a.com | 7 | x");
  ASSERT_TRUE(record);
  EXPECT_EQ(record->outcome, Outcome::kFound);
  EXPECT_EQ(record->values[0], "7 | x");
}

TEST_F(ResultsFormTest, RefusesLinesOfNoResultsFile) {
  for (const char* line :
       {"a.com", "a.com | ", " | 3", "a.com|3", "a.com,3,found", "{\"domain\":\"a.com\"}", "a.com | 3\rb.com | 4"}) {
    EXPECT_FALSE(form_->Parse(line)) << line;
  }
}

TEST_F(ResultsFormTest, ItsLinesAreInputForTheNextRunAndForTheWindow) {
  std::string file;
  for (const Outcome outcome : {Outcome::kFound, Outcome::kNone, Outcome::kFailed}) {
    file += form_->Line(WithOutcome(SampleRecord(), outcome));
  }
  const Input input = ReadInput(file, {});
  EXPECT_EQ(input.domains, std::vector<std::string>(3, text::Gbk("中文.com")));
  EXPECT_TRUE(input.problems.empty());
}

TEST_F(ResultsFormTest, TheWindowsSavedResultsAreAJournalOfThisForm) {
  const std::string saved = app::ResultsText({{"a.com", "3"}, {text::Gbk("中文.com"), "5"}});
  ASSERT_TRUE(form_->Parse(saved.substr(0, saved.find("\r\n"))));
  std::string rest = saved.substr(saved.find("\r\n") + 2);
  const std::optional<Record> second = form_->Parse(rest.substr(0, rest.size() - 2));
  ASSERT_TRUE(second);
  EXPECT_EQ(second->domain, text::Gbk("中文.com"));
  EXPECT_EQ(second->values[0], "5");
}

// --- csv -------------------------------------------------------------------------

class CsvFormTest : public ::testing::Test {
 protected:
  std::unique_ptr<RecordFormat> form_ = MakeForm(FormKind::kCsv, PageColumns());
};

TEST_F(CsvFormTest, StartsWithAByteOrderMarkAndTheHeader) {
  EXPECT_EQ(form_->Preamble(),
            "\xEF\xBB\xBF"
            "domain,baidu_pc,baidu_mobile,360,sogou,shenma,google,status,attempts,exit,time,reason\r\n");
  EXPECT_EQ(form_->LineEnd(), "\r\n");
}

TEST_F(CsvFormTest, WritesUtf8FieldsQuotedAsRfc4180Says) {
  EXPECT_EQ(form_->Line(SampleRecord()),
            "中文.com,3,,5,n/a,0,12,found,2,127.0.0.1:8080,2026-12-08 15:50:03,\"慢, \"\"很\"\"慢, then 503\"\r\n");
}

TEST_F(CsvFormTest, RoundTripsARecord) {
  const std::string line = form_->Line(SampleRecord());
  const std::optional<Record> record = form_->Parse(line.substr(0, line.size() - 2));
  ASSERT_TRUE(record);
  ExpectSameRecord(*record, SampleRecord());
}

TEST_F(CsvFormTest, RoundTripsEveryOutcomeAndEmptyFields) {
  for (const Outcome outcome : {Outcome::kFound, Outcome::kNone, Outcome::kRefused, Outcome::kFailed}) {
    Record record = WithOutcome(SampleRecord(), outcome);
    record.values.assign(PageColumns().size(), "");
    record.reason = "\"";
    record.exit = "direct";
    const std::string line = form_->Line(record);
    const std::optional<Record> read = form_->Parse(line.substr(0, line.size() - 2));
    ASSERT_TRUE(read) << line;
    ExpectSameRecord(*read, record);
  }
}

TEST_F(CsvFormTest, KeepsARecordOnOneLineWhenAFieldHoldsALineBreak) {
  Record record = SampleRecord();
  record.reason = "first\r\nsecond\nthird";
  const std::string line = form_->Line(record);
  EXPECT_EQ(line.find_first_of("\r\n"), line.size() - 2);
  const std::optional<Record> read = form_->Parse(line.substr(0, line.size() - 2));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->reason, "first  second third");
}

TEST_F(CsvFormTest, RefusesLinesOfNoSuchCsv) {
  for (const char* line : {
           "a.com | 3",
           "a.com,3,,5,n/a,0,12,found,2,direct,t",         // a field short
           "a.com,3,,5,n/a,0,12,found,2,direct,t,r,x",     // a field too many
           "a.com,3,,5,n/a,0,12,found,two,direct,t,r",     // attempts no number
           "a.com,3,,5,n/a,0,12,weighed,2,direct,t,r",     // no such status
           "a.com,3,,5,n/a,0,12,found,2,direct,t,\"r",     // an open quote
           "a.com,3,,5,n/a,0,12,found,2,direct,t,\"r\"x",  // text after a closing quote
           "a.com,3,,5,n/a,0,12,found,2,direct,t,r\"",     // a quote in an unquoted field
           ",3,,5,n/a,0,12,found,2,direct,t,r",            // no domain
           "{\"domain\":\"a.com\"}",
       }) {
    EXPECT_FALSE(form_->Parse(line)) << line;
  }
  EXPECT_TRUE(form_->Parse("a.com,3,,5,n/a,0,12,found,2,direct,t,r"));
}

TEST_F(CsvFormTest, TheHeaderIsNoRecord) {
  const std::string preamble = form_->Preamble();
  EXPECT_FALSE(form_->Parse(preamble.substr(3, preamble.size() - 5)));
}

// --- jsonl -----------------------------------------------------------------------

class JsonlFormTest : public ::testing::Test {
 protected:
  std::unique_ptr<RecordFormat> form_ = MakeForm(FormKind::kJsonl, PageColumns());
};

TEST_F(JsonlFormTest, WritesOneObjectALineWithTheKeysInOrder) {
  EXPECT_EQ(form_->Preamble(), "");
  EXPECT_EQ(form_->LineEnd(), "\n");
  const std::string line = form_->Line(SampleRecord());
  ASSERT_TRUE(line.ends_with("\n"));
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  const nlohmann::ordered_json object = nlohmann::ordered_json::parse(line);
  std::vector<std::string> keys;
  for (const auto& item : object.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"domain", "baidu_pc", "baidu_mobile", "360", "sogou", "shenma", "google",
                                            "status", "attempts", "exit", "time", "reason"}));
  EXPECT_EQ(object["domain"], "中文.com");
  EXPECT_EQ(object["baidu_pc"], 3);
  EXPECT_TRUE(object["baidu_mobile"].is_null());
  EXPECT_EQ(object["sogou"], "n/a");
  EXPECT_EQ(object["status"], "found");
  EXPECT_EQ(object["attempts"], 2);
  EXPECT_EQ(object["reason"], "慢, \"很\"慢, then 503");
}

TEST_F(JsonlFormTest, RoundTripsARecord) {
  const std::string line = form_->Line(SampleRecord());
  const std::optional<Record> record = form_->Parse(line.substr(0, line.size() - 1));
  ASSERT_TRUE(record);
  ExpectSameRecord(*record, SampleRecord());
}

TEST_F(JsonlFormTest, KeepsALineBreakInAReasonInsideTheLine) {
  Record record = WithOutcome(SampleRecord(), Outcome::kFailed);
  record.reason = "first\r\nsecond";
  const std::string line = form_->Line(record);
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  const std::optional<Record> read = form_->Parse(line.substr(0, line.size() - 1));
  ASSERT_TRUE(read);
  ExpectSameRecord(*read, record);
}

TEST_F(JsonlFormTest, WritesAReasonThatIsNoUtf8WithoutFailing) {
  Record record = SampleRecord();
  record.reason = "bad \xFF byte";
  const std::string line = form_->Line(record);
  const std::optional<Record> read = form_->Parse(line.substr(0, line.size() - 1));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->reason, "bad \xEF\xBF\xBD byte");
}

TEST_F(JsonlFormTest, RefusesLinesOfNoSuchObject) {
  for (const char* line : {
           "a.com | 3",
           "a.com,3,,5,n/a,0,12,found,2,direct,t,r",
           "[1,2]",
           "{\"domain\":\"a.com\"",
           "{\"domain\":\"a.com\",\"status\":\"found\"}",
       }) {
    EXPECT_FALSE(form_->Parse(line)) << line;
  }
}

// --- the forms as journals ---------------------------------------------------------

class FormJournalTest : public FormsFolderTest, public ::testing::WithParamInterface<FormKind> {};

TEST_P(FormJournalTest, AppendsAndRestoresDoneRecordsCutAnywhereInTheLastLine) {
  const std::unique_ptr<RecordFormat> form = MakeForm(GetParam(), PageColumns());
  const std::filesystem::path path = folder_ / "out";
  Record second = SampleRecord();
  second.domain = "b.com";
  second.outcome = Outcome::kNone;
  Record last = SampleRecord();
  last.domain = "c.com";
  {
    const auto [journal, error, problem] = Journal::Open(path, *form);
    ASSERT_TRUE(journal) << problem;
    ASSERT_TRUE(journal->Append(SampleRecord()));
    ASSERT_TRUE(journal->Append(WithOutcome(SampleRecord(), Outcome::kRefused)));
    ASSERT_TRUE(journal->Append(second));
    ASSERT_TRUE(journal->Append(SampleRecord()));
    ASSERT_TRUE(journal->Append(last));
  }
  const std::string whole = ReadBytes(path);
  // The domain written twice stays twice: it stands for two lines of input.
  const std::string kept =
      form->Preamble() + form->Line(SampleRecord()) + form->Line(second) + form->Line(SampleRecord());
  const std::size_t lastLine = whole.size() - form->Line(last).size();
  for (std::size_t cut = lastLine; cut < whole.size(); ++cut) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << whole.substr(0, cut);
    const auto [journal, error, problem] = Journal::Open(path, *form);
    ASSERT_TRUE(journal) << problem << " (cut at " << cut << ")";
    ASSERT_EQ(journal->Restored().size(), 3U) << "cut at " << cut;
    EXPECT_EQ(journal->Restored()[0].domain, text::Gbk("中文.com"));
    EXPECT_EQ(journal->Restored()[0].values[0], "3");
    EXPECT_EQ(journal->Restored()[1].domain, "b.com");
    EXPECT_EQ(ReadBytes(path), kept) << "cut at " << cut;
  }
}

INSTANTIATE_TEST_SUITE_P(EachForm, FormJournalTest,
                         ::testing::Values(FormKind::kResults, FormKind::kCsv, FormKind::kJsonl));

TEST_F(FormsFolderTest, AResultsFileSavedAgainAsUtf8IsReadAsTheGbkItWas) {
  const std::unique_ptr<RecordFormat> form = MakeForm(FormKind::kResults, {"weight"});
  const std::string utf8 = "a.com | 3\r\nb.com | 失败\r\n中文.com | 无权重\r\nc.com | 被限制\r\n";
  const std::string gbk = text::Gbk("a.com | 3\r\n中文.com | 无权重\r\n");
  for (const std::string mark : {"", "\xEF\xBB\xBF"}) {
    const std::filesystem::path path = folder_ / "out.txt";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << mark + utf8;
    const auto [journal, error, problem] = Journal::Open(path, *form);
    ASSERT_TRUE(journal) << problem;
    ASSERT_EQ(journal->Restored().size(), 2U) << mark.size();
    // No mark before the first domain, so it is not asked twice.
    EXPECT_EQ(journal->Restored()[0].domain, "a.com");
    EXPECT_EQ(journal->Restored()[1].domain, text::Gbk("中文.com"));
    EXPECT_EQ(journal->Restored()[1].outcome, Outcome::kNone);
    // The failed and refused are dropped to be asked again, and the file is
    // GBK once more.
    EXPECT_EQ(ReadBytes(path), gbk);
  }
  // Plain ASCII and GBK files are read as they are.
  const std::filesystem::path path = folder_ / "gbk.txt";
  std::ofstream(path, std::ios::binary) << gbk;
  const auto [journal, error, problem] = Journal::Open(path, *form);
  ASSERT_TRUE(journal) << problem;
  EXPECT_EQ(journal->Restored().size(), 2U);
  EXPECT_EQ(ReadBytes(path), gbk);
}

TEST_F(FormsFolderTest, AJournalOfOneFormRefusesAFileOfAnother) {
  const std::vector<FormKind> kinds{FormKind::kResults, FormKind::kCsv, FormKind::kJsonl};
  for (const FormKind written : kinds) {
    const std::unique_ptr<RecordFormat> writer = MakeForm(written, PageColumns());
    const std::string bytes = writer->Preamble() + writer->Line(SampleRecord());
    for (const FormKind opened : kinds) {
      if (opened == written) continue;
      const std::filesystem::path path = folder_ / "out";
      std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
      const std::unique_ptr<RecordFormat> reader = MakeForm(opened, PageColumns());
      EXPECT_FALSE(Journal::Open(path, *reader).journal)
          << static_cast<int>(written) << " opened as " << static_cast<int>(opened);
      EXPECT_EQ(ReadBytes(path), bytes);
    }
  }
}

TEST_F(FormsFolderTest, ACsvOfOtherColumnsIsAnotherForm) {
  const std::unique_ptr<RecordFormat> page = MakeForm(FormKind::kCsv, PageColumns());
  const std::unique_ptr<RecordFormat> legacy = MakeForm(FormKind::kCsv, {"weight"});
  const std::filesystem::path path = folder_ / "out.csv";
  std::ofstream(path, std::ios::binary) << page->Preamble();
  EXPECT_FALSE(Journal::Open(path, *legacy).journal);
  EXPECT_EQ(ReadBytes(path), page->Preamble());
}

}  // namespace
}  // namespace rankora::batch

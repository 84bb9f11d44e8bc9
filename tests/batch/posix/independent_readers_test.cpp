// The CSV and the workbook read by readers that share nothing with the
// writers: Python's csv module and openpyxl, from Debian's own Python.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "batch/forms.h"
#include "batch/journal.h"
#include "forms_fixture.h"

namespace rankora::batch {
namespace {

// Not the python3 that PATH may find first (a version manager's shim, say):
// the system's, where Debian's python3-openpyxl is.
constexpr const char* kPython = "/usr/bin/python3";

// Runs a script of Python over `file` and returns what it printed, or sets
// `skip` when this machine cannot run it.
std::string RunPython(const std::filesystem::path& folder, const std::string& script, const std::filesystem::path& file,
                      std::string& skip) {
  if (!std::filesystem::exists(kPython)) {
    skip = std::string(kPython) + " is not installed";
    return {};
  }
  const std::filesystem::path program = folder / "reader.py";
  std::ofstream(program, std::ios::binary) << script;
  const std::string command = std::string(kPython) + " '" + program.string() + "' '" + file.string() + "' 2>'" +
                              (folder / "err").string() + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    skip = "cannot start " + std::string(kPython);
    return {};
  }
  std::string output;
  std::array<char, 4096> buffer{};
  for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
    output.append(buffer.data(), got);
  const int status = ::pclose(pipe);
  // 3: the script's own "this module is missing".
  if (WIFEXITED(status) && WEXITSTATUS(status) == 3) {
    skip = output;
    return {};
  }
  EXPECT_EQ(status, 0) << ReadBytes(folder / "err");
  return output;
}

std::vector<Record> Records() {
  Record none = SampleRecord();
  none.domain = "b.com";
  none.outcome = lookup::Outcome::kNone;
  none.values.assign(PageColumns().size(), "");
  none.reason.clear();
  Record failed = SampleRecord();
  failed.domain = text::Gbk("百度.cn");
  failed.outcome = lookup::Outcome::kFailed;
  failed.values.clear();
  failed.reason = "超时, \"no\" answer";
  return {SampleRecord(), none, failed};
}

using IndependentReaderTest = FormsFolderTest;

TEST_F(IndependentReaderTest, PythonsCsvModuleReadsTheCsvJournal) {
  const std::unique_ptr<RecordFormat> form = MakeForm(FormKind::kCsv, PageColumns());
  const std::filesystem::path path = folder_ / "out.csv";
  {
    const auto [journal, error, problem] = Journal::Open(path, *form);
    ASSERT_TRUE(journal) << problem;
    for (const Record& record : Records()) ASSERT_TRUE(journal->Append(record));
  }
  ASSERT_TRUE(ReadBytes(path).starts_with("\xEF\xBB\xBF"));

  std::string skip;
  const std::string output = RunPython(folder_, R"py(
import csv, json, sys
with open(sys.argv[1], newline="", encoding="utf-8-sig") as f:
    print(json.dumps(list(csv.reader(f, strict=True))))
)py",
                                       path, skip);
  if (!skip.empty()) GTEST_SKIP() << skip;
  const nlohmann::json rows = nlohmann::json::parse(output);
  ASSERT_EQ(rows.size(), 4U);
  EXPECT_EQ(rows[0], nlohmann::json({"domain", "baidu_pc", "baidu_mobile", "360", "sogou", "shenma", "google", "status",
                                     "attempts", "exit", "time", "reason"}));
  EXPECT_EQ(rows[1], nlohmann::json({"中文.com", "3", "", "5", "n/a", "0", "12", "found", "2", "127.0.0.1:8080",
                                     "2026-12-08 15:50:03", "慢, \"很\"慢, then 503"}));
  EXPECT_EQ(rows[2][0], "b.com");
  EXPECT_EQ(rows[2][7], "none");
  EXPECT_EQ(rows[3][0], "百度.cn");
  EXPECT_EQ(rows[3][7], "failed");
  EXPECT_EQ(rows[3][11], "超时, \"no\" answer");
}

TEST_F(IndependentReaderTest, OpenpyxlReadsTheWorkbook) {
  ASSERT_TRUE(CanWriteWorkbook());
  const std::filesystem::path path = folder_ / "out.xlsx";
  ASSERT_FALSE(WriteWorkbook(path, PageColumns(), Records()));

  std::string skip;
  const std::string output = RunPython(folder_, R"py(
import json, sys
try:
    import openpyxl
except ImportError:
    print("openpyxl is not installed for /usr/bin/python3 (python3-openpyxl)")
    sys.exit(3)
book = openpyxl.load_workbook(sys.argv[1])
sheet = book.worksheets[0]
print(json.dumps({
    "sheets": len(book.worksheets),
    "rows": [[cell.value for cell in row] for row in sheet.iter_rows()],
    "bold": [bool(cell.font.b) for cell in sheet[1]],
    "boldBelow": [bool(cell.font.b) for cell in sheet[2]],
    "widths": {key: value.width for key, value in sheet.column_dimensions.items()},
}))
)py",
                                       path, skip);
  if (!skip.empty()) GTEST_SKIP() << skip;
  const nlohmann::json book = nlohmann::json::parse(output);
  EXPECT_EQ(book["sheets"], 1);
  const nlohmann::json& rows = book["rows"];
  ASSERT_EQ(rows.size(), 4U);
  EXPECT_EQ(rows[0], nlohmann::json({"domain", "baidu_pc", "baidu_mobile", "360", "sogou", "shenma", "google", "status",
                                     "attempts", "exit", "time", "reason"}));
  // Integer weights and attempts are numbers; other values stay text.
  EXPECT_EQ(rows[1], nlohmann::json({"中文.com", 3, nullptr, 5, "n/a", 0, 12, "found", 2, "127.0.0.1:8080",
                                     "2026-12-08 15:50:03", "慢, \"很\"慢, then 503"}));
  EXPECT_EQ(rows[2][0], "b.com");
  EXPECT_EQ(rows[2][7], "none");
  EXPECT_EQ(rows[3][0], "百度.cn");
  EXPECT_EQ(rows[3][11], "超时, \"no\" answer");
  EXPECT_EQ(book["bold"], nlohmann::json(std::vector<bool>(12, true)));
  EXPECT_EQ(book["boldBelow"], nlohmann::json(std::vector<bool>(12, false)));
  // Every column has a width of its own, the reason's wider than the status's.
  const nlohmann::json& widths = book["widths"];
  ASSERT_TRUE(widths.contains("H") && widths.contains("L")) << widths.dump();
  EXPECT_GT(widths["L"].get<double>(), widths["H"].get<double>());
}

TEST_F(IndependentReaderTest, AWorkbookThatCannotBeWrittenIsReportedAndLeavesNothingBehind) {
  EXPECT_TRUE(WriteWorkbook(folder_ / "missing" / "out.xlsx", PageColumns(), Records()));
  EXPECT_TRUE(std::filesystem::is_empty(folder_));
}

}  // namespace
}  // namespace rankora::batch

// The window's long runs as the handlers carry them out, over an in-memory
// window, against the stand-in service on loopback: the rows and their
// statuses, what 导出成功的权重 writes of them, the saved run that a closed
// window leaves and the next start goes on with.
#include <gtest/gtest.h>

#include <random>

#include "app/program.h"
#include "app/run_rows.h"
#include "app/saved_run.h"
#include "app/texts.h"
#include "fake_window.h"
#include "files/whole_file.h"
#include "loopback_server.h"
#include "text/gbk.h"
#include "weight_service.h"

namespace rankora::app {
namespace {

using text::Gbk;
using text::ToUtf8;

class LongRun : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("rankora-long-run-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder_);
    window_.places.dataFolder = folder_ / "data";
  }
  void TearDown() override {
    program_.reset();
    server_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // Today's page from the stand-in, through the direct connection.
  void Start(tools::WeightServiceOptions options) {
    service_ = std::make_unique<tools::WeightService>(std::move(options));
    server_ = std::make_unique<tools::LoopbackServer>(
        [this](const tools::ReceivedRequest& request) { return service_->Handle(request); });
    window_.store.values["source"] = "page";
    window_.store.values["perMinute"] = "0";
    program_ = std::make_unique<Program>(window_);
    program_->UseService(server_->Origin());
  }

  void RunToTheEnd() {
    program_->RunBatch();
    window_.RunHandedUntil([this] { return !program_->Running(); });
  }

  std::string Cell(int row, int column) { return ToUtf8(window_.CellText(row, column)); }

  std::filesystem::path folder_;
  testing::FakeWindow window_;
  std::unique_ptr<tools::WeightService> service_;
  std::unique_ptr<tools::LoopbackServer> server_;
  std::unique_ptr<Program> program_;
};

TEST_F(LongRun, EveryDomainKeepsItsRowWithItsStatusAndOnlyWeightsAreSaved) {
  tools::WeightServiceOptions options;
  options.weights = {{"a.com", "4"}, {"b.com", "0"}};
  options.noData = {"c.com"};
  Start(options);
  window_.text = "a.com\r\nb.com\r\nc.com";
  RunToTheEnd();
  ASSERT_EQ(window_.RowCount(), 3);
  std::map<std::string, std::pair<std::string, std::string>> rows;
  for (int row = 0; row < 3; ++row) rows[Cell(row, 0)] = {Cell(row, 1), Cell(row, 7)};
  EXPECT_EQ(rows["a.com"], std::make_pair(std::string("4"), std::string("有权重")));
  // A real 0 is a weight.
  EXPECT_EQ(rows["b.com"], std::make_pair(std::string("0"), std::string("有权重")));
  EXPECT_EQ(rows["c.com"].second, "无权重");
  EXPECT_FALSE(window_.running);
  EXPECT_TRUE(window_.enabled);
  EXPECT_NE(ToUtf8(window_.status).find("已完成 3/3"), std::string::npos) << ToUtf8(window_.status);

  // A header click sorts by that column, numbers as numbers, empty last;
  // the next click turns the order round, still with empty last.
  const auto column = [this](int c) {
    std::vector<std::string> cells;
    for (int row = 0; row < window_.RowCount(); ++row) cells.push_back(Cell(row, c));
    return cells;
  };
  program_->SortByHeader(1);
  EXPECT_EQ(column(0), (std::vector<std::string>{"a.com", "b.com", "c.com"}));
  program_->SortByHeader(1);
  EXPECT_EQ(column(0), (std::vector<std::string>{"b.com", "a.com", "c.com"}));
  program_->SortByHeader(0);
  EXPECT_EQ(column(0), (std::vector<std::string>{"a.com", "b.com", "c.com"}));

  // 导出成功的权重: the seed's form, the rows with a weight only.
  window_.confirm = true;
  window_.fileName = folder_ / "weights.txt";
  program_->SaveResults();
  program_->WaitForSaves();
  const std::string saved = files::ReadWholeFile(folder_ / "weights.txt").bytes;
  EXPECT_NE(saved.find("a.com | 4\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("b.com | 0\r\n"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("c.com"), std::string::npos) << saved;

  // Every domain done: nothing is left for the next start.
  EXPECT_FALSE(SavedRun(window_.places.dataFolder).Find());
}

TEST_F(LongRun, ARefusalWithoutExitsStopsWithTheSeedsMessageAndTheRestIsOfferedNextTime) {
  tools::WeightServiceOptions options;
  options.defaultWeight = "2";
  options.refuseAfter = 2;
  Start(options);
  window_.text = "a.com\r\nb.com\r\nc.com\r\nd.com";
  RunToTheEnd();
  ASSERT_EQ(window_.messages.size(), 1u);
  EXPECT_EQ(window_.messages[0], GetTexts().restrictedMessage);
  int found = 0;
  for (int row = 0; row < window_.RowCount(); ++row) found += Cell(row, 7) == "有权重";
  EXPECT_EQ(found, 2);

  // The next start: the question names what is left, and 否 leaves the run
  // where it was.
  program_.reset();
  program_ = std::make_unique<Program>(window_);
  program_->UseService(server_->Origin());
  window_.answer = false;
  program_->OfferToResume();
  ASSERT_EQ(window_.questions.size(), 1u);
  EXPECT_NE(ToUtf8(window_.questions[0]).find("共 4 个域名，已完成 2 个"), std::string::npos)
      << ToUtf8(window_.questions[0]);
  EXPECT_TRUE(SavedRun(window_.places.dataFolder).Find());

  // 是: the two finished rows come back from the journal and only the rest
  // is asked.
  tools::WeightServiceOptions answering;
  answering.defaultWeight = "2";
  service_ = std::make_unique<tools::WeightService>(answering);
  window_.answer = true;
  window_.text.clear();
  program_->OfferToResume();
  window_.RunHandedUntil([this] { return !program_->Running(); });
  EXPECT_EQ(window_.text, "a.com\r\nb.com\r\nc.com\r\nd.com");
  std::multiset<std::string> domains;
  for (int row = 0; row < window_.RowCount(); ++row) domains.insert(Cell(row, 0));
  EXPECT_EQ(domains, (std::multiset<std::string>{"a.com", "b.com", "c.com", "d.com"}));
  EXPECT_EQ(service_->Counts(0).queries, 2);
  EXPECT_FALSE(SavedRun(window_.places.dataFolder).Find());
}

TEST_F(LongRun, TheSeedsListKeepsItsOrderWhenItsHeaderIsClicked) {
  window_.AddRow({"a.com", "1"});
  window_.AddRow({"b.com", "10"});
  window_.AddRow({"c.com", "2"});
  Program program(window_);
  program.SortByHeader(1);
  EXPECT_EQ(window_.rows, (std::vector<std::vector<std::string>>{{"a.com", "1"}, {"b.com", "10"}, {"c.com", "2"}}));
}

TEST_F(LongRun, SettingsThatNoLongerCheckStartNothing) {
  Start({});
  window_.store.values["source"] = "api";  // without a key
  program_ = std::make_unique<Program>(window_);
  window_.text = "a.com";
  program_->RunBatch();
  EXPECT_FALSE(program_->Running());
  ASSERT_EQ(window_.messages.size(), 1u);
  EXPECT_NE(ToUtf8(window_.messages[0]).find("key"), std::string::npos);
  EXPECT_TRUE(server_->Requests().empty());
}

TEST(RunRows, ColumnsTravelWithTheSourceAndAStatusTakesTheWeightsPlaceWithoutAColumnOfItsOwn) {
  const RunRows page(lookup::SourceKind::kPage, {"baidu_pc", "baidu_mobile", "360", "sogou", "bing", "google"});
  std::vector<std::string> headers;
  for (const std::string& header : page.Headers()) headers.push_back(ToUtf8(header));
  EXPECT_EQ(headers, (std::vector<std::string>{"域名", "PC", "移动", "360", "搜狗", "必应", "谷歌", "状态"}));
  batch::Record found{"a.com", lookup::Outcome::kFound, {"5", "4", "3", "2", "1", "0"}, "", 1, "direct", ""};
  EXPECT_EQ(page.Cells(found)[1], "5");
  EXPECT_TRUE(RowHasWeight(page.Headers(), page.Cells(found)));

  const RunRows api(lookup::SourceKind::kApi, {"pc_br", "m_br", "ip", "pc_ip", "m_ip"});
  EXPECT_EQ(api.Headers().size(), 5u);
  EXPECT_EQ(ToUtf8(api.Headers()[3]), "预估流量");
  const batch::Record failed{"b.com", lookup::Outcome::kFailed, {}, "超时", 3, "direct", ""};
  EXPECT_EQ(ToUtf8(api.Cells(failed)[4]), "失败：超时");
  EXPECT_FALSE(RowHasWeight(api.Headers(), api.Cells(failed)));

  const RunRows legacy(lookup::SourceKind::kLegacy, {"weight"});
  const batch::Record refused{"c.com", lookup::Outcome::kRefused, {}, "HTTP 403", 2, "1.2.3.4:80", ""};
  const std::vector<std::string> cells = legacy.Cells(refused);
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(ToUtf8(cells[1]), "被限制：HTTP 403");
  EXPECT_FALSE(RowHasWeight(legacy.Headers(), cells));
  EXPECT_TRUE(RowHasWeight(legacy.Headers(), {"d.com", "7"}));
}

TEST(SavedRun, KeepsTheListAndItsSourceUntilEndedAndWithoutAFolderKeepsNothing) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("rankora-saved-run-" + std::to_string(std::random_device{}()));
  const SavedRun saved(folder / "nested");
  EXPECT_FALSE(saved.Find());
  ASSERT_FALSE(saved.Begin(lookup::SourceKind::kApi, {"a.com", Gbk("中文.com"), "a.com"}));
  ASSERT_TRUE(files::WriteWholeFile(saved.JournalPath(), "{}\n") == std::error_code());
  const auto found = saved.Find();
  ASSERT_TRUE(found);
  EXPECT_EQ(found->source, lookup::SourceKind::kApi);
  EXPECT_EQ(found->domains, (std::vector<std::string>{"a.com", Gbk("中文.com"), "a.com"}));
  // A new run starts without the last one's journal.
  ASSERT_FALSE(saved.Begin(lookup::SourceKind::kPage, {"b.com"}));
  EXPECT_FALSE(std::filesystem::exists(saved.JournalPath()));
  saved.End();
  EXPECT_FALSE(saved.Find());
  // A damaged list is no run.
  ASSERT_FALSE(files::WriteWholeFile(folder / "nested" / "run.txt", "garbage\r\n"));
  EXPECT_FALSE(saved.Find());

  const SavedRun nowhere{std::filesystem::path()};
  EXPECT_TRUE(nowhere.Begin(lookup::SourceKind::kLegacy, {"a.com"}));
  EXPECT_FALSE(nowhere.Find());
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace rankora::app

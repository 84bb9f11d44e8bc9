// The window's long runs through the real window: the settings dialog and
// the user's store, today's page through several exits of the stand-in,
// 停止, closing mid-run and going on at the next start, importing and
// exporting.
#include <fstream>
#include <random>
#include <set>

#include "app/settings.h"
#include "files/whole_file.h"
#include "text/gbk.h"
#include "window_contract.h"

namespace rankora::ui::contract {
namespace {

using namespace std::chrono_literals;

// Weights that differ from domain to domain, so that rows can be told apart.
tools::WeightServiceOptions VariedWeights(int count) {
  tools::WeightServiceOptions options;
  for (int i = 0; i < count; ++i) options.weights["site" + std::to_string(i) + ".com"] = std::to_string(i * 7 % 10);
  return options;
}

std::u16string DomainLines(int count) {
  std::u16string lines;
  for (int i = 0; i < count; ++i) {
    const std::string domain = "site" + std::to_string(i) + ".com";
    lines += std::u16string(domain.begin(), domain.end()) + u"\r\n";
  }
  return lines;
}

}  // namespace

void WindowLongRunContract::TearDown() {
  driver_.reset();
  if (service_) service_->Stop();
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

void WindowLongRunContract::OpenWithExits(tools::WeightServiceOptions options, std::size_t exits, int inFlight) {
  service_ = std::make_unique<tools::WeightServiceExits>(std::move(options), exits);
  ASSERT_TRUE(service_->Listening());
  Open();
  driver_->Show();
  driver_->Program().UseService("http://www.aizhan.com");
  SettingsInput input;
  input.source = 1;
  for (std::size_t i = 0; i < exits; ++i) input.proxies += "http://" + service_->Host(i) + "\n";
  input.perMinute = 0;
  input.inFlight = inFlight;
  ASSERT_TRUE(driver_->EnterSettings(input).accepted);
}

bool WindowLongRunContract::RunEnds(std::chrono::milliseconds patience) {
  return driver_->WaitFor([this] { return !driver_->Program().Running(); }, patience);
}

std::vector<std::string> WindowLongRunContract::Headers() {
  std::vector<std::string> headers;
  const app::ResultList& list = driver_->Window().ResultListControl();
  for (int column = 0; column < list.ColumnCount(); ++column) headers.push_back(text::ToUtf8(list.HeaderText(column)));
  return headers;
}

std::map<std::string, int> WindowLongRunContract::DomainCounts() {
  std::map<std::string, int> counts;
  for (const std::string& domain : Column(0)) ++counts[domain];
  return counts;
}

std::filesystem::path WindowLongRunContract::Folder() {
  if (folder_.empty()) {
    folder_ = std::filesystem::temp_directory_path() /
              ("rankora-long-run-" + std::string(GetParam().name) + "-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder_);
  }
  return folder_;
}

namespace {

TEST_P(WindowLongRunContract, SettingsAreCheckedThenKeptForTheNextWindow) {
  Open();
  driver_->Show();
  SettingsInput bad;
  bad.source = 1;
  bad.proxies = "1.2.3.4:8080\nnot a proxy\n";
  const SettingsSeen refused = driver_->EnterSettings(bad);
  EXPECT_FALSE(refused.accepted);
  EXPECT_NE(refused.problem.find("第 2 行"), std::string::npos) << refused.problem;
  EXPECT_TRUE(app::IsSeedRun(driver_->Program().CurrentSettings()));

  SettingsInput good;
  good.source = 1;
  good.proxies = "1.2.3.4:8080\nhttp://u:p@5.6.7.8:3128\n";
  good.cookie = "sid=SECRET42";
  good.perMinute = 30;
  good.inFlight = 4;
  good.coolDownMinutes = 20;
  ASSERT_TRUE(driver_->EnterSettings(good).accepted);

  // A new window, as at the next start, reads them back.
  driver_.reset();
  Open();
  const app::Settings kept = driver_->Program().CurrentSettings();
  EXPECT_EQ(kept.source, lookup::SourceKind::kPage);
  EXPECT_NE(kept.proxies.find("http://u:p@5.6.7.8:3128"), std::string::npos);
  EXPECT_EQ(kept.cookie, "sid=SECRET42");
  EXPECT_EQ(kept.perMinute, 30);
  EXPECT_EQ(kept.inFlight, 4);
  EXPECT_EQ(kept.coolDownMinutes, 20);
  EXPECT_EQ(driver_->TitleText().find("SECRET42"), std::string::npos);
}

TEST_P(WindowLongRunContract, APageRunThroughFourExitsListsEveryDomainWithItsWeights) {
  OpenWithExits(VariedWeights(12), 4, 4);
  driver_->SetDomainText(DomainLines(12));
  driver_->Click("按钮1");
  ASSERT_TRUE(RunEnds());
  EXPECT_EQ(Headers(), (std::vector<std::string>{"域名", "PC", "移动", "360", "搜狗", "必应", "谷歌", "状态"}));
  const app::ResultList& list = driver_->Window().ResultListControl();
  ASSERT_EQ(list.RowCount(), 12);
  for (int row = 0; row < list.RowCount(); ++row) {
    const std::string domain = list.CellText(row, 0);
    SCOPED_TRACE(domain);
    const int index = std::stoi(domain.substr(4));
    EXPECT_EQ(list.CellText(row, 1), std::to_string(index * 7 % 10));
    EXPECT_EQ(text::ToUtf8(list.CellText(row, 7)), "有权重");
  }
  for (const auto& [domain, count] : DomainCounts()) EXPECT_EQ(count, 1) << domain;
  for (std::size_t exit = 0; exit < 4; ++exit) EXPECT_GT(service_->Counts(exit).queries, 0) << exit;
  EXPECT_NE(driver_->StatusText().find("已完成 12/12"), std::string::npos) << driver_->StatusText();
  EXPECT_EQ(driver_->TitleText(), "Rankora");
  EXPECT_TRUE(driver_->IsEnabled("按钮1"));
  EXPECT_FALSE(driver_->IsMenuEnabled("停止"));
}

TEST_P(WindowLongRunContract, StopKeepsEveryFinishedRowAndRetryingAsksOnlyTheRest) {
  tools::WeightServiceOptions slow = VariedWeights(16);
  slow.delay = 150ms;
  OpenWithExits(slow, 2, 2);
  driver_->SetDomainText(DomainLines(16));
  driver_->Click("按钮1");
  EXPECT_TRUE(driver_->IsMenuEnabled("停止"));
  EXPECT_FALSE(driver_->IsEnabled("按钮1"));
  ASSERT_TRUE(driver_->WaitFor([this] { return driver_->Window().ResultListControl().RowCount() >= 3; }, 30s));
  driver_->ChooseMenu("停止");
  ASSERT_TRUE(RunEnds(10s));
  const int stopped = driver_->Window().ResultListControl().RowCount();
  EXPECT_LT(stopped, 16);
  EXPECT_TRUE(driver_->IsEnabled("按钮1"));

  driver_->ChooseMenu("重查失败的");
  ASSERT_TRUE(RunEnds());
  EXPECT_EQ(driver_->Window().ResultListControl().RowCount(), 16);
  const std::map<std::string, int> counts = DomainCounts();
  EXPECT_EQ(counts.size(), 16u);
  for (const auto& [domain, count] : counts) EXPECT_EQ(count, 1) << domain;
}

TEST_P(WindowLongRunContract, ClosingMidRunLosesNothingAndTheNextStartGoesOn) {
  tools::WeightServiceOptions slow = VariedWeights(16);
  slow.delay = 150ms;
  OpenWithExits(slow, 2, 2);
  driver_->SetDomainText(DomainLines(16));
  driver_->Click("按钮1");
  ASSERT_TRUE(driver_->WaitFor([this] { return driver_->Window().ResultListControl().RowCount() >= 3; }, 30s));
  EXPECT_TRUE(driver_->CloseAsTheUserDoes());
  driver_.reset();

  // The next start offers the rest, and going on gives the rows of an
  // unbroken run: each domain once.
  Open();
  driver_->Show();
  driver_->Program().UseService("http://www.aizhan.com");
  const std::unique_ptr<BoxAnswer> question = driver_->AnswerQuestion(true);
  driver_->Program().OfferToResume();
  ASSERT_TRUE(question->Wait());
  EXPECT_NE(question->What().text.find("继续上次的查询"), std::string::npos) << question->What().text;
  EXPECT_NE(question->What().text.find("共 16 个域名"), std::string::npos) << question->What().text;
  ASSERT_TRUE(RunEnds());
  const std::map<std::string, int> counts = DomainCounts();
  EXPECT_EQ(counts.size(), 16u);
  for (const auto& [domain, count] : counts) EXPECT_EQ(count, 1) << domain;
  EXPECT_EQ(text::Split(driver_->Window().DomainBoxControl().Text(), "\r\n").size(), 16u);

  // Done now: nothing more is offered.
  driver_.reset();
  Open();
  driver_->Show();
  driver_->Program().OfferToResume();
  EXPECT_TRUE(driver_->Window().ResultListControl().RowCount() == 0);
}

TEST_P(WindowLongRunContract, ImportsAListAndExportsTheRowsAsCsv) {
  OpenWithExits(VariedWeights(3), 2, 2);
  const std::filesystem::path list = Folder() / "域名.txt";
  ASSERT_FALSE(files::WriteWholeFile(list, "site0.com\r\nsite1.com | 9\r\nnot a domain\r\nsite2.com\r\n"));
  const std::unique_ptr<BoxAnswer> problem = driver_->AnswerMessage();
  driver_->ChooseMenuWithFile("导入域名", list);
  ASSERT_TRUE(problem->Wait());
  EXPECT_NE(problem->What().text.find("第 3 行"), std::string::npos) << problem->What().text;
  EXPECT_EQ(driver_->Window().DomainBoxControl().Text(), "site0.com\r\nsite1.com\r\nsite2.com");

  driver_->Click("按钮1");
  ASSERT_TRUE(RunEnds());
  const std::filesystem::path csv = Folder() / "结果.csv";
  const std::unique_ptr<BoxAnswer> saved = driver_->AnswerMessage();
  driver_->ChooseMenuWithFile("导出CSV", csv);
  ASSERT_TRUE(saved->Wait());
  EXPECT_EQ(saved->What().text, "保存成功！");
  const std::string bytes = files::ReadWholeFile(csv).bytes;
  EXPECT_TRUE(bytes.starts_with("\xEF\xBB\xBF")) << bytes;
  for (const char* domain : {"site0.com", "site1.com", "site2.com"}) EXPECT_NE(bytes.find(domain), std::string::npos);
}

}  // namespace
}  // namespace rankora::ui::contract

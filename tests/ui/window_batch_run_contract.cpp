// The batch run through the real window, against the stand-in weight
// service: which domains it asks for, the rows it lists, and the refusal.
#include "window_contract.h"

#include "automation/registry.h"

namespace rankora::ui::contract {
namespace {

// The service of these cases: two domains with weights of their own, 2 for
// every other one.
tools::WeightServiceOptions TwoKnownDomains() { return {{{"www.baidu.com", "9"}, {"a.com", "4"}}, "2", -1, {}}; }

TEST_P(WindowBatchRunContract, ListsTheSixDefaultDomainsInOrder) {
  Open(TwoKnownDomains());
  driver_->Click("按钮1");
  EXPECT_EQ(RowsShown(), (Rows{{"www.baidu.com", "9"},
                               {"www.sina.com.cn", "2"},
                               {"www.163.com", "2"},
                               {"www.qq.com", "2"},
                               {"www.sogou.com", "2"},
                               {"www.so.com", "2"}}));
  EXPECT_EQ(server_->RequestCount(), 6u);
  EXPECT_TRUE(driver_->IsEnabled("按钮1"));
  EXPECT_EQ(driver_->Caption("按钮1"), "开始验证");
}

TEST_P(WindowBatchRunContract, TakesTheDomainBeforeTheFirstSeparatorAndKeepsBlanks) {
  Open(TwoKnownDomains());
  driver_->SetDomainText(u"a.com | 7\r\na.com|7\r\n b.com \r\n\r\nc.com\r\n");
  driver_->Click("按钮1");
  EXPECT_EQ(Asked(), (std::vector<std::string>{"a.com", "a.com%7C7", "%20b.com%20", "c.com"}));
  EXPECT_EQ(RowsShown(), (Rows{{"a.com", "4"}, {"a.com|7", "2"}, {" b.com ", "2"}, {"c.com", "2"}}));
}

TEST_P(WindowBatchRunContract, ASecondRunAppendsBelowTheFirst) {
  Open(TwoKnownDomains());
  driver_->SetDomainText(u"a.com");
  driver_->Click("按钮1");
  driver_->SetDomainText(u"b.com\r\nc.com");
  driver_->Click("按钮1");
  EXPECT_EQ(RowsShown(), (Rows{{"a.com", "4"}, {"b.com", "2"}, {"c.com", "2"}}));
}

TEST_P(WindowBatchRunContract, AnEmptyListLooksNothingUp) {
  Open(TwoKnownDomains());
  driver_->SetDomainText(u"");
  driver_->Click("按钮1");
  EXPECT_EQ(server_->RequestCount(), 0u);
  EXPECT_TRUE(RowsShown().empty());
  EXPECT_TRUE(driver_->IsEnabled("按钮1"));
}

TEST_P(WindowBatchRunContract, StopsAtTheFirstRefusalWithOneMessage) {
  // Weight 5 for two domains, then refusals.
  Open({{}, "5", 2, {}});
  driver_->SetDomainText(u"d1.com\r\nd2.com\r\nd3.com\r\nd4.com\r\nd5.com");
  bool enabledWhileShown = true;
  std::string captionWhileShown;
  const std::unique_ptr<BoxAnswer> answer = driver_->AnswerMessage([&] {
    enabledWhileShown = driver_->IsEnabled("按钮1");
    captionWhileShown = driver_->Caption("按钮1");
  });
  driver_->Click("按钮1");
  ASSERT_TRUE(answer->Wait());
  EXPECT_EQ(answer->What().title, "信息：");
  EXPECT_EQ(answer->What().text, "Quillon提示：被限制了。。换IP吧");
  EXPECT_FALSE(answer->What().owned);
  EXPECT_FALSE(enabledWhileShown);
  EXPECT_EQ(captionWhileShown, "正在验证.");
  EXPECT_EQ(RowsShown(), (Rows{{"d1.com", "5"}, {"d2.com", "5"}}));
  EXPECT_EQ(Asked(), (std::vector<std::string>{"d1.com", "d2.com", "d3.com"}));
  EXPECT_TRUE(driver_->IsEnabled("按钮1"));
  EXPECT_EQ(driver_->Caption("按钮1"), "开始验证");
}

TEST_P(WindowBatchRunContract, AServiceOutOfReachStopsWithItsOwnMessageNotTheRefusal) {
  Open({{}, "5", -1, {}});
  // Nothing listens on the service's port any more: the connection is refused.
  server_->Stop();
  driver_->SetDomainText(u"d1.com\r\nd2.com\r\nd3.com");
  bool enabledWhileShown = true;
  const std::unique_ptr<BoxAnswer> answer =
      driver_->AnswerMessage([&] { enabledWhileShown = driver_->IsEnabled("按钮1"); });
  driver_->Click("按钮1");
  ASSERT_TRUE(answer->Wait());
  EXPECT_EQ(answer->What().title, "信息：");
  EXPECT_EQ(answer->What().text, "Quillon提示：无法连接到爱站：连不上服务器。请检查网络或代理设置。");
  EXPECT_FALSE(enabledWhileShown);
  EXPECT_TRUE(RowsShown().empty());
  EXPECT_TRUE(driver_->IsEnabled("按钮1"));
  EXPECT_EQ(driver_->Caption("按钮1"), "开始验证");
}

TEST_P(WindowBatchRunContract, AnInterfaceThatIsGoneSaysSoAndWhereTodaysPageIs) {
  tools::WeightServiceOptions options{{}, "5", -1, {}};
  options.legacy = tools::LegacyInterface::kGone;
  Open(options);
  driver_->SetDomainText(u"d1.com\r\nd2.com");
  const std::unique_ptr<BoxAnswer> answer = driver_->AnswerMessage();
  driver_->Click("按钮1");
  ASSERT_TRUE(answer->Wait());
  EXPECT_EQ(
      answer->What().text,
      "Quillon提示：爱站的旧查询接口已不再应答（HTTP 410）。请在 查询 → 设置 → 爱站网页 改用今天的域名页面查询。");
  EXPECT_TRUE(RowsShown().empty());
  EXPECT_EQ(Asked(), (std::vector<std::string>{"d1.com"}));
  EXPECT_TRUE(driver_->IsEnabled("按钮1"));
  EXPECT_EQ(driver_->Caption("按钮1"), "开始验证");
}

TEST_P(WindowBatchRunContract, AMissingScriptControlStopsWithItsNameNotTheRefusal) {
  // The service has a weight for every domain; only the component is gone.
  Open({{}, "5", -1, {}});
  const automation::ClassWithheld missing("ScriptControl");
  driver_->SetDomainText(u"d1.com\r\nd2.com");
  const std::unique_ptr<BoxAnswer> answer = driver_->AnswerMessage();
  driver_->Click("按钮1");
  ASSERT_TRUE(answer->Wait());
  EXPECT_EQ(answer->What().title, "信息：");
  EXPECT_EQ(answer->What().text, "Quillon提示：查询失败，组件 ScriptControl 无法创建（0x80040154）");
  EXPECT_TRUE(RowsShown().empty());
  EXPECT_TRUE(Asked().empty());
  EXPECT_TRUE(driver_->IsEnabled("按钮1"));
  EXPECT_EQ(driver_->Caption("按钮1"), "开始验证");
}

}  // namespace
}  // namespace rankora::ui::contract

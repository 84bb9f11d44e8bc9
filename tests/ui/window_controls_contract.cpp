// The window's controls as the click handlers and the user see them: the
// domain box, the results list, the start button, the message box, closing.
#include "app/texts.h"
#include "text/gbk.h"
#include "window_contract.h"

namespace rankora::ui::contract {
namespace {

TEST_P(WindowControlsContract, HasAChineseMenuBarWhoseAboutSaysWhoAnswersEachComponent) {
  Open();
  driver_->Show();
  EXPECT_EQ(driver_->MenuTitles(), (std::vector<std::string>{"文件(&F)", "查询(&Q)", "帮助(&H)"}));
  const auto answer = driver_->AnswerMessage();
  driver_->ChooseMenu("关于");
  ASSERT_TRUE(answer->Wait());
  const std::string about = answer->What().text;
  EXPECT_TRUE(about.starts_with("Rankora " RANKORA_VERSION)) << about;
  for (const char* component :
       {"ScriptControl: ", "Scripting.Dictionary: ", "VBScript.RegExp: ", "WinHttp.WinHttpRequest.5.1: "}) {
    EXPECT_NE(about.find(component), std::string::npos) << component;
  }
  // The lookups' own components are built in: nobody is missing.
  EXPECT_EQ(about.find("ScriptControl: 无"), std::string::npos) << about;
  EXPECT_NE(about.find("Rankora", about.find("查询记录：")), std::string::npos) << about;
}

TEST_P(WindowControlsContract, QuitFromTheMenuClosesTheWindowAsItsCloseButtonDoes) {
  Open();
  driver_->Show();
  driver_->ChooseMenu("退出");
  EXPECT_FALSE(driver_->IsVisible());
}

TEST_P(WindowControlsContract, DomainBoxHoldsSixDefaultDomainsInEightyTwoBytes) {
  Open();
  const std::string text = driver_->Window().DomainBoxControl().Text();
  EXPECT_EQ(text.size(), 82u);
  EXPECT_EQ(text, app::GetTexts().defaultDomains);
  const std::vector<std::string> lines = text::Split(text, "\r\n");
  ASSERT_EQ(lines.size(), 6u);
  for (const std::string& line : lines) EXPECT_TRUE(text::StartsWith(line, "www.")) << line;
  EXPECT_FALSE(text.ends_with("\r\n"));
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
}

TEST_P(WindowControlsContract, DomainBoxKeepsItsLinesWhateverCharactersTheyHold) {
  Open();
  // An unpaired surrogate, characters GBK cannot hold (one outside the
  // basic plane), the euro sign, and line breaks of other systems.
  std::u16string lines = u"a.com\n";
  lines += char16_t{0xD800};
  lines += u"b.com\r\n\uacb0.com\n\uacb0\uacfc\U0001F600.com\nc\u20ac.com\r\nd.com\re.com";
  driver_->SetDomainText(lines);
  EXPECT_EQ(driver_->Window().DomainBoxControl().Text(),
            "a.com\r\n?b.com\r\n?.com\r\n???.com\r\nc\x80.com\r\nd.com\r\ne.com");
}

TEST_P(WindowControlsContract, ResultListStartsEmptyWithTheDomainAndWeightColumns) {
  Open();
  app::ResultList& list = driver_->Window().ResultListControl();
  EXPECT_TRUE(list.IsReportView());
  EXPECT_EQ(list.RowCount(), 0);
  ASSERT_EQ(list.ColumnCount(), 2);
  EXPECT_EQ(driver_->HeaderText(0), "域名");
  EXPECT_EQ(driver_->HeaderText(1), "权重");
  EXPECT_EQ(driver_->ColumnWidth(0), 260);
  EXPECT_EQ(driver_->ColumnWidth(1), 80);
}

TEST_P(WindowControlsContract, ResultListAppendsRowsAndReadsCellsBack) {
  Open();
  app::ResultList& list = driver_->Window().ResultListControl();
  const std::string domain = text::Gbk("www.百度.com");
  for (int i = 0; i < 3; ++i) {
    const int row = list.InsertRow();
    EXPECT_EQ(row, i);
    EXPECT_EQ(list.CellText(row, 0), "");
    list.SetCellText(row, 0, domain + std::to_string(i));
    list.SetCellText(row, 1, std::to_string(9 - i));
  }
  EXPECT_EQ(list.RowCount(), 3);
  // Rows whose texts were set after insertion stay where they were put.
  EXPECT_EQ(list.CellText(0, 0), domain + "0");
  EXPECT_EQ(list.CellText(1, 0), domain + "1");
  EXPECT_EQ(list.CellText(2, 1), "7");
  EXPECT_EQ(driver_->ShownCell(0, 0), "www.百度.com0");
  // Cells outside the list read as empty text and are not written.
  list.SetCellText(3, 0, "x");
  list.SetCellText(0, 2, "x");
  list.SetCellText(-1, 0, "x");
  EXPECT_EQ(list.CellText(3, 0), "");
  EXPECT_EQ(list.CellText(0, -1), "");
  EXPECT_EQ(list.RowCount(), 3);
  // A text of any length comes back whole.
  const std::string longText(5000, 'w');
  list.SetCellText(1, 1, longText);
  EXPECT_EQ(list.CellText(1, 1), longText);
}

TEST_P(WindowControlsContract, ClickingAHeaderLeavesTheRowsAsTheyAre) {
  Open();
  for (const char* weight : {"1", "10", "2"}) AddRow(std::string("d") + weight, weight);
  driver_->Show();
  driver_->ClickHeader(1);
  const app::ResultList& list = driver_->Window().ResultListControl();
  EXPECT_EQ(list.CellText(0, 1), "1");
  EXPECT_EQ(list.CellText(1, 1), "10");
  EXPECT_EQ(list.CellText(2, 1), "2");
}

TEST_P(WindowControlsContract, StartButtonTakesCaptionAndEnabledState) {
  Open();
  app::StartButton& button = driver_->Window().StartButtonControl();
  button.SetEnabled(false);
  button.SetCaption(app::GetTexts().runningCaption);
  EXPECT_FALSE(driver_->IsEnabled("按钮1"));
  EXPECT_EQ(driver_->Caption("按钮1"), "正在验证.");
  button.SetEnabled(true);
  button.SetCaption(app::GetTexts().startCaption);
  EXPECT_TRUE(driver_->IsEnabled("按钮1"));
  EXPECT_EQ(driver_->Caption("按钮1"), "开始验证");
}

TEST_P(WindowControlsContract, MessageBoxIsTitledInformationWithOneOkButtonAndNoOwner) {
  Open();
  driver_->Show();
  const std::unique_ptr<BoxAnswer> answer = driver_->AnswerMessage();
  driver_->Window().ShowMessage(app::GetTexts().restrictedMessage);
  ASSERT_TRUE(answer->Wait());
  EXPECT_EQ(answer->What().title, "信息：");
  EXPECT_EQ(answer->What().text, "Quillon提示：被限制了。。换IP吧");
  EXPECT_EQ(answer->What().buttons, 1);
  EXPECT_FALSE(answer->What().owned);
}

TEST_P(WindowControlsContract, ClosingWithRowsEndsWithoutAsking) {
  Open();
  AddRow("www.a.com", "");
  driver_->Show();
  EXPECT_TRUE(driver_->CloseAsTheUserDoes());
  EXPECT_FALSE(driver_->IsVisible());
  EXPECT_FALSE(driver_->AbandonedWork());
}

}  // namespace
}  // namespace rankora::ui::contract

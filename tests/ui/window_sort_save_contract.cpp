// Sorting and saving through the real window: the sort button, the save
// dialog, the file's bytes and the confirmation.
#include <fstream>
#include <iterator>

#include "text/gbk.h"
#include "window_contract.h"

namespace rankora::ui::contract {
namespace {

std::string Bytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST_P(WindowSortSaveContract, SortButtonPutsWeightsHighestFirstAsText) {
  Open();
  driver_->Show();
  AddRow("one.com", "1");
  AddRow("ten.com", "10");
  AddRow("two.com", "2");
  AddRow("zero.com", "0");
  driver_->Click("按钮3");
  EXPECT_EQ(Column(1), (std::vector<std::string>{"2", "10", "1", "0"}));
  EXPECT_EQ(Column(0), (std::vector<std::string>{"two.com", "ten.com", "one.com", "zero.com"}));
}

TEST_P(WindowSortSaveContract, EqualWeightsSwapOnEverySort) {
  Open();
  driver_->Show();
  AddRow("a.com", "5");
  AddRow("b.com", "5");
  driver_->Click("按钮3");
  EXPECT_EQ(Column(0), (std::vector<std::string>{"b.com", "a.com"}));
  driver_->Click("按钮3");
  EXPECT_EQ(Column(0), (std::vector<std::string>{"a.com", "b.com"}));
}

TEST_P(WindowSortSaveContract, SavesEveryRowInListOrderAndConfirmsWithoutBlockingTheWindow) {
  Open();
  driver_->Show();
  AddRow("A", "3");
  AddRow("B", "5");
  AddRow(text::Gbk("中文.com"), "");
  driver_->Click("按钮3");
  // A name the platform's code page could not hold stays whole to the file.
  const std::filesystem::path file = folder_ / std::u16string(u"\u7ed3\u679c-\uacb0.txt");
  const SaveSeen seen = driver_->SaveThroughTheWindow({file});
  EXPECT_EQ(seen.offered, "*.txt");
  ASSERT_TRUE(seen.confirmed);
  EXPECT_EQ(seen.confirmation.title, "信息：");
  EXPECT_EQ(seen.confirmation.text, "保存成功！");
  EXPECT_EQ(seen.confirmation.buttons, 1);
  EXPECT_FALSE(seen.confirmation.owned);
  EXPECT_TRUE(seen.windowUsable);
  EXPECT_EQ(Bytes(file), "B | 5\r\nA | 3\r\n" + text::Gbk("中文.com") + " | \r\n");
  EXPECT_EQ(driver_->Program().SaveFileName(), file);
  EXPECT_EQ(driver_->Window().SaveDialogControl().FileName(), file);
  // Confirming made the file's folder the current one.
  EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), folder_));
}

TEST_P(WindowSortSaveContract, SavingAgainAsksBeforeReplacingAndReplacesTheWholeFile) {
  Open();
  driver_->Show();
  const std::filesystem::path file = folder_ / "result.txt";
  AddRow("A", "3");
  AddRow("B", "5");
  ASSERT_TRUE(driver_->SaveThroughTheWindow({file}).confirmed);
  driver_->Window().ResultListControl().SetCellText(1, 1, "7");
  const SaveSeen seen = driver_->SaveThroughTheWindow({file, false, true});
  EXPECT_TRUE(seen.askedToReplace);
  EXPECT_TRUE(seen.confirmed);
  EXPECT_EQ(Bytes(file), "A | 3\r\nB | 7\r\n");
  // The name of the last file, in the folder it is in.
  EXPECT_EQ(seen.offered, "result.txt");
}

TEST_P(WindowSortSaveContract, AnEmptyListGivesAnEmptyFileAndStillConfirms) {
  Open();
  driver_->Show();
  const std::filesystem::path file = folder_ / "empty.txt";
  const SaveSeen seen = driver_->SaveThroughTheWindow({file});
  ASSERT_TRUE(seen.confirmed);
  EXPECT_EQ(seen.confirmation.text, "保存成功！");
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(std::filesystem::file_size(file), 0u);
}

TEST_P(WindowSortSaveContract, ACancelledDialogSavesNothing) {
  Open();
  driver_->Show();
  AddRow("A", "3");
  const SaveSeen seen = driver_->SaveThroughTheWindow({{}, true});
  EXPECT_FALSE(seen.confirmed);
  EXPECT_TRUE(driver_->Program().SaveFileName().empty());
  EXPECT_EQ(driver_->Window().SaveDialogControl().FileName(), std::filesystem::path("*.txt"));
  EXPECT_TRUE(std::filesystem::is_empty(folder_));
}

}  // namespace
}  // namespace rankora::ui::contract

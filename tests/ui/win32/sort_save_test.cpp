// Sorting and saving through the real Win32 window: the sort button, the
// save dialog, the file's bytes and the confirmation.
// clang-format off
#include <windows.h>
#include <commdlg.h>
// clang-format on

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/results_file.h"
#include "text/gbk.h"
#include "ui/win32/main_window.h"
#include "window_driver.h"

namespace rankora::ui::win32 {
namespace {

using testing::ControlNamed;

std::string Bytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class SortSaveTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::StartLikeTheProgram(); }

  void SetUp() override {
    previous_ = std::filesystem::current_path();
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    folder_ = std::filesystem::path(base) / (L"rankora-win32-" + std::to_wstring(GetCurrentProcessId()));
    std::filesystem::create_directories(folder_);
    window_.Show(SW_SHOWNORMAL);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  void AddRow(const std::string& domain, const std::string& weight) {
    app::ResultList& list = window_.ResultListControl();
    const int row = list.InsertRow();
    list.SetCellText(row, 0, domain);
    list.SetCellText(row, 1, weight);
  }
  std::vector<std::string> Column(int column) {
    std::vector<std::string> texts;
    app::ResultList& list = window_.ResultListControl();
    for (int row = 0; row < list.RowCount(); ++row) texts.push_back(list.CellText(row, column));
    return texts;
  }

  // Clicks 按钮2, names `file` in the save dialog, and gives the text of the
  // confirmation.
  std::vector<std::string> Save(const std::filesystem::path& file) {
    testing::DialogAnswerer dialog(testing::OwnedBy(window_.Handle()), testing::ChooseFile(file.wstring(), &offered_));
    // The confirmation comes from the save's own thread and leaves the
    // window usable.
    bool windowUsable = false;
    testing::DialogAnswerer confirmation(testing::TitledBox("信息："), [&](HWND box) {
      windowUsable = IsWindowEnabled(window_.Handle()) != FALSE;
      testing::Press(IDOK)(box);
    });
    testing::Click(ControlNamed(window_, "按钮2"));
    EXPECT_TRUE(dialog.Wait());
    EXPECT_TRUE(confirmation.Wait());
    EXPECT_EQ(confirmation.What().owner, nullptr);
    EXPECT_EQ(confirmation.What().buttons, 1);
    EXPECT_TRUE(windowUsable);
    window_.GetProgram().WaitForSaves();
    return confirmation.What().texts;
  }

  std::filesystem::path previous_;
  std::filesystem::path folder_;
  std::wstring offered_;  // what the save dialog's name box held when shown
  MainWindow window_;
};

TEST_F(SortSaveTest, SortButtonOrdersTheWeightsAsTextHighestFirst) {
  for (const char* weight : {"1", "10", "2", "0"}) AddRow("d" + std::string(weight) + ".com", weight);
  testing::Click(ControlNamed(window_, "按钮3"));
  EXPECT_EQ(Column(1), (std::vector<std::string>{"2", "10", "1", "0"}));
  EXPECT_EQ(Column(0), (std::vector<std::string>{"d2.com", "d10.com", "d1.com", "d0.com"}));
}

TEST_F(SortSaveTest, SavesEveryRowInListOrderAndConfirms) {
  AddRow("A", "3");
  AddRow("B", "5");
  AddRow(text::Gbk("中文.com"), "");
  testing::Click(ControlNamed(window_, "按钮3"));
  // A name the platform's code page could not hold stays whole to the file.
  const std::filesystem::path file = folder_ / L"\x7ed3\x679c-\xACB0.txt";
  const std::vector<std::string> texts = Save(file);
  EXPECT_EQ(offered_, L"*.txt");
  EXPECT_EQ(texts, std::vector<std::string>{"保存成功！"});
  EXPECT_EQ(Bytes(file), "B | 5\r\nA | 3\r\n" + text::Gbk("中文.com") + " | \r\n");
  EXPECT_EQ(window_.GetProgram().SaveFileName(), file);
  EXPECT_EQ(window_.SaveDialogControl().FileName(), file);
  // Confirming made the file's folder the current one.
  EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), folder_));
}

TEST_F(SortSaveTest, SavingAgainAsksBeforeReplacingAndReplacesTheWholeFile) {
  const std::filesystem::path file = folder_ / L"result.txt";
  AddRow("A", "3");
  AddRow("B", "5");
  Save(file);
  window_.ResultListControl().SetCellText(1, 1, "7");
  // The dialog offers the last path; the overwrite question is answered yes.
  std::wstring offered;
  testing::DialogAnswerer dialog(testing::OwnedBy(window_.Handle()), testing::ChooseFile(file.wstring(), &offered));
  testing::DialogAnswerer replace(
      [&](HWND box) {
        const HWND owner = GetWindow(box, GW_OWNER);
        return owner != nullptr && owner != window_.Handle() && GetWindow(owner, GW_OWNER) == window_.Handle();
      },
      testing::Press(IDYES));
  testing::DialogAnswerer confirmation(testing::TitledBox("信息："), testing::Press(IDOK));
  testing::Click(ControlNamed(window_, "按钮2"));
  EXPECT_TRUE(dialog.Wait());
  EXPECT_TRUE(replace.Wait());
  EXPECT_TRUE(confirmation.Wait());
  window_.GetProgram().WaitForSaves();
  EXPECT_EQ(Bytes(file), "A | 3\r\nB | 7\r\n");
  // The name of the last file, in the folder it is in.
  EXPECT_EQ(offered, L"result.txt");
}

TEST_F(SortSaveTest, AnEmptyListGivesAnEmptyFileAndStillConfirms) {
  const std::filesystem::path file = folder_ / L"empty.txt";
  EXPECT_EQ(Save(file), std::vector<std::string>{"保存成功！"});
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(std::filesystem::file_size(file), 0u);
}

TEST_F(SortSaveTest, ACancelledDialogSavesNothing) {
  testing::DialogAnswerer dialog(testing::OwnedBy(window_.Handle()), testing::Press(IDCANCEL));
  testing::Click(ControlNamed(window_, "按钮2"));
  EXPECT_TRUE(dialog.Wait());
  EXPECT_TRUE(window_.GetProgram().SaveFileName().empty());
  EXPECT_EQ(window_.SaveDialogControl().FileName(), std::filesystem::path(L"*.txt"));
  EXPECT_TRUE(std::filesystem::is_empty(folder_));
}

}  // namespace
}  // namespace rankora::ui::win32

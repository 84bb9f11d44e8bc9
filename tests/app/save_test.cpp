#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/program.h"
#include "app/results_file.h"
#include "app/texts.h"
#include "fake_window.h"
#include "save_fixture.h"
#include "text/gbk.h"

namespace rankora::app {
namespace {

using testing::FakeWindow;

TEST(ResultsText, WritesEachRowAsDomainBarWeightAndCrLf) {
  EXPECT_EQ(ResultsText({{"A", "3"}, {"B", "5"}}), "A | 3\r\nB | 5\r\n");
  EXPECT_EQ(ResultsText({}), "");
  EXPECT_EQ(ResultsText({{"C", ""}}), "C | \r\n");
  EXPECT_EQ(ResultsText({{text::Gbk("中文.com"), "1"}}), text::Gbk("中文.com") + " | 1\r\n");
}

TEST_F(SaveTest, WritesTheRowsAndThenSaysSo) {
  window_.AddRow({"A", "3"});
  window_.AddRow({"B", "5"});
  const std::string path = (folder_ / "result.txt").string();
  Save(path);
  EXPECT_EQ(Read(path), "A | 3\r\nB | 5\r\n");
  EXPECT_EQ(MessagesAfter(1), std::vector<std::string>{GetTexts().savedMessage});
  EXPECT_EQ(program_.SaveFileName(), path);
  EXPECT_EQ(window_.initialFolder, CurrentFolder());
}

TEST_F(SaveTest, ReplacesAnEarlierFileAndWritesAnEmptyListAsNothing) {
  const std::string path = (folder_ / "twice.txt").string();
  window_.AddRow({"A", "3"});
  window_.AddRow({"B", "5"});
  Save(path);
  window_.rows.pop_back();
  Save(path);
  EXPECT_EQ(Read(path), "A | 3\r\n");
  window_.rows.clear();
  Save(path);
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  EXPECT_EQ(MessagesAfter(3).size(), 3u);
}

TEST_F(SaveTest, SaysWhyWhenTheFileCannotBeWritten) {
  window_.AddRow({"A", "3"});
  // Each save's message, once it has come.
  std::size_t said = 0;
  auto saying = [&](const std::filesystem::path& path) {
    Save(path);
    return MessagesAfter(++said).back();
  };
  EXPECT_EQ(saying(folder_ / "missing" / "result.txt"), Failed("文件夹不存在。"));
  EXPECT_EQ(saying(folder_), Failed("选择的是文件夹，不是文件。"));
  EXPECT_EQ(saying(""), Failed("文件夹不存在。"));
  EXPECT_TRUE(Names(folder_).empty());
}

// The reasons the file layer gives, as the words the save names them in.
TEST(SaveFailedMessage, NamesEachReasonOfTheFileLayerInWords) {
  const auto words = [](std::errc reason) { return SaveFailedMessage(std::make_error_code(reason)); };
  EXPECT_EQ(words(std::errc::no_space_on_device), Failed("磁盘已满。"));
  EXPECT_EQ(words(std::errc::permission_denied), Failed("没有写入的权限：文件是只读的，或者文件夹不允许写入。"));
  EXPECT_EQ(words(std::errc::device_or_resource_busy), Failed("文件正被其他程序使用。"));
  EXPECT_EQ(words(std::errc::filename_too_long), Failed("文件名太长。"));
  EXPECT_EQ(words(std::errc::is_a_directory), Failed("选择的是文件夹，不是文件。"));
  EXPECT_EQ(words(std::errc::no_such_file_or_directory), Failed("文件夹不存在。"));
}

TEST_F(SaveTest, AFileNameGbkCannotHoldIsTheFileWritten) {
  const std::filesystem::path path = folder_ / std::filesystem::path(u8"결과😀.txt");
  window_.AddRow({text::Gbk("中文.com"), "3"});
  Save(path);
  EXPECT_EQ(MessagesAfter(1), std::vector<std::string>{GetTexts().savedMessage});
  EXPECT_EQ(Read(path), text::Gbk("中文.com") + " | 3\r\n");
  EXPECT_EQ(Names(folder_), std::vector<std::string>{NameText(path.filename())});
  EXPECT_EQ(program_.SaveFileName(), path);
}

TEST_F(SaveTest, ACancelledDialogChangesNothing) {
  window_.confirm = false;
  window_.fileName = "ignored";
  program_.SaveResults();
  program_.WaitForSaves();
  EXPECT_EQ(program_.SaveFileName(), "");
  EXPECT_EQ(window_.initialFolder, "");
}

TEST_F(SaveTest, WaitsForAWriteInProgress) {
  for (int i = 0; i < 200000; ++i) window_.AddRow({"www.site" + std::to_string(i) + ".com", "3"});
  const std::string path = (folder_ / "large.txt").string();
  window_.confirm = true;
  window_.fileName = path;
  program_.SaveResults();
  // The rows are the writer's own: the list may change at once.
  window_.rows.clear();
  program_.WaitForSaves();
  const std::string bytes = Read(path);
  std::size_t expected = 0;
  for (int i = 0; i < 200000; ++i) expected += ("www.site" + std::to_string(i) + ".com | 3\r\n").size();
  EXPECT_EQ(bytes.size(), expected);
  EXPECT_TRUE(bytes.ends_with("www.site199999.com | 3\r\n"));
}

TEST_F(SaveTest, ASavedFileReadsBackAsItsDomains) {
  window_.AddRow({"a.com", "7"});
  window_.AddRow({"b.com", "10"});
  const std::string path = (folder_ / "back.txt").string();
  Save(path);
  window_.text = Read(path);
  window_.rows.clear();
  std::vector<std::string> asked;
  Program reading(window_, [&](const std::string& domain) {
    asked.push_back(domain);
    return std::string("1");
  });
  reading.RunBatch();
  EXPECT_EQ(asked, (std::vector<std::string>{"a.com", "b.com"}));
}

TEST(MakerPage, OpensTheMakersAddress) {
  FakeWindow window;
  Program program(window);
  program.OpenMakerPage();
  EXPECT_EQ(window.opened, std::vector<std::string>{"http://www.quillon.example/?quanzhong"});
}

}  // namespace
}  // namespace rankora::app

// Saving where the files are Windows ones: the read-only attribute, files
// held open by another program, devices, attributes a replaced file keeps.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/file_write.h"
#include "save_fixture.h"

namespace rankora::app {
namespace {

DWORD Attributes(const std::filesystem::path& path) { return GetFileAttributesW(path.c_str()); }

TEST_F(SaveTest, AFileWithTheReadOnlyAttributeIsLeftAsItWas) {
  const std::filesystem::path path = folder_ / "old.txt";
  std::ofstream(path, std::ios::binary) << "old.com | 1\r\n";
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  window_.AddRow({"A", "3"});
  Save(path);
  EXPECT_EQ(MessagesAfter(1), std::vector<std::string>{Failed("没有写入的权限：文件是只读的，或者文件夹不允许写入。")});
  EXPECT_EQ(Read(path), "old.com | 1\r\n");
  EXPECT_NE(Attributes(path) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(Names(folder_), std::vector<std::string>{"old.txt"});
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SaveTest, AFileHeldOpenWithoutSharingIsLeftAsItWas) {
  const std::filesystem::path path = folder_ / "busy.txt";
  std::ofstream(path, std::ios::binary) << "old.com | 1\r\n";
  const HANDLE held =
      CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  window_.AddRow({"A", "3"});
  Save(path);
  EXPECT_EQ(MessagesAfter(1), std::vector<std::string>{Failed("文件正被其他程序使用。")});
  CloseHandle(held);
  EXPECT_EQ(Read(path), "old.com | 1\r\n");
  EXPECT_EQ(Names(folder_), std::vector<std::string>{"busy.txt"});
  // Once the other program lets go, the same save goes through.
  Save(path);
  EXPECT_EQ(MessagesAfter(2).back(), GetTexts().savedMessage);
  EXPECT_EQ(Read(path), "A | 3\r\n");
}

TEST_F(SaveTest, ADeviceIsWrittenInPlace) {
  window_.AddRow({"A", "3"});
  Save("NUL");
  EXPECT_EQ(MessagesAfter(1), std::vector<std::string>{GetTexts().savedMessage});
  EXPECT_TRUE(Names(folder_).empty());
}

TEST_F(SaveTest, AReplacedFileStaysHidden) {
  const std::filesystem::path path = folder_ / "hidden.txt";
  std::ofstream(path, std::ios::binary) << "old\r\n";
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
  window_.AddRow({"A", "3"});
  Save(path);
  EXPECT_EQ(MessagesAfter(1), std::vector<std::string>{GetTexts().savedMessage});
  EXPECT_EQ(Read(path), "A | 3\r\n");
  EXPECT_NE(Attributes(path) & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(Names(folder_), std::vector<std::string>{"hidden.txt"});
}

TEST(WriteWholeFile, ANameAtTheLengthLimitIsWrittenAndOneBeyondItIsRefused) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "rankora-long-names";
  std::filesystem::create_directories(folder);
  const std::filesystem::path longest = folder / (std::string(251, 'x') + ".txt");
  EXPECT_FALSE(WriteWholeFile(longest, "A | 3\r\n"));
  EXPECT_EQ(Read(longest), "A | 3\r\n");
  EXPECT_FALSE(WriteWholeFile(longest, "B | 4\r\n"));
  EXPECT_EQ(Read(longest), "B | 4\r\n");
  const std::error_code tooLong = WriteWholeFile(folder / (std::string(252, 'x') + ".txt"), "A | 3\r\n");
  EXPECT_EQ(SaveFailedMessage(tooLong), Failed("文件名太长。"));
  EXPECT_EQ(Names(folder), std::vector<std::string>{NameText(longest.filename())});
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace rankora::app

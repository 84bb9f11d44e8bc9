#include "files/append_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "files/whole_file.h"
#include "files_fixture.h"

namespace rankora::files {
namespace {

TEST_F(FilesTest, LinesGoAtTheEndAndAreThereAsSoonAsWritten) {
  const std::filesystem::path path = folder_ / "journal.txt";
  std::ofstream(path, std::ios::binary) << "# head\n";
  AppendFile::Opened opened = AppendFile::Open(path);
  ASSERT_FALSE(opened.error) << opened.error.message();
  ASSERT_TRUE(opened.file);
  EXPECT_FALSE(opened.file.Write("a.com 3\n"));
  // Nothing is held back in this process.
  EXPECT_EQ(Read(path), "# head\na.com 3\n");
  // Moved, it is the same open file; the one moved from has none.
  AppendFile moved = std::move(opened.file);
  EXPECT_FALSE(opened.file);  // NOLINT(bugprone-use-after-move): a moved-from file is promised empty
  EXPECT_TRUE(opened.file.Write("lost\n"));
  EXPECT_FALSE(moved.Write("b.com 4\n"));
  EXPECT_EQ(Read(path), "# head\na.com 3\nb.com 4\n");
}

TEST_F(FilesTest, AFileIsOnlyAppendedToWhenItIsThere) {
  const AppendFile::Opened opened = AppendFile::Open(folder_ / "missing.txt");
  EXPECT_EQ(opened.error, std::errc::no_such_file_or_directory);
  EXPECT_FALSE(opened.file);
  EXPECT_TRUE(Names(folder_).empty());
}

// The same failure is the same reason, whichever of the layer's calls meets
// it: a journal's file and a saved file are refused in the same words.
TEST_F(FilesTest, TheSameFailureIsTheSameReasonForEveryCall) {
  const std::filesystem::path missing = folder_ / "missing" / "out.txt";
  const std::error_code written = WriteWholeFile(missing, "a\n");
  EXPECT_EQ(written, std::errc::no_such_file_or_directory);
  EXPECT_EQ(AppendFile::Open(missing).error, written);
  EXPECT_EQ(ReadWholeFile(missing).error, written);

  const std::error_code folder = WriteWholeFile(folder_, "a\n");
  EXPECT_EQ(folder, std::errc::is_a_directory);
  EXPECT_EQ(AppendFile::Open(folder_).error, folder);
  EXPECT_EQ(ReadWholeFile(folder_).error, folder);

  const std::filesystem::path readOnly = folder_ / "read-only.txt";
  std::ofstream(readOnly, std::ios::binary) << "old\n";
  std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                             std::filesystem::perms::others_read);
  const std::error_code refused = WriteWholeFile(readOnly, "a\n");
  EXPECT_EQ(refused, std::errc::permission_denied);
  EXPECT_EQ(AppendFile::Open(readOnly).error, refused);
  EXPECT_EQ(Read(readOnly), "old\n");
}

}  // namespace
}  // namespace rankora::files

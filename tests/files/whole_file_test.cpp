#include "files/whole_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "files_fixture.h"

namespace rankora::files {
namespace {

TEST_F(FilesTest, AWrittenFileReadsBackWholeAndAnotherWriteReplacesIt) {
  const std::filesystem::path path = folder_ / "out.txt";
  std::string bytes;
  // Larger than one read, and with every byte value.
  for (int i = 0; i < 200000; ++i) bytes += static_cast<char>(i % 256);
  EXPECT_FALSE(WriteWholeFile(path, bytes));
  ReadResult read = ReadWholeFile(path);
  EXPECT_FALSE(read.error);
  EXPECT_EQ(read.bytes, bytes);
  EXPECT_FALSE(WriteWholeFile(path, ""));
  read = ReadWholeFile(path);
  EXPECT_FALSE(read.error);
  EXPECT_EQ(read.bytes, "");
  EXPECT_EQ(Names(folder_), std::vector<std::string>{"out.txt"});
}

TEST_F(FilesTest, AFileNameOfAnyLanguageIsTheFileWritten) {
  const std::filesystem::path path = folder_ / std::filesystem::path(u8"결과😀.txt");
  EXPECT_FALSE(WriteWholeFile(path, "A | 3\r\n"));
  EXPECT_EQ(Read(path), "A | 3\r\n");
  EXPECT_EQ(ReadWholeFile(path).bytes, "A | 3\r\n");
  EXPECT_EQ(Names(folder_), std::vector<std::string>{NameText(path.filename())});
}

TEST_F(FilesTest, AFileThatIsNotThereIsReadAsNothingAndWhy) {
  const ReadResult read = ReadWholeFile(folder_ / "missing.txt");
  EXPECT_EQ(read.error, std::errc::no_such_file_or_directory);
  EXPECT_EQ(read.bytes, "");
  EXPECT_EQ(ReadWholeFile("").error, std::errc::no_such_file_or_directory);
  EXPECT_EQ(WriteWholeFile("", "A"), std::errc::no_such_file_or_directory);
}

}  // namespace
}  // namespace rankora::files

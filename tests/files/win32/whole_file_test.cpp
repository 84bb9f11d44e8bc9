// Whole files where the files are Windows ones: the read-only attribute,
// files held open by another program, devices, attributes a replaced file
// keeps, names and paths at and beyond the platform's limits.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "files/append_file.h"
#include "files/whole_file.h"
#include "files_fixture.h"

namespace rankora::files {
namespace {

DWORD Attributes(const std::filesystem::path& path) { return GetFileAttributesW(path.c_str()); }

TEST_F(FilesTest, AFileWithTheReadOnlyAttributeIsLeftAsItWas) {
  const std::filesystem::path path = folder_ / "old.txt";
  std::ofstream(path, std::ios::binary) << "old.com | 1\r\n";
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(WriteWholeFile(path, "A | 3\r\n"), std::errc::permission_denied);
  EXPECT_EQ(Read(path), "old.com | 1\r\n");
  EXPECT_NE(Attributes(path) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(Names(folder_), std::vector<std::string>{"old.txt"});
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FilesTest, AFileHeldOpenWithoutSharingIsLeftAsItWas) {
  const std::filesystem::path path = folder_ / "busy.txt";
  std::ofstream(path, std::ios::binary) << "old.com | 1\r\n";
  const HANDLE held =
      CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(WriteWholeFile(path, "A | 3\r\n"), std::errc::device_or_resource_busy);
  CloseHandle(held);
  EXPECT_EQ(Read(path), "old.com | 1\r\n");
  EXPECT_EQ(Names(folder_), std::vector<std::string>{"busy.txt"});
  // Once the other program lets go, the same write goes through.
  EXPECT_FALSE(WriteWholeFile(path, "A | 3\r\n"));
  EXPECT_EQ(Read(path), "A | 3\r\n");
}

TEST_F(FilesTest, ADeviceIsWrittenInPlace) {
  EXPECT_FALSE(WriteWholeFile("NUL", "A | 3\r\n"));
  EXPECT_TRUE(Names(folder_).empty());
}

TEST_F(FilesTest, AReplacedFileStaysHidden) {
  const std::filesystem::path path = folder_ / "hidden.txt";
  std::ofstream(path, std::ios::binary) << "old\r\n";
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_FALSE(WriteWholeFile(path, "A | 3\r\n"));
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
  const std::filesystem::path tooLong = folder / (std::string(252, 'x') + ".txt");
  EXPECT_EQ(WriteWholeFile(tooLong, "A | 3\r\n"), std::errc::filename_too_long);
  EXPECT_EQ(AppendFile::Open(tooLong).error, std::errc::filename_too_long);
  EXPECT_EQ(ReadWholeFile(tooLong).error, std::errc::filename_too_long);
  EXPECT_EQ(Names(folder), std::vector<std::string>{NameText(longest.filename())});
  std::filesystem::remove_all(folder);
}

// Every call of the layer takes a path longer than the platform's classic
// limit of 260 characters.
TEST_F(FilesTest, APathBeyondTheClassicLimitIsWrittenReadAndAppendedTo) {
  std::wstring deep = L"\\\\?\\" + std::filesystem::absolute(folder_).wstring();
  for (int i = 0; i < 4; ++i) {
    deep += L"\\" + std::wstring(80, static_cast<wchar_t>(L'a' + i));
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr)) << GetLastError();
  }
  // The path as the user would give it, without the long form's prefix.
  const std::filesystem::path path = std::filesystem::path(deep.substr(4)) / "out.txt";
  ASSERT_GT(path.wstring().size(), 260u);
  EXPECT_FALSE(WriteWholeFile(path, "a\n"));
  AppendFile::Opened opened = AppendFile::Open(path);
  ASSERT_FALSE(opened.error) << opened.error.message();
  EXPECT_FALSE(opened.file.Write("b\n"));
  const ReadResult read = ReadWholeFile(path);
  EXPECT_FALSE(read.error) << read.error.message();
  EXPECT_EQ(read.bytes, "a\nb\n");
  opened.file = AppendFile();
  DeleteFileW((deep + L"\\out.txt").c_str());
  for (int i = 0; i < 4; ++i) {
    RemoveDirectoryW(deep.c_str());
    deep.resize(deep.rfind(L'\\'));
  }
}

}  // namespace
}  // namespace rankora::files

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "app/program.h"
#include "app/results_file.h"
#include "app/texts.h"
#include "fake_window.h"
#include "text/gbk.h"

namespace rankora::app {
namespace {

using testing::FakeWindow;

std::string Read(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

class SaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("rankora-save-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // Saves through the handler and waits for the file to be written.
  void Save(const std::filesystem::path& path) {
    window_.confirm = true;
    window_.fileName = path;
    program_.SaveResults();
    program_.WaitForSaves();
  }
  // The message a save shows comes after its file is written.
  std::vector<std::string> MessagesAfter(std::size_t count) {
    FakeWindow::Log& log = *window_.workerMessages;
    std::unique_lock lock(log.mutex);
    // Bounded, so that a message that never comes fails the test instead of
    // hanging it.
    log.arrived.wait_for(lock, std::chrono::seconds(30), [&] { return log.texts.size() >= count; });
    return log.texts;
  }

  std::filesystem::path folder_;
  FakeWindow window_;
  Program program_{window_, [](const std::string& domain) { return domain; }};
};

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

// The names in a folder, so that a stray half-written file shows.
std::vector<std::string> Names(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Failed(const char* reason) { return GetTexts().saveFailed + text::Gbk(reason); }

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
  // A device is written in place, never replaced.
  EXPECT_EQ(saying("/dev/full"), Failed("磁盘已满。"));
  struct stat device {};
  ASSERT_EQ(::stat("/dev/full", &device), 0);
  EXPECT_TRUE(S_ISCHR(device.st_mode));
  EXPECT_TRUE(Names(folder_).empty());
}

TEST_F(SaveTest, AReadOnlyFileIsLeftAsItWas) {
  const std::filesystem::path path = folder_ / "old.txt";
  std::ofstream(path, std::ios::binary) << "old.com | 1\r\n";
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
  window_.AddRow({"A", "3"});
  Save(path);
  EXPECT_EQ(MessagesAfter(1), std::vector<std::string>{Failed("没有写入的权限：文件是只读的，或者文件夹不允许写入。")});
  EXPECT_EQ(Read(path), "old.com | 1\r\n");
  EXPECT_EQ(Names(folder_), std::vector<std::string>{"old.txt"});
}

// Runs `write` as a user without root's rights (in a child process when the
// tests run as root) and gives its result.
std::error_code AsUser(const std::function<std::error_code()>& write) {
  if (::geteuid() != 0) return write();
  int channel[2];
  if (::pipe(channel) != 0) return {errno, std::generic_category()};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    int value = -1;
    if (::setgid(65534) == 0 && ::setuid(65534) == 0) value = write().value();
    [[maybe_unused]] const ssize_t sent = ::write(channel[1], &value, sizeof value);
    ::_exit(0);
  }
  ::close(channel[1]);
  int value = -1;
  [[maybe_unused]] const ssize_t got = ::read(channel[0], &value, sizeof value);
  ::close(channel[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return {value, std::generic_category()};
}

TEST_F(SaveTest, AFolderWithoutWritePermissionIsRefused) {
  const std::filesystem::path locked = folder_ / "locked";
  std::filesystem::create_directory(locked);
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                           std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                           std::filesystem::perms::others_exec);
  std::filesystem::permissions(folder_, std::filesystem::perms::others_exec, std::filesystem::perm_options::add);
  const std::error_code failure = AsUser([&] { return WriteResultsFile(locked / "result.txt", {{"A", "3"}}); });
  EXPECT_EQ(failure, std::errc::permission_denied);
  EXPECT_EQ(SaveFailedMessage(failure), Failed("没有写入的权限：文件是只读的，或者文件夹不允许写入。"));
  EXPECT_TRUE(Names(locked).empty());
}

// A file system of 64 KiB of its own, mounted for the test.
class FullDiskTest : public SaveTest {
 protected:
  void SetUp() override {
    SaveTest::SetUp();
    disk_ = folder_ / "disk";
    std::filesystem::create_directory(disk_);
    if (::mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=64k") != 0) {
      GTEST_SKIP() << "a small file system can only be mounted as root (" << std::strerror(errno) << ")";
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount(disk_.c_str());
    SaveTest::TearDown();
  }

  std::filesystem::path disk_;
  bool mounted_ = false;
};

TEST_F(FullDiskTest, AFailedSaveLeavesTheOldFileAsItWasAndNothingElse) {
  const std::filesystem::path path = disk_ / "result.txt";
  std::ofstream(path, std::ios::binary) << "old1.com | 1\r\nold2.com | 2\r\n";
  std::ofstream(disk_ / "filler", std::ios::binary) << std::string(40 * 1024, 'x');
  for (int i = 0; i < 100000; ++i) window_.AddRow({"www.site" + std::to_string(i) + ".com", "3"});
  Save(path);
  EXPECT_EQ(MessagesAfter(1), std::vector<std::string>{Failed("磁盘已满。")});
  EXPECT_EQ(Read(path), "old1.com | 1\r\nold2.com | 2\r\n");
  EXPECT_EQ(Names(disk_), (std::vector<std::string>{"filler", "result.txt"}));
  // With room again, the same save goes through.
  std::filesystem::remove(disk_ / "filler");
  window_.rows.resize(1000);
  Save(path);
  EXPECT_TRUE(Read(path).starts_with("www.site0.com | 3\r\n"));
  EXPECT_EQ(MessagesAfter(2).back(), GetTexts().savedMessage);
}

TEST_F(SaveTest, ReplacingKeepsTheFilesPermissionsAndLinks) {
  const std::filesystem::path real = folder_ / "real.txt";
  const std::filesystem::path link = folder_ / "link.txt";
  std::ofstream(real, std::ios::binary) << "old\r\n";
  std::filesystem::permissions(real, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_read);
  std::filesystem::create_symlink(real, link);
  window_.AddRow({"A", "3"});
  Save(link);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Read(real), "A | 3\r\n");
  EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms::owner_read |
                                                             std::filesystem::perms::owner_write |
                                                             std::filesystem::perms::group_read);
  EXPECT_EQ(Names(folder_), (std::vector<std::string>{"link.txt", "real.txt"}));
}

TEST_F(SaveTest, AFileNameGbkCannotHoldIsTheFileWritten) {
  const std::filesystem::path path = folder_ / std::filesystem::path(u8"결과😀.txt");
  window_.AddRow({text::Gbk("中文.com"), "3"});
  Save(path);
  EXPECT_EQ(MessagesAfter(1), std::vector<std::string>{GetTexts().savedMessage});
  EXPECT_EQ(Read(path), text::Gbk("中文.com") + " | 3\r\n");
  EXPECT_EQ(Names(folder_), std::vector<std::string>{path.filename()});
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

// Saving where the files and folders are POSIX ones: devices, permission
// bits, users, links and a file system of its own.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "app/results_file.h"
#include "save_fixture.h"

namespace rankora::app {
namespace {

TEST_F(SaveTest, ADeviceIsWrittenInPlace) {
  window_.AddRow({"A", "3"});
  Save("/dev/full");
  EXPECT_EQ(MessagesAfter(1), std::vector<std::string>{Failed("磁盘已满。")});
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

}  // namespace
}  // namespace rankora::app

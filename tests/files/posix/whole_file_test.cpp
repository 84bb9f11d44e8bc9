// Whole files where the files and folders are POSIX ones: devices,
// permission bits, users, links and a file system of its own.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "files/whole_file.h"
#include "files_fixture.h"

namespace rankora::files {
namespace {

TEST_F(FilesTest, ADeviceIsWrittenInPlace) {
  EXPECT_EQ(WriteWholeFile("/dev/full", "A | 3\r\n"), std::errc::no_space_on_device);
  struct stat device {};
  ASSERT_EQ(::stat("/dev/full", &device), 0);
  EXPECT_TRUE(S_ISCHR(device.st_mode));
  EXPECT_TRUE(Names(folder_).empty());
}

TEST_F(FilesTest, AReadOnlyFileIsLeftAsItWas) {
  const std::filesystem::path path = folder_ / "old.txt";
  std::ofstream(path, std::ios::binary) << "old.com | 1\r\n";
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
  EXPECT_EQ(WriteWholeFile(path, "A | 3\r\n"), std::errc::permission_denied);
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

TEST_F(FilesTest, AFolderWithoutWritePermissionIsRefused) {
  const std::filesystem::path locked = folder_ / "locked";
  std::filesystem::create_directory(locked);
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                           std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                           std::filesystem::perms::others_exec);
  std::filesystem::permissions(folder_, std::filesystem::perms::others_exec, std::filesystem::perm_options::add);
  const std::error_code failure = AsUser([&] { return WriteWholeFile(locked / "result.txt", "A | 3\r\n"); });
  EXPECT_EQ(failure, std::errc::permission_denied);
  EXPECT_TRUE(Names(locked).empty());
}

// A file system of 64 KiB of its own, mounted for the test.
class FullDiskTest : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    disk_ = folder_ / "disk";
    std::filesystem::create_directory(disk_);
    if (::mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=64k") != 0) {
      GTEST_SKIP() << "a small file system can only be mounted as root (" << std::strerror(errno) << ")";
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount(disk_.c_str());
    FilesTest::TearDown();
  }

  std::filesystem::path disk_;
  bool mounted_ = false;
};

std::string Lines(int count) {
  std::string lines;
  for (int i = 0; i < count; ++i) lines += "www.site" + std::to_string(i) + ".com | 3\r\n";
  return lines;
}

TEST_F(FullDiskTest, AFailedWriteLeavesTheOldFileAsItWasAndNothingElse) {
  const std::filesystem::path path = disk_ / "result.txt";
  std::ofstream(path, std::ios::binary) << "old1.com | 1\r\nold2.com | 2\r\n";
  std::ofstream(disk_ / "filler", std::ios::binary) << std::string(40 * 1024, 'x');
  EXPECT_EQ(WriteWholeFile(path, Lines(100000)), std::errc::no_space_on_device);
  EXPECT_EQ(Read(path), "old1.com | 1\r\nold2.com | 2\r\n");
  EXPECT_EQ(Names(disk_), (std::vector<std::string>{"filler", "result.txt"}));
  // With room again, the same write goes through.
  std::filesystem::remove(disk_ / "filler");
  EXPECT_FALSE(WriteWholeFile(path, Lines(1000)));
  EXPECT_TRUE(Read(path).starts_with("www.site0.com | 3\r\n"));
}

TEST_F(FilesTest, ReplacingKeepsTheFilesPermissionsAndLinks) {
  const std::filesystem::path real = folder_ / "real.txt";
  const std::filesystem::path link = folder_ / "link.txt";
  std::ofstream(real, std::ios::binary) << "old\r\n";
  std::filesystem::permissions(real, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_read);
  std::filesystem::create_symlink(real, link);
  EXPECT_FALSE(WriteWholeFile(link, "A | 3\r\n"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Read(real), "A | 3\r\n");
  EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms::owner_read |
                                                             std::filesystem::perms::owner_write |
                                                             std::filesystem::perms::group_read);
  EXPECT_EQ(Names(folder_), (std::vector<std::string>{"link.txt", "real.txt"}));
}

}  // namespace
}  // namespace rankora::files

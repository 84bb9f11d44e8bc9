#include "files/output_lock.h"

#include <gtest/gtest.h>

#include "files_fixture.h"

#ifdef _WIN32
#include <process.h>
#define RANKORA_PROCESS_ID _getpid
#else
#include <unistd.h>
#define RANKORA_PROCESS_ID getpid
#endif

namespace rankora::files {
namespace {

using OutputLockTest = FilesTest;

TEST_F(OutputLockTest, OneRunAtATimeHoldsAnOutputAndSaysWhoHoldsIt) {
  const std::filesystem::path output = folder_ / "out.txt";
  OutputLock::Taken first = OutputLock::Take(output);
  ASSERT_FALSE(first.error) << first.error.message();
  ASSERT_TRUE(first.lock);
  const OutputLock::Taken second = OutputLock::Take(output);
  EXPECT_EQ(second.error, std::errc::device_or_resource_busy);
  EXPECT_FALSE(second.lock);
  EXPECT_EQ(second.holder, static_cast<long>(RANKORA_PROCESS_ID()));
  // Another output is another lock.
  EXPECT_FALSE(OutputLock::Take(folder_ / "other.txt").error);
  // Let go, it is free again; the output need not exist for any of this.
  first.lock = OutputLock();
  EXPECT_FALSE(OutputLock::Take(output).error);
  EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(OutputLockTest, TwoNamesOfOneFileAreOneOutput) {
  std::filesystem::create_directories(folder_ / "sub");
  const OutputLock::Taken first = OutputLock::Take(folder_ / "sub" / ".." / "out.txt");
  ASSERT_FALSE(first.error);
  EXPECT_EQ(OutputLock::Take(folder_ / "out.txt").error, std::errc::device_or_resource_busy);
  std::ofstream(folder_ / "out.txt") << "a.com | 3\r\n";
  std::error_code linked;
  std::filesystem::create_symlink(folder_ / "out.txt", folder_ / "link.txt", linked);
  if (linked) GTEST_SKIP() << "no symbolic links here: " << linked.message();
  EXPECT_EQ(OutputLock::Take(folder_ / "link.txt").error, std::errc::device_or_resource_busy);
}

TEST(OutputLockName, IsTheSameForTheSamePathAndDiffersForAnother) {
  const std::filesystem::path path = std::filesystem::path("/data") / "out.txt";
  EXPECT_EQ(OutputLockName(path), OutputLockName(path));
  EXPECT_NE(OutputLockName(path), OutputLockName(std::filesystem::path("/data") / "out2.txt"));
  EXPECT_EQ(OutputLockName(path).rfind("rankora-output-", 0), 0u);
}

}  // namespace
}  // namespace rankora::files

#include "ui/cli/console.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace rankora::cli {
namespace {

// FitConcurrency's answer in a child process whose open-file limit is
// `limit`, soft and hard, so the test's own limit stays as it was.
int FitUnderLimit(rlim_t limit, int wanted) {
  const pid_t child = fork();
  if (child == 0) {
    const rlimit fixed{limit, limit};
    if (setrlimit(RLIMIT_NOFILE, &fixed) != 0) _exit(255);
    _exit(FitConcurrency(wanted));
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(FitConcurrency, LowersWhatDoesNotFitUnderTheOpenFileLimit) {
  EXPECT_EQ(FitUnderLimit(128, 200), 16);
  EXPECT_EQ(FitUnderLimit(128, 10), 10);
  EXPECT_EQ(FitUnderLimit(70, 50), 1);
}

TEST(FitConcurrency, RaisesItsOwnLimitWhereTheSystemAllows) {
  const pid_t child = fork();
  if (child == 0) {
    const rlimit low{128, 4096};
    if (setrlimit(RLIMIT_NOFILE, &low) != 0) _exit(255);
    const int fitted = FitConcurrency(200);
    rlimit now{};
    getrlimit(RLIMIT_NOFILE, &now);
    _exit(fitted == 200 && now.rlim_cur >= 64 + 4 * 200 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace rankora::cli

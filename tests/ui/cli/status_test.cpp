#include "ui/cli/status.h"

#include <gtest/gtest.h>

namespace rankora::cli {
namespace {

using namespace std::chrono_literals;

TEST(StatusLine, TellsDoneFoundRefusedFailedRateAndTimeLeft) {
  batch::Progress progress;
  const batch::Clock::time_point now = batch::Clock::now();
  progress.started = now - 2min;
  progress.total = 1000;
  progress.done = 200;
  progress.found = 190;
  progress.none = 4;
  progress.refused = 1;
  progress.failed = 5;
  progress.exits = 4;
  progress.exitsCooling = 1;
  const std::string line = StatusLine(progress, now, std::chrono::system_clock::now());
  EXPECT_NE(line.find("已完成 200/1000"), std::string::npos) << line;
  EXPECT_NE(line.find("有权重 190"), std::string::npos) << line;
  EXPECT_NE(line.find("被限制 1"), std::string::npos) << line;
  EXPECT_NE(line.find("失败 5"), std::string::npos) << line;
  EXPECT_NE(line.find("每分钟 100"), std::string::npos) << line;
  EXPECT_NE(line.find("剩余约 8分00秒"), std::string::npos) << line;
  EXPECT_NE(line.find("冷却中出口 1/4"), std::string::npos) << line;
  EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST(StatusLine, TellsWhenTheFirstExitComesBackWhileEveryExitCools) {
  batch::Progress progress;
  const batch::Clock::time_point now = batch::Clock::now();
  progress.started = now - 1min;
  progress.total = 10;
  progress.exits = 2;
  progress.exitsCooling = 2;
  progress.nextExitBack = now + 15min;
  // A wall clock at a known local time of day: 12:00:00 today.
  std::time_t today = std::time(nullptr);
  std::tm noon = *std::localtime(&today);
  noon.tm_hour = 12, noon.tm_min = 0, noon.tm_sec = 0;
  const auto wall = std::chrono::system_clock::from_time_t(std::mktime(&noon));
  const std::string line = StatusLine(progress, now, wall);
  EXPECT_NE(line.find("冷却中出口 2/2"), std::string::npos) << line;
  EXPECT_NE(line.find("12:15:00 恢复"), std::string::npos) << line;
  EXPECT_EQ(line.find("每分钟"), std::string::npos) << line;  // nothing done yet: no rate to tell
  // Past a day, the date too.
  progress.nextExitBack = now + 24h * 3 + 15min;
  noon.tm_mday += 3;
  noon.tm_min = 15;
  char expected[32];
  std::time_t later = std::mktime(&noon);
  std::strftime(expected, sizeof expected, "%Y-%m-%d 12:15:00 恢复", std::localtime(&later));
  const std::string far = StatusLine(progress, now, wall);
  EXPECT_NE(far.find(expected), std::string::npos) << far;
}

TEST(StatusLine, TellsADateAfter2038) {
  batch::Progress progress;
  const batch::Clock::time_point now = batch::Clock::now();
  progress.started = now - 1min;
  progress.total = 10;
  progress.exits = 1;
  progress.exitsCooling = 1;
  progress.nextExitBack = now + 24h * 3;
  // Noon UTC on 2040-01-01, past the end of a 32-bit time_t: three days on
  // is the 4th, or the 5th east of +12:00.
  const auto wall = std::chrono::sys_days{std::chrono::year{2040} / std::chrono::January / 1} + 12h;
  const std::string line = StatusLine(progress, now, wall);
  EXPECT_NE(line.find("出口全部冷却，2040-01-0"), std::string::npos) << line;
}

TEST(StatusLine, WritesDurationsAsPeopleReadThem) {
  EXPECT_EQ(DurationText(12s), "12秒");
  EXPECT_EQ(DurationText(185s), "3分05秒");
  EXPECT_EQ(DurationText(3720s), "1小时02分");
  EXPECT_EQ(DurationText(-5s), "0秒");
}

}  // namespace
}  // namespace rankora::cli

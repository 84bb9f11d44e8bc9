#include "batch/status_line.h"

#include "batch/local_time.h"

#include <algorithm>
#include <cstdio>

namespace rankora::batch {

std::string DurationText(std::chrono::seconds duration) {
  const long long total = std::max<long long>(0, duration.count());
  char text[48];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%lld小时%02lld分", total / 3600, total % 3600 / 60);
  } else if (total >= 60) {
    std::snprintf(text, sizeof text, "%lld分%02lld秒", total / 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld秒", total);
  }
  return text;
}

std::string StatusLine(const Progress& progress, Clock::time_point now, std::chrono::system_clock::time_point wallNow) {
  const double minutes = std::chrono::duration<double, std::ratio<60>>(now - progress.started).count();
  // Lookups a minute are only told once there is something to tell them by.
  const double rate = minutes > 1.0 / 60 && progress.done > 0 ? static_cast<double>(progress.done) / minutes : 0;
  char text[256];
  std::snprintf(text, sizeof text, "已完成 %ld/%ld · 有权重 %ld · 无权重 %ld · 被限制 %ld · 失败 %ld", progress.done,
                progress.total, progress.found, progress.none, progress.refused, progress.failed);
  std::string line = text;
  if (rate > 0) {
    std::snprintf(text, sizeof text, " · 每分钟 %.0f", rate);
    line += text;
    const long left = progress.total - progress.done;
    if (left > 0) {
      line += " · 剩余约 " + DurationText(std::chrono::seconds(static_cast<long long>(left / rate * 60)));
    }
  }
  if (progress.exits > 1 || progress.exitsCooling > 0) {
    std::snprintf(text, sizeof text, " · 冷却中出口 %d/%d", progress.exitsCooling, progress.exits);
    line += text;
  }
  if (progress.nextExitBack) {
    const auto back =
        wallNow + std::chrono::duration_cast<std::chrono::system_clock::duration>(*progress.nextExitBack - now);
    // A time of day alone reads as today's: a wait past a day shows its date.
    const bool later = *progress.nextExitBack - now >= std::chrono::hours(24);
    line += " · 出口全部冷却，" + LocalTimeText(back, later ? "%Y-%m-%d %H:%M:%S" : "%H:%M:%S") + " 恢复";
  }
  return line;
}

std::string LocalTimeNow() { return LocalTimeText(std::chrono::system_clock::now(), "%Y-%m-%d %H:%M:%S"); }

}  // namespace rankora::batch

// What rankora-batch tells the user while it runs and when it ends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "batch/engine.h"

namespace rankora::cli {

// One status line (UTF-8, no line end): done of total, found, refused,
// failed, lookups a minute, time left, exits cooling and, when every exit
// cools, when the first comes back. `now` is the engine clock's, `wallNow`
// the wall clock's, to show that moment as a time of day.
std::string StatusLine(const batch::Progress& progress, batch::Clock::time_point now,
                       std::chrono::system_clock::time_point wallNow);

// Redraws one status line on a terminal (standard error), or writes a plain
// line every `every` elsewhere, from a thread of its own until stopped.
class StatusReporter {
 public:
  StatusReporter(std::function<batch::Progress()> snapshot, bool terminal, std::chrono::milliseconds every);
  StatusReporter(const StatusReporter&) = delete;
  StatusReporter& operator=(const StatusReporter&) = delete;
  ~StatusReporter() { Stop(); }

  // Ends the thread and clears a line drawn on a terminal.
  void Stop();

 private:
  void Report();

  std::function<batch::Progress()> snapshot_;
  bool terminal_;
  std::chrono::milliseconds every_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopped_ = false;
  bool drawn_ = false;
  std::thread thread_;
};

// "1小时02分", "3分05秒", "12秒".
std::string DurationText(std::chrono::seconds duration);

}  // namespace rankora::cli

// What rankora-batch tells the user while it runs and when it ends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "batch/engine.h"
#include "batch/status_line.h"

namespace rankora::cli {

// The status line's words are the run's own (batch/status_line.h).
using batch::DurationText;
using batch::StatusLine;

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

}  // namespace rankora::cli

#include "ui/cli/status.h"

#include "ui/cli/console.h"

namespace rankora::cli {

StatusReporter::StatusReporter(std::function<batch::Progress()> snapshot, bool terminal,
                               std::chrono::milliseconds every)
    : snapshot_(std::move(snapshot)), terminal_(terminal), every_(terminal ? std::chrono::milliseconds(500) : every) {
  thread_ = std::thread([this] { Report(); });
}

void StatusReporter::Stop() {
  {
    const std::lock_guard lock(mutex_);
    if (stopped_) return;
    stopped_ = true;
  }
  changed_.notify_all();
  thread_.join();
  if (terminal_ && drawn_) WriteError("\r\x1b[K");
}

void StatusReporter::Report() {
  std::unique_lock lock(mutex_);
  while (!changed_.wait_for(lock, every_, [this] { return stopped_; })) {
    const std::string line = StatusLine(snapshot_(), batch::Clock::now(), std::chrono::system_clock::now());
    WriteError(terminal_ ? "\r" + line + "\x1b[K" : line + "\n");
    drawn_ = true;
  }
}

}  // namespace rankora::cli

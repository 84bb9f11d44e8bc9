// What rankora-batch tells the user while it runs and when it ends.
#pragma once

#include <chrono>
#include <string>

#include "batch/engine.h"

namespace rankora::cli {

// One status line (UTF-8, no line end): done of total, found, refused,
// failed, lookups a minute, time left, exits cooling and, when every exit
// cools, when the first comes back. `now` is the engine clock's, `wallNow`
// the wall clock's, to show that moment as a time of day.
std::string StatusLine(const batch::Progress& progress, batch::Clock::time_point now,
                       std::chrono::system_clock::time_point wallNow);

// "1小时02分", "3分05秒", "12秒".
std::string DurationText(std::chrono::seconds duration);

}  // namespace rankora::cli

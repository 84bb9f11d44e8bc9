// A long run's progress in words, as rankora-batch's status line and the
// window's show it, and the moment a record finished as the outputs write it.
#pragma once

#include <chrono>
#include <string>

#include "batch/schedule.h"

namespace rankora::batch {

// One status line (UTF-8, no line end): done of total, found, without
// weight, refused, failed, lookups a minute, time left, exits cooling and,
// when every exit cools, when the first comes back. `now` is the engine
// clock's, `wallNow` the wall clock's, to show that moment as a time of day.
std::string StatusLine(const Progress& progress, Clock::time_point now, std::chrono::system_clock::time_point wallNow);

// "1小时02分", "3分05秒", "12秒".
std::string DurationText(std::chrono::seconds duration);

// Now in local time, "YYYY-MM-DD HH:MM:SS"; safe from any thread.
std::string LocalTimeNow();

}  // namespace rankora::batch

// The local calendar time of a moment, on every platform for any year a
// 64-bit count of seconds holds (the 32-bit Windows program's time_t ends in
// January 2038), and safe to call from any thread.
#pragma once

#include <chrono>
#include <ctime>
#include <optional>
#include <string>

namespace rankora::batch {

// None where the platform cannot place the moment in its calendar.
std::optional<std::tm> LocalTime(std::chrono::system_clock::time_point at);

// The moment's local time in strftime's `format`; empty where LocalTime has none.
std::string LocalTimeText(std::chrono::system_clock::time_point at, const char* format);

}  // namespace rankora::batch

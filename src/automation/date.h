// Platform dates: days since 30 December 1899, the time of day as the
// fraction (running away from zero for days before that date), from the
// year 100 to the year 9999.
#pragma once

#include <string>
#include <string_view>

namespace rankora::automation {

inline constexpr double kFirstDate = -657434.0;  // 1 January 100
inline constexpr double kLastDate = 2958465.0;   // 31 December 9999

struct DateParts {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;

  friend bool operator==(const DateParts&, const DateParts&) = default;
};

// False when a field is out of its range (year 100 to 9999, a real day of
// the month, 0:00:00 to 23:59:59).
bool DateFromParts(const DateParts& parts, double& date);

// Rounded to the nearest second; false outside the platform's range.
bool PartsFromDate(double date, DateParts& parts);

// As the platform writes dates on a Chinese system: "2013/4/25 23:59:59",
// the time left out at midnight, the date left out on 30 December 1899.
// False outside the range.
bool FormatDate(double date, std::u16string& text);

// Reads the dates the platform reads on a Chinese system: three numbers split
// by "/" or "-", read as year/month/day where the fields allow it, else as
// month/day/year, day/month/year or year/day/month ("4/25/2013", "25/4/2013",
// "2013/13/1"), a year of two digits being 1930 to 2029; then optionally a
// time h:mm[:ss]. Or a time alone, on 30 December 1899. A time may carry a
// designator before or after it (上午/下午, AM/PM, A/P), which moves hours up to
// 12 ("12:30 PM", "9 PM"). Blanks as the number conversions allow them.
bool ParseDate(std::u16string_view text, double& date);

}  // namespace rankora::automation

// How values of the value model become text, wherever the program shows or
// stores one: numbers as "%.13g", booleans as 真/假, dates in Chinese units.
#pragma once

#include <string>

namespace rankora::text {

// A double as the program shows and stores it: "%.13g" (13 significant
// digits), GBK, independent of the C locale in force.
std::string DoubleToGbkText(double value);

// "真" or "假", as GBK.
std::string FormatBool(bool value);

// "Y年M月D日", then "h时m分s秒" when the seconds are not zero, else "h时m分"
// when the minutes are not zero, else "h时" when the hour is not zero. GBK.
std::string FormatDateTime(int year, int month, int day, int hour, int minute, int second);

}  // namespace rankora::text

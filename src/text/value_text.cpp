#include "text/value_text.h"

#include <charconv>
#include <string_view>

#include "text/gbk.h"

namespace rankora::text {

std::string DoubleToGbkText(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 13);
  return std::string(buffer, result.ptr);
}

std::string FormatBool(bool value) {
  static const std::string yes = Gbk("真");
  static const std::string no = Gbk("假");
  return value ? yes : no;
}

std::string FormatDateTime(int year, int month, int day, int hour, int minute, int second) {
  static const std::string units[] = {Gbk("年"), Gbk("月"), Gbk("日"), Gbk("时"), Gbk("分"), Gbk("秒")};
  const int values[] = {year, month, day, hour, minute, second};
  // The date always shows; the time shows down to its last non-zero field.
  int fields = 3;
  if (second != 0) {
    fields = 6;
  } else if (minute != 0) {
    fields = 5;
  } else if (hour != 0) {
    fields = 4;
  }
  std::string result;
  for (int i = 0; i < fields; ++i) {
    result += std::to_string(values[i]);
    result += units[i];
  }
  return result;
}

}  // namespace rankora::text

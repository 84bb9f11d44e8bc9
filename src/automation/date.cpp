#include "automation/date.h"

#include <cmath>
#include <cstdint>

namespace rankora::automation {
namespace {

// Days from 1 January 1970 in the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

constexpr std::int64_t kEpoch = -25569;  // 30 December 1899, from 1 January 1970

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

void AppendNumber(std::u16string& text, int value, int width = 1) {
  const std::string digits = std::to_string(value);
  for (int i = static_cast<int>(digits.size()); i < width; ++i) text += u'0';
  for (const char c : digits) text += static_cast<char16_t>(c);
}

class Reader {
 public:
  explicit Reader(std::u16string_view text) : text_(text) {}
  bool AtEnd() const { return pos_ >= text_.size(); }
  char16_t Peek() const { return AtEnd() ? u'\0' : text_[pos_]; }
  bool Take(char16_t c) {
    if (Peek() != c) return false;
    ++pos_;
    return true;
  }
  // True when there was at least one blank.
  bool SkipBlanks() {
    const std::size_t start = pos_;
    while (Peek() == u' ' || Peek() == u'\t') ++pos_;
    return pos_ > start;
  }
  // Up to `most` decimal digits; false when there is none.
  bool Number(int most, int& value) {
    int count = 0;
    value = 0;
    while (count < most && Peek() >= u'0' && Peek() <= u'9') {
      value = value * 10 + (Peek() - u'0');
      ++pos_;
      ++count;
    }
    return count > 0;
  }

 private:
  std::u16string_view text_;
  std::size_t pos_ = 0;
};

bool ReadTime(Reader& reader, DateParts& parts) {
  if (!reader.Number(2, parts.hour) || !reader.Take(u':') || !reader.Number(2, parts.minute)) return false;
  parts.second = 0;
  if (reader.Take(u':') && !reader.Number(2, parts.second)) return false;
  return true;
}

}  // namespace

bool DateFromParts(const DateParts& parts, double& date) {
  if (parts.year < 100 || parts.year > 9999 || parts.month < 1 || parts.month > 12 || parts.day < 1 ||
      parts.day > DaysInMonth(parts.year, parts.month) || parts.hour < 0 || parts.hour > 23 || parts.minute < 0 ||
      parts.minute > 59 || parts.second < 0 || parts.second > 59) {
    return false;
  }
  const auto days = static_cast<double>(
      DaysFromCivil(parts.year, static_cast<unsigned>(parts.month), static_cast<unsigned>(parts.day)) - kEpoch);
  const double time = (parts.hour * 3600 + parts.minute * 60 + parts.second) / 86400.0;
  date = days >= 0 ? days + time : days - time;
  return true;
}

bool PartsFromDate(double date, DateParts& parts) {
  if (!(date >= kFirstDate && date < kLastDate + 1)) return false;
  double whole = std::trunc(date);
  auto seconds = static_cast<std::int64_t>(std::llround(std::fabs(date - whole) * 86400.0));
  if (seconds >= 86400) {
    // Rounded up into the next day, in time order for both signs.
    whole += 1;
    seconds -= 86400;
  }
  if (whole > kLastDate) return false;
  CivilFromDays(static_cast<std::int64_t>(whole) + kEpoch, parts.year, parts.month, parts.day);
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  return true;
}

bool FormatDate(double date, std::u16string& text) {
  DateParts parts;
  if (!PartsFromDate(date, parts)) return false;
  text.clear();
  const bool epochDay = parts.year == 1899 && parts.month == 12 && parts.day == 30;
  const bool midnight = parts.hour == 0 && parts.minute == 0 && parts.second == 0;
  if (!epochDay) {
    AppendNumber(text, parts.year);
    text += u'/';
    AppendNumber(text, parts.month);
    text += u'/';
    AppendNumber(text, parts.day);
    if (midnight) return true;
    text += u' ';
  }
  AppendNumber(text, parts.hour);
  text += u':';
  AppendNumber(text, parts.minute, 2);
  text += u':';
  AppendNumber(text, parts.second, 2);
  return true;
}

bool ParseDate(std::u16string_view text, double& date) {
  Reader reader(text);
  reader.SkipBlanks();
  DateParts parts;
  int first = 0;
  if (!reader.Number(4, first)) return false;
  if (reader.Peek() == u':') {
    // A time alone is a time on 30 December 1899.
    Reader timeReader(text);
    timeReader.SkipBlanks();
    if (!ReadTime(timeReader, parts)) return false;
    timeReader.SkipBlanks();
    return timeReader.AtEnd() && DateFromParts(parts, date);
  }
  const char16_t separator = reader.Peek();
  if (separator != u'/' && separator != u'-') return false;
  parts.year = first;
  if (!reader.Take(separator) || !reader.Number(2, parts.month) || !reader.Take(separator) ||
      !reader.Number(2, parts.day)) {
    return false;
  }
  const bool blank = reader.SkipBlanks();
  if (!reader.AtEnd() && (!blank || !ReadTime(reader, parts))) return false;
  reader.SkipBlanks();
  return reader.AtEnd() && DateFromParts(parts, date);
}

}  // namespace rankora::automation

#include "automation/date.h"

#include <cmath>
#include <cstdint>

#include "automation/blank.h"

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

// The morning or afternoon mark of a 12-hour time.
enum class Designator { None, Morning, Afternoon };

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
    while (IsConversionBlank(Peek())) ++pos_;
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
  bool AtDigit() const { return Peek() >= u'0' && Peek() <= u'9'; }
  // The morning and afternoon designators of a Chinese system and of
  // English: 上午/下午, AM/PM and A/P in any case.
  bool TakeDesignator(Designator& designator) {
    const std::u16string_view rest = text_.substr(pos_);
    const auto upper = [&](std::size_t i) {
      const char16_t c = i < rest.size() ? rest[i] : u'\0';
      return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
    };
    std::size_t length = 0;
    if (rest.starts_with(u"\u4E0A\u5348") || rest.starts_with(u"\u4E0B\u5348")) {  // 上午, 下午
      designator = rest[0] == u'\u4E0A' ? Designator::Morning : Designator::Afternoon;
      length = 2;
    } else if (upper(0) == u'A' || upper(0) == u'P') {
      designator = upper(0) == u'A' ? Designator::Morning : Designator::Afternoon;
      length = upper(1) == u'M' ? 2 : 1;
    } else {
      return false;
    }
    pos_ += length;
    return true;
  }

 private:
  std::u16string_view text_;
  std::size_t pos_ = 0;
};

// A designator moves hours up to 12 into the morning or the afternoon; an
// hour past 12 keeps its value whatever the designator says.
void ApplyDesignator(Designator designator, int& hour) {
  if (hour > 12) return;
  if (designator == Designator::Morning && hour == 12) hour = 0;
  if (designator == Designator::Afternoon && hour < 12) hour += 12;
}

// h:mm[:ss] with an optional designator before or after it, or an hour with
// a designator ("9 PM").
bool ReadTime(Reader& reader, DateParts& parts) {
  Designator designator = Designator::None;
  if (reader.TakeDesignator(designator)) reader.SkipBlanks();
  if (!reader.Number(2, parts.hour)) return false;
  parts.minute = 0;
  parts.second = 0;
  bool minutes = false;
  if (reader.Take(u':')) {
    if (!reader.Number(2, parts.minute)) return false;
    minutes = true;
    if (reader.Take(u':') && !reader.Number(2, parts.second)) return false;
  }
  if (designator == Designator::None) {
    Reader after = reader;
    after.SkipBlanks();
    if (after.TakeDesignator(designator)) reader = after;
  }
  if (!minutes && designator == Designator::None) return false;
  ApplyDesignator(designator, parts.hour);
  return true;
}

// A year of one or two digits: 00 to 29 are 2000 to 2029, 30 to 99 are
// 1930 to 1999.
int FullYear(int year) {
  if (year >= 100) return year;
  return year < 30 ? 2000 + year : 1900 + year;
}

// Three numbers split by "/" or "-" (the same both times) as a date: read as
// year/month/day, the system's order, where the fields allow it, else as
// month/day/year, day/month/year, and last year/day/month (a month past 12
// swapped with the day).
enum class DateForm { None, Invalid, Valid };
DateForm ReadDateFields(Reader& reader, DateParts& parts) {
  int fields[3] = {};
  if (!reader.Number(4, fields[0]) || reader.AtDigit()) return DateForm::None;
  const char16_t separator = reader.Peek();
  if (separator != u'/' && separator != u'-') return DateForm::None;
  for (int i = 1; i < 3; ++i) {
    if (!reader.Take(separator) || !reader.Number(4, fields[i]) || reader.AtDigit()) return DateForm::None;
  }
  const auto [a, b, c] = fields;
  const int orders[4][3] = {{a, b, c}, {c, a, b}, {c, b, a}, {a, c, b}};  // year, month, day
  for (const auto& order : orders) {
    DateParts date;
    date.year = FullYear(order[0]);
    date.month = order[1];
    date.day = order[2];
    double unused = 0;
    if (DateFromParts(date, unused)) {
      parts.year = date.year;
      parts.month = date.month;
      parts.day = date.day;
      return DateForm::Valid;
    }
  }
  return DateForm::Invalid;
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
  Reader dateReader = reader;
  switch (ReadDateFields(dateReader, parts)) {
    case DateForm::Invalid:
      return false;
    case DateForm::Valid: {
      reader = dateReader;
      const bool blank = reader.SkipBlanks();
      if (!reader.AtEnd() && (!blank || !ReadTime(reader, parts))) return false;
      break;
    }
    case DateForm::None:
      // A time alone is a time on 30 December 1899.
      if (!ReadTime(reader, parts)) return false;
      break;
  }
  reader.SkipBlanks();
  return reader.AtEnd() && DateFromParts(parts, date);
}

}  // namespace rankora::automation

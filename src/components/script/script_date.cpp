#include "components/script/script_date.h"

#include <duktape.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace rankora::components::script {

namespace {

// Hidden keys (Duktape's hidden symbols): the heap stash keeps the Date
// functions as they were before any script ran.
#define RANKORA_HIDDEN(name) "\xFF" name
const char* const kDateKey = RANKORA_HIDDEN("rankoraDate");
const char* const kGetTimeKey = RANKORA_HIDDEN("rankoraGetTime");
const char* const kZoneOffsetKey = RANKORA_HIDDEN("rankoraZoneOffset");
const char* const kPlatformDateKey = RANKORA_HIDDEN("rankoraPlatformDate");  // on a Date from a VT_DATE
#undef RANKORA_HIDDEN

constexpr double kMsPerDay = 86400000.0;
constexpr double kMsPerMinute = 60000.0;
constexpr double kMaxTime = 8.64e15;

constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Days from 1 January 1970 to a day of the proleptic Gregorian calendar
// (month 1 to 12), and back.
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

struct Civil {
  std::int64_t year = 1970;
  int month = 1;  // 1 to 12
  int day = 1;
};

Civil CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t shifted = (5 * dayOfYear + 2) / 153;
  Civil civil;
  civil.day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
  civil.month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
  civil.year = yearOfEra + era * 400 + (civil.month <= 2 ? 1 : 0);
  return civil;
}

// A time value (milliseconds since 1970, of UTC or of local time) from its
// fields; a month or day out of its range runs on into the next ones.
double TimeFromFields(std::int64_t year, std::int64_t month, std::int64_t day, std::int64_t hour, std::int64_t minute,
                      std::int64_t second) {
  const std::int64_t months = month - 1;
  const std::int64_t yearShift = months >= 0 ? months / 12 : -((11 - months) / 12);
  const std::int64_t days = DaysFromCivil(year + yearShift, months - yearShift * 12 + 1, 1) + day - 1;
  return static_cast<double>(days) * kMsPerDay + static_cast<double>(((hour * 60) + minute) * 60 + second) * 1000.0;
}

struct Fields {
  Civil civil;
  int weekday = 0;  // 0 is Sunday
  int hour = 0;
  int minute = 0;
  int second = 0;
};

Fields FieldsFromTime(double time) {
  const double days = std::floor(time / kMsPerDay);
  const auto inDay = static_cast<std::int64_t>(time - days * kMsPerDay);
  Fields fields;
  fields.civil = CivilFromDays(static_cast<std::int64_t>(days));
  fields.weekday = static_cast<int>(((static_cast<std::int64_t>(days) + 4) % 7 + 7) % 7);  // 1 January 1970: a Thursday
  fields.hour = static_cast<int>(inDay / 3600000);
  fields.minute = static_cast<int>(inDay / 60000 % 60);
  fields.second = static_cast<int>(inDay / 1000 % 60);
  return fields;
}

// Platform dates: days since 30 December 1899, the time of day as the
// fraction, running away from zero before that day.
double MillisecondsFromPlatformDate(double date) {
  const double whole = std::trunc(date);
  const double days = whole + std::fabs(date - whole);
  return std::round((days - 25569.0) * kMsPerDay);
}

double PlatformDateFromMilliseconds(double milliseconds) {
  const double days = milliseconds / kMsPerDay + 25569.0;
  if (days >= 0) return days;
  const double whole = std::floor(days);
  return whole - (days - whole);
}

void PushStashed(duk_context* ctx, const char* key) {
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, key);
  duk_remove(ctx, -2);
}

// The time value of the Date at `index`, by Date.prototype.getTime as it
// was: anything else is a TypeError, as JScript's "Date object expected".
double TimeOf(duk_context* ctx, duk_idx_t index) {
  index = duk_normalize_index(ctx, index);
  PushStashed(ctx, kGetTimeKey);
  duk_dup(ctx, index);
  duk_call_method(ctx, 0);
  const double time = duk_get_number(ctx, -1);
  duk_pop(ctx);
  return time;
}

// Local time minus UTC at `time`, in milliseconds, as Duktape's own Date
// functions take it.
double LocalOffsetAt(duk_context* ctx, double time) {
  PushStashed(ctx, kZoneOffsetKey);
  PushStashed(ctx, kDateKey);
  duk_push_number(ctx, time);
  duk_new(ctx, 1);
  duk_call_method(ctx, 0);
  const double minutes = duk_get_number(ctx, -1);
  duk_pop(ctx);
  return std::isnan(minutes) ? 0 : -minutes * kMsPerMinute;
}

double LocalToUtc(duk_context* ctx, double local) {
  const double guess = local - LocalOffsetAt(ctx, local);
  return local - LocalOffsetAt(ctx, guess);
}

void PushTime(duk_context* ctx, double time) {
  duk_push_number(ctx, std::fabs(time) <= kMaxTime ? std::trunc(time) : NAN);
}

// The forms JScript prints dates in, for example (China's time zone)
// toString "Thu Jan 1 08:00:00 UTC+0800 1970", toDateString "Thu Jan 1
// 1970", toTimeString "08:00:00 UTC+0800", toUTCString "Thu, 1 Jan 1970
// 00:00:00 UTC"; "UTC" alone where local time is UTC; years before the
// first as "N B.C."; an invalid date as "NaN".
enum DateForm : int { kToString = 0, kToDateString = 1, kToTimeString = 2, kToUtcString = 3 };

duk_ret_t FormatDate(duk_context* ctx) {
  const int form = duk_get_current_magic(ctx);
  duk_push_this(ctx);
  const double time = TimeOf(ctx, -1);
  if (std::isnan(time)) {
    duk_push_string(ctx, "NaN");
    return 1;
  }
  const double offset = form == kToUtcString ? 0 : LocalOffsetAt(ctx, time);
  const Fields f = FieldsFromTime(time + offset);
  char year[32];
  if (f.civil.year > 0) {
    std::snprintf(year, sizeof year, "%lld", static_cast<long long>(f.civil.year));
  } else {
    std::snprintf(year, sizeof year, "%lld B.C.", static_cast<long long>(1 - f.civil.year));
  }
  char zone[48] = "UTC";
  const auto minutes = static_cast<long long>(offset / kMsPerMinute);
  if (minutes != 0) {
    const long long magnitude = minutes < 0 ? -minutes : minutes;
    std::snprintf(zone, sizeof zone, "UTC%c%02lld%02lld", minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
  }
  const char* weekday = kWeekdays[f.weekday];
  const char* month = kMonths[f.civil.month - 1];
  char text[96];
  switch (form) {
    case kToDateString:
      std::snprintf(text, sizeof text, "%s %s %d %s", weekday, month, f.civil.day, year);
      break;
    case kToTimeString:
      std::snprintf(text, sizeof text, "%02d:%02d:%02d %s", f.hour, f.minute, f.second, zone);
      break;
    case kToUtcString:
      std::snprintf(text, sizeof text, "%s, %d %s %s %02d:%02d:%02d UTC", weekday, f.civil.day, month, year, f.hour,
                    f.minute, f.second);
      break;
    default:
      std::snprintf(text, sizeof text, "%s %s %d %02d:%02d:%02d %s %s", weekday, month, f.civil.day, f.hour, f.minute,
                    f.second, zone, year);
      break;
  }
  duk_push_string(ctx, text);
  return 1;
}

// A date text by the rules JScript's Date.parse documents: month/day/year
// with "/" or "-" (year/month/day when the first number cannot be a month
// or day); otherwise year, month name and day in any order; two-digit years
// in the 1900s; names of months and week days from two letters on ("Ju" is
// July, the last match), week days ignored; text in parentheses, nested or
// not, ignored; commas and spaces as delimiters; h, h:mm or h:mm:ss with AM
// or PM (PM after 12 is an error); "UTC" or "GMT" with an optional offset,
// an offset alone ("+0800", "-3"), or a US zone; "B.C." and "A.D.". Two
// years, two months or a missing year, month or day make it no date.
struct ParsedDate {
  std::int64_t year = -1;
  std::int64_t month = -1;
  std::int64_t day = -1;
  std::int64_t hour = -1;
  std::int64_t minute = 0;
  std::int64_t second = 0;
  int meridiem = 0;  // 1 AM, 2 PM
  bool beforeChrist = false;
  bool zoned = false;
  std::int64_t zoneMinutes = 0;  // local time minus UTC
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Reads up to nine digits at `*at`; false without one or with more.
bool ReadNumber(const char* text, std::size_t& at, std::int64_t& value, int& digits) {
  value = 0;
  digits = 0;
  while (IsDigit(text[at])) {
    if (++digits > 9) return false;
    value = value * 10 + (text[at++] - '0');
  }
  return digits > 0;
}

// True when `word` (upper case) starts `name` and has two letters at least.
bool Abbreviates(const char* word, std::size_t length, const char* name) {
  if (length < 2 || length > std::strlen(name)) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (word[i] != Upper(name[i])) return false;
  }
  return true;
}

bool ReadWord(const char* word, std::size_t length, ParsedDate& date) {
  const auto is = [&](const char* name) { return std::strlen(name) == length && std::memcmp(word, name, length) == 0; };
  struct Zone {
    const char* name;
    int minutes;
  };
  static constexpr Zone kZones[] = {{"UTC", 0},    {"GMT", 0},    {"UT", 0},     {"EST", -300},
                                    {"EDT", -240}, {"CST", -360}, {"CDT", -300}, {"MST", -420},
                                    {"MDT", -360}, {"PST", -480}, {"PDT", -420}};
  if (is("AM") || is("PM")) {
    if (date.meridiem != 0) return false;
    date.meridiem = is("AM") ? 1 : 2;
    return true;
  }
  if (is("BC") || is("AD")) {
    date.beforeChrist = is("BC");
    return true;
  }
  for (const Zone& zone : kZones) {
    if (is(zone.name)) {
      if (date.zoned) return false;
      date.zoned = true;
      date.zoneMinutes = zone.minutes;
      return true;
    }
  }
  static constexpr const char* kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                                "July",    "August",   "September", "October", "November", "December"};
  int month = 0;
  for (int m = 0; m < 12; ++m) {
    if (Abbreviates(word, length, kMonthNames[m])) month = m + 1;
  }
  if (month != 0) {
    if (date.month != -1) return false;
    date.month = month;
    return true;
  }
  static constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};
  for (const char* name : kDayNames) {
    if (Abbreviates(word, length, name)) return true;
  }
  return false;
}

bool ParseDateText(const char* text, ParsedDate& date) {
  std::size_t at = 0;
  bool time = false;
  while (text[at] != '\0') {
    const char c = text[at];
    if (c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n') {
      ++at;
    } else if (c == '(') {
      int depth = 0;
      do {
        depth += text[at] == '(' ? 1 : text[at] == ')' ? -1 : 0;
        ++at;
      } while (depth > 0 && text[at] != '\0');
    } else if ((c == '+' || c == '-') && IsDigit(text[at + 1])) {
      // An offset from UTC: hours, or hours and minutes.
      ++at;
      std::int64_t value = 0;
      int digits = 0;
      if (!ReadNumber(text, at, value, digits) || digits > 4) return false;
      const std::int64_t minutes = digits <= 2 ? value * 60 : value / 100 * 60 + value % 100;
      // It adds to the UTC or GMT just named; it cannot follow another.
      if (date.zoned && date.zoneMinutes != 0) return false;
      date.zoned = true;
      date.zoneMinutes = c == '-' ? -minutes : minutes;
    } else if (IsDigit(c)) {
      std::int64_t value = 0;
      int digits = 0;
      if (!ReadNumber(text, at, value, digits)) return false;
      if (text[at] == ':') {
        if (time) return false;
        time = true;
        date.hour = value;
        std::int64_t* const rest[] = {&date.minute, &date.second};
        for (std::int64_t* field : rest) {
          if (text[at] != ':') break;
          ++at;
          if (IsDigit(text[at]) && !ReadNumber(text, at, *field, digits)) return false;
        }
      } else if ((text[at] == '/' || text[at] == '-') && IsDigit(text[at + 1])) {
        const char separator = text[at++];
        std::int64_t second = 0;
        std::int64_t third = 0;
        if (!ReadNumber(text, at, second, digits) || text[at] != separator) return false;
        ++at;
        if (!ReadNumber(text, at, third, digits)) return false;
        if (date.year != -1 || date.month != -1 || date.day != -1) return false;
        const bool yearFirst = value > 31;
        date.year = yearFirst ? value : third;
        date.month = yearFirst ? second : value;
        date.day = yearFirst ? third : second;
      } else if (value > 31 || date.day != -1) {
        if (date.year != -1) return false;
        date.year = value;
      } else {
        date.day = value;
      }
    } else if (IsLetter(c)) {
      char word[16];
      std::size_t length = 0;
      while (IsLetter(text[at]) || text[at] == '.') {
        if (text[at] != '.') {
          if (length == sizeof word) return false;
          word[length++] = Upper(text[at]);
        }
        ++at;
      }
      if (!ReadWord(word, length, date)) return false;
    } else {
      return false;
    }
  }
  if (date.year == -1 || date.month == -1 || date.day == -1) return false;
  if (date.beforeChrist) {
    date.year = 1 - date.year;
  } else if (date.year < 100) {
    date.year += 1900;
  }
  if (date.hour == -1) date.hour = 0;
  if (date.meridiem != 0) {
    if (date.hour > 12) return false;
    if (date.hour == 12) date.hour = 0;
    if (date.meridiem == 2) date.hour += 12;
  }
  return date.hour <= 23 && date.minute <= 59 && date.second <= 59;
}

// Pushes the time value of a date text in JScript's forms and says so, or
// pushes nothing.
duk_bool_t PushDateFromText(duk_context* ctx, const char* text) {
  ParsedDate date;
  if (text == nullptr || !ParseDateText(text, date)) return 0;
  const double fields = TimeFromFields(date.year, date.month, date.day, date.hour, date.minute, date.second);
  const double time =
      date.zoned ? fields - static_cast<double>(date.zoneMinutes) * kMsPerMinute : LocalToUtc(ctx, fields);
  PushTime(ctx, time);
  return 1;
}

}  // namespace

void InstallDateForms(duk_context* ctx) {
  duk_push_heap_stash(ctx);
  duk_get_global_string(ctx, "Date");
  duk_get_prop_string(ctx, -1, "prototype");
  const duk_idx_t prototype = duk_get_top_index(ctx);
  duk_get_prop_string(ctx, prototype, "getTime");
  duk_put_prop_string(ctx, -4, kGetTimeKey);
  duk_get_prop_string(ctx, prototype, "getTimezoneOffset");
  duk_put_prop_string(ctx, -4, kZoneOffsetKey);
  struct Form {
    const char* name;
    DateForm form;
  };
  static constexpr Form kForms[] = {{"toString", kToString},
                                    {"toDateString", kToDateString},
                                    {"toTimeString", kToTimeString},
                                    {"toUTCString", kToUtcString},
                                    {"toGMTString", kToUtcString}};
  for (const Form& form : kForms) {
    duk_push_string(ctx, form.name);
    duk_push_c_function(ctx, FormatDate, 0);
    duk_set_magic(ctx, -1, form.form);
    duk_def_prop(ctx, prototype,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_CLEAR_ENUMERABLE |
                     DUK_DEFPROP_SET_CONFIGURABLE);
  }
  duk_pop(ctx);
  duk_put_prop_string(ctx, -2, kDateKey);
  duk_pop(ctx);
}

void PushPlatformDate(duk_context* ctx, double date) {
  const double time = LocalToUtc(ctx, MillisecondsFromPlatformDate(date));
  PushStashed(ctx, kDateKey);
  PushTime(ctx, time);
  duk_new(ctx, 1);
  duk_push_true(ctx);
  duk_put_prop_string(ctx, -2, kPlatformDateKey);
}

bool PlatformDateOf(duk_context* ctx, int index, double& date) {
  if (!duk_is_object(ctx, index) || !duk_has_prop_string(ctx, index, kPlatformDateKey)) return false;
  const double time = TimeOf(ctx, index);
  date = std::isnan(time) ? time : PlatformDateFromMilliseconds(time + LocalOffsetAt(ctx, time));
  return true;
}

}  // namespace rankora::components::script

// Duktape's hook for the date texts its own ISO 8601 reading refuses (see
// duktape/duk_config_overrides.h).
extern "C" duk_bool_t rankora_script_parse_date(duk_context* ctx, const char* text) {
  return rankora::components::script::PushDateFromText(ctx, text);
}

#include "app/sort.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "app/texts.h"
#include "automation/date.h"
#include "text/gbk.h"

namespace rankora::app {
namespace {

constexpr double kNoDate = -657434.0;
constexpr std::size_t kCellsBetweenMessages = 4096;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The later record wins a comparison of number keys by the tolerance.
bool LaterWins(double current, double later, bool ascending) {
  return ascending ? current - later >= -kNumberTolerance : current - later <= kNumberTolerance;
}

// The selection procedure itself, for the records at `members` (in list
// order): each pass keeps the first record, lets every later one that wins
// take its place, and takes out the one left.
void SelectLiterally(const std::vector<double>& values, std::vector<int> members, bool ascending,
                     std::vector<int>& order) {
  while (!members.empty()) {
    std::size_t chosen = 0;
    for (std::size_t k = 1; k < members.size(); ++k) {
      if (LaterWins(values[static_cast<std::size_t>(members[chosen])], values[static_cast<std::size_t>(members[k])],
                    ascending)) {
        chosen = k;
      }
    }
    order.push_back(members[chosen]);
    members.erase(members.begin() + static_cast<std::ptrdiff_t>(chosen));
  }
}

// The order of the records at `members`.
std::vector<int> NumberOrderOf(const std::vector<double>& values, std::vector<int> members, bool ascending) {
  std::vector<int> byValue = std::move(members);
  std::sort(byValue.begin(), byValue.end(), [&](int a, int b) {
    const double va = values[static_cast<std::size_t>(a)];
    const double vb = values[static_cast<std::size_t>(b)];
    return va < vb || (va == vb && a < b);
  });
  // Groups of values that no gap wider than the tolerance separates. Between
  // groups every comparison is strict, so each pass takes its record from
  // the lowest group left (the highest, when descending).
  std::vector<std::vector<int>> groups;
  for (std::size_t k = 0; k < byValue.size(); ++k) {
    const bool gap =
        k == 0 || values[static_cast<std::size_t>(byValue[k - 1])] - values[static_cast<std::size_t>(byValue[k])] <
                      -kNumberTolerance;
    if (gap) groups.emplace_back();
    groups.back().push_back(byValue[k]);
  }
  if (!ascending) std::reverse(groups.begin(), groups.end());
  std::vector<int> order;
  order.reserve(values.size());
  for (std::vector<int>& group : groups) {
    const double low = values[static_cast<std::size_t>(group.front())];
    const double high = values[static_cast<std::size_t>(group.back())];
    std::sort(group.begin(), group.end());
    if (low - high >= -kNumberTolerance) {
      // Every pair within the tolerance: the later record always wins, so
      // the group comes out last first.
      order.insert(order.end(), group.rbegin(), group.rend());
    } else if (std::isinf(low) && low == high) {
      // Equal infinities: their difference is no number, so the later record
      // never wins and the group comes out first first.
      order.insert(order.end(), group.begin(), group.end());
    } else {
      SelectLiterally(values, std::move(group), ascending, order);
    }
  }
  return order;
}

std::vector<int> NumberOrder(const std::vector<double>& values, bool ascending) {
  std::vector<int> all(values.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
  return NumberOrderOf(values, std::move(all), ascending);
}

// Keys of a total order: ties go to the later record, so a stable result is
// by key and then by index from the last.
template <typename Key, typename Less>
std::vector<int> TotalOrder(const std::vector<Key>& keys, bool ascending, Less less) {
  std::vector<int> order(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) order[i] = static_cast<int>(i);
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    const Key& ka = keys[static_cast<std::size_t>(a)];
    const Key& kb = keys[static_cast<std::size_t>(b)];
    if (ascending ? less(ka, kb) : less(kb, ka)) return true;
    if (ascending ? less(kb, ka) : less(ka, kb)) return false;
    return a > b;
  });
  return order;
}

// Reads up to `most` digits at `pos`; a missing number is 0.
int ReadNumber(std::string_view text, std::size_t& pos, int most) {
  int value = 0;
  for (int read = 0; read < most && pos < text.size() && IsDigit(text[pos]); ++read)
    value = value * 10 + (text[pos++] - '0');
  return value;
}

// Skips at most one separator: one of "-./:", a blank where `blank` allows,
// or the field's unit character (GBK, two bytes).
void SkipSeparator(std::string_view text, std::size_t& pos, const std::string& unit, bool blank) {
  if (pos >= text.size()) return;
  const char c = text[pos];
  if (c == '-' || c == '.' || c == '/' || c == ':' || (blank && c == ' ')) {
    ++pos;
  } else if (!unit.empty() && text.substr(pos, unit.size()) == unit) {
    pos += unit.size();
  }
}

double DateValue(std::string_view key) {
  static const std::string units[] = {text::Gbk("年"), text::Gbk("月"), text::Gbk("日"),
                                      text::Gbk("时"), text::Gbk("分"), text::Gbk("秒")};
  std::size_t pos = 0;
  int fields[6] = {};
  const int widths[6] = {4, 2, 2, 2, 2, 2};
  for (int f = 0; f < 6; ++f) {
    fields[f] = ReadNumber(key, pos, widths[f]);
    if (f < 5) SkipSeparator(key, pos, units[f], f == 2);
  }
  const std::string_view rest = key.substr(pos);
  if (!rest.empty() && rest.substr(0, units[5].size()) != units[5]) return kNoDate;
  double date = 0;
  if (!automation::DateFromParts({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]}, date)) {
    return kNoDate;
  }
  return date;
}

}  // namespace

std::string FullWidthToAscii(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = text::CharLength(text, pos);
    const auto lead = static_cast<unsigned char>(text[pos]);
    const auto trail = length == 2 ? static_cast<unsigned char>(text[pos + 1]) : 0;
    if (length == 2 && lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
      result += static_cast<char>(trail - 0x80);
    } else if (length == 2 && lead == 0xA1 && trail == 0xA1) {
      result += ' ';
    } else {
      result.append(text.substr(pos, length));
    }
    pos += length;
  }
  return result;
}

double NumberKey(std::string_view key) {
  // atof's reading: leading blanks, a sign, digits with a decimal point, an
  // exponent; it stops at the first character that does not fit. Read with
  // from_chars, which no locale of the process can change.
  const std::string text = FullWidthToAscii(key);
  std::size_t pos = 0;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  const std::size_t start = pos;
  // Where the first significant digit stands against the decimal point: the
  // number's order of magnitude before its exponent.
  long long magnitude = 0;
  bool significant = false;
  bool digits = false;
  for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
    digits = true;
    significant = significant || text[pos] != '0';
    if (significant) ++magnitude;
  }
  if (pos < text.size() && text[pos] == '.') {
    for (++pos; pos < text.size() && IsDigit(text[pos]); ++pos) {
      digits = true;
      if (!significant && text[pos] == '0') --magnitude;
      significant = significant || text[pos] != '0';
    }
  }
  if (!digits) return 0;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    std::size_t at = pos + 1;
    bool negativeExponent = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negativeExponent = text[at++] == '-';
    long long exponent = 0;
    const std::size_t exponentDigits = at;
    for (; at < text.size() && IsDigit(text[at]); ++at)
      exponent = std::min(exponent * 10 + (text[at] - '0'), 1000000LL);
    if (at > exponentDigits) {
      pos = at;
      magnitude += negativeExponent ? -exponent : exponent;
    }
  }
  std::string number;
  if (text[start] == '.') number += '0';
  number.append(text, start, pos - start);
  double value = 0;
  if (std::from_chars(number.data(), number.data() + number.size(), value).ec == std::errc::result_out_of_range) {
    // As atof: past the largest number is infinity, below the smallest is 0.
    value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -value : value;
}

double DateKey(std::string_view key) {
  double value = std::clamp(DateValue(FullWidthToAscii(key)), kNoDate, 2958465.0);
  // Negative dates run away from zero in their fraction: made to run with
  // time for comparing.
  if (value < 0) {
    const double whole = std::trunc(value);
    value = whole - (value - whole);
  }
  return value;
}

std::vector<int> SortOrder(const std::vector<std::string>& keys, bool ascending, bool caseSensitive, int sortType) {
  if (sortType == kSortNumber) {
    std::vector<double> values;
    values.reserve(keys.size());
    for (const std::string& key : keys) values.push_back(NumberKey(key));
    return NumberOrder(values, ascending);
  }
  if (sortType == kSortDate) {
    std::vector<double> values;
    values.reserve(keys.size());
    for (const std::string& key : keys) values.push_back(DateKey(key));
    return TotalOrder(values, ascending, [](double a, double b) { return a < b; });
  }
  std::vector<std::string> texts;
  texts.reserve(keys.size());
  for (const std::string& key : keys) texts.push_back(caseSensitive ? key : text::UpperAscii(key));
  // Byte by byte as unsigned values, as strcmp compares: a text ends at its
  // first zero byte.
  return TotalOrder(texts, ascending,
                    [](const std::string& a, const std::string& b) { return std::strcmp(a.c_str(), b.c_str()) < 0; });
}

std::string SortListByColumn(Window& window, ResultList& list, int column, std::optional<bool> ascending,
                             std::optional<bool> caseSensitive, std::optional<int> sortType) {
  const Texts& texts = GetTexts();
  if (!list.IsReportView()) return texts.notReportView;
  const int rows = list.RowCount();
  const int columns = list.ColumnCount();
  if (column < 0 || column > columns - 1) return texts.badColumn;
  int type = sortType.value_or(kSortText);
  if (type != kSortText && type != kSortInteger && type != kSortLong && type != kSortNumber && type != kSortDate) {
    return texts.badSortType;
  }
  if (type == kSortInteger || type == kSortLong) type = kSortNumber;

  // The window keeps handling its events while the list is read and written,
  // so another click can arrive here: a second sort then does nothing, so
  // that it cannot write over this one's rows.
  static thread_local bool sorting = false;
  if (sorting) return {};
  sorting = true;
  struct Done {
    ~Done() { sorting = false; }
  } done;

  std::size_t cells = 0;
  auto step = [&] {
    if (++cells % kCellsBetweenMessages == 0) window.ProcessPendingMessages();
  };
  std::vector<std::vector<std::string>> table(static_cast<std::size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      table[static_cast<std::size_t>(r)].push_back(list.CellText(r, c));
      step();
    }
  }
  std::vector<std::string> keys;
  keys.reserve(table.size());
  for (int r = 0; r < rows; ++r) {
    keys.push_back(list.CellText(r, column));
    step();
  }
  const std::vector<int> order = SortOrder(keys, ascending.value_or(true), caseSensitive.value_or(false), type);
  for (int i = 0; i < rows; ++i) {
    const std::vector<std::string>& source = table[static_cast<std::size_t>(order[static_cast<std::size_t>(i)])];
    for (int c = 0; c < columns; ++c) {
      list.SetCellText(i, c, source[static_cast<std::size_t>(c)]);
      step();
    }
  }
  return texts.sorted;
}

}  // namespace rankora::app

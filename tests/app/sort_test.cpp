#include "app/sort.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "app/texts.h"
#include "fake_window.h"
#include "text/gbk.h"

namespace rankora::app {
namespace {

using ::testing::ElementsAre;
using testing::FakeWindow;

// The selection procedure as written, one comparison at a time.
std::vector<int> Literally(const std::vector<std::string>& keys, bool ascending, bool caseSensitive, int type) {
  struct Record {
    std::string key;
    int index;
  };
  std::vector<Record> list;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    list.push_back({type == kSortText && !caseSensitive ? text::UpperAscii(keys[i]) : keys[i], static_cast<int>(i)});
  }
  auto laterWins = [&](const std::string& current, const std::string& later) {
    if (type == kSortText) {
      const int c = std::strcmp(current.c_str(), later.c_str());
      return ascending ? c >= 0 : c <= 0;
    }
    if (type == kSortNumber) {
      const double d = NumberKey(current) - NumberKey(later);
      return ascending ? d >= -0.0000001 : d <= 0.0000001;
    }
    return ascending ? DateKey(current) >= DateKey(later) : DateKey(current) <= DateKey(later);
  };
  std::vector<int> order;
  while (list.size() > 1) {
    std::size_t chosen = 0;
    for (std::size_t k = 1; k < list.size(); ++k) {
      if (laterWins(list[chosen].key, list[k].key)) chosen = k;
    }
    order.push_back(list[chosen].index);
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(chosen));
  }
  if (!list.empty()) order.push_back(list.front().index);
  return order;
}

TEST(SortOrder, PutsWeightsHighestFirstAsText) {
  EXPECT_THAT(SortOrder({"1", "10", "2", "0"}, false, false, kSortText), ElementsAre(2, 1, 0, 3));
  EXPECT_THAT(SortOrder({"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}, false, false, kSortText),
              ElementsAre(9, 8, 7, 6, 5, 4, 3, 2, 10, 1, 0));
  // Equal keys come out in the reverse of their order.
  EXPECT_THAT(SortOrder({"3", "3", "3"}, false, false, kSortText), ElementsAre(2, 1, 0));
}

TEST(SortOrder, ComparesTextWithAndWithoutCase) {
  EXPECT_THAT(SortOrder({"abc", "ABC"}, true, false, kSortText), ElementsAre(1, 0));  // equal: later first
  EXPECT_THAT(SortOrder({"B", "a"}, true, false, kSortText), ElementsAre(1, 0));
  EXPECT_THAT(SortOrder({"a", "Z", "b", "A"}, true, true, kSortText), ElementsAre(3, 1, 0, 2));
  EXPECT_THAT(SortOrder({"ab", "a", ""}, true, true, kSortText), ElementsAre(2, 1, 0));
  // Bytes compare unsigned: a double-byte character after every ASCII one.
  EXPECT_THAT(SortOrder({text::Gbk("中"), "z"}, true, true, kSortText), ElementsAre(1, 0));
  // A letter after the euro sign (0x80, one byte) is a letter like any other.
  EXPECT_THAT(SortOrder({"\x80"
                         "b",
                         "\x80"
                         "C"},
                        true, false, kSortText),
              ElementsAre(0, 1));
}

TEST(NumberKey, ReadsAsAtofDoes) {
  EXPECT_EQ(NumberKey(" 3.5"), 3.5);
  EXPECT_EQ(NumberKey("12abc"), 12);
  EXPECT_EQ(NumberKey("abc"), 0);
  EXPECT_EQ(NumberKey(text::Gbk("１２")), 12);
  EXPECT_EQ(NumberKey(text::Gbk("　－３．５")), -3.5);
  // A full-width digit after the euro sign (0x80, one byte) is still converted.
  EXPECT_EQ(FullWidthToAscii("\x80\xA3\xB1"),
            "\x80"
            "1");
  EXPECT_EQ(NumberKey("-.5e1x"), -5);
  EXPECT_EQ(NumberKey("1e"), 1);
  EXPECT_EQ(NumberKey("+7"), 7);
  EXPECT_EQ(NumberKey("1e999"), std::numeric_limits<double>::infinity());
  EXPECT_THAT(SortOrder({"10", "2"}, true, false, kSortNumber), ElementsAre(1, 0));
}

TEST(NumberKey, ReadsWhatOverflowsAsInfinityAndWhatUnderflowsAsZero) {
  const double infinity = std::numeric_limits<double>::infinity();
  const std::string tiny = "0." + std::string(400, '0') + "1";
  const std::string huge = "1" + std::string(400, '0') + "e-1";
  EXPECT_EQ(NumberKey(tiny), 0);
  EXPECT_EQ(NumberKey(huge), infinity);
  EXPECT_EQ(NumberKey("-" + huge), -infinity);
  EXPECT_EQ(NumberKey("1e-400"), 0);
  EXPECT_EQ(NumberKey("-1e999x"), -infinity);
  EXPECT_EQ(NumberKey(text::Gbk("１ｅ４００")), infinity);
  EXPECT_THAT(SortOrder({"1", tiny, huge}, true, false, kSortNumber), ElementsAre(1, 0, 2));
  EXPECT_THAT(SortOrder({"1", tiny, huge}, false, false, kSortNumber), ElementsAre(2, 0, 1));
}

TEST(NumberKey, ReadsDecimalNumbersOnly) {
  // Hexadecimal, INF and NAN are not numbers here: the reading stops before them.
  EXPECT_EQ(NumberKey("0x10"), 0);
  EXPECT_EQ(NumberKey(" -0X1.8p1z"), 0);
  EXPECT_EQ(NumberKey("inf"), 0);
  EXPECT_EQ(NumberKey(text::Gbk("ＩＮＦ")), 0);
  EXPECT_EQ(NumberKey("-NaN(123)"), 0);
  EXPECT_EQ(NumberKey("1e99999999999999999999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(NumberKey("0.00001e-99999999999999999999"), 0);
  EXPECT_EQ(NumberKey("000000000000000000000000000000000000000000000000001e-3"), 0.001);
  // Equal infinities never let the later record win.
  EXPECT_THAT(SortOrder({"1e999", "1", "1e999", "-1e999", "-1e999"}, true, false, kSortNumber),
              ElementsAre(3, 4, 1, 0, 2));
  EXPECT_THAT(SortOrder({"1e999", "1", "1e999", "-1e999", "-1e999"}, false, false, kSortNumber),
              ElementsAre(0, 2, 1, 3, 4));
}

TEST(DateKey, ReadsTheDateGrammarAndRejectsTheRest) {
  const double dashes = DateKey("2013-04-25");
  const double units = DateKey(text::Gbk("2013年04月24日23时59分59秒"));
  EXPECT_GT(dashes, units);
  EXPECT_NEAR(units, 41388.0 + 86399.0 / 86400.0, 1e-9);
  EXPECT_EQ(DateKey(text::Gbk("2013年4月24日 23时59分59秒")), -657434.0);
  EXPECT_EQ(DateKey("letters"), -657434.0);
  EXPECT_EQ(DateKey(""), -657434.0);
  EXPECT_EQ(DateKey("2013-02-29"), -657434.0);
  EXPECT_NE(DateKey("2012-02-29"), -657434.0);
  EXPECT_EQ(DateKey("2013-04-25 24:00"), -657434.0);
  EXPECT_EQ(DateKey("2013/4/25 7:05:09"), DateKey(text::Gbk("２０１３年４月２５日７时５分９秒")));
  EXPECT_EQ(DateKey("9999-12-31 12:00"), 2958465.0);  // limited to the last day
  // Before 1899-12-30 a later time of day compares later.
  EXPECT_LT(DateKey("1899-12-29 06:00"), DateKey("1899-12-29 18:00"));
  EXPECT_LT(DateKey("1899-12-28 23:00"), DateKey("1899-12-29 01:00"));
  EXPECT_THAT(SortOrder({"2013-04-25", text::Gbk("2013年04月24日23时59分59秒")}, true, false, kSortDate),
              ElementsAre(1, 0));
}

TEST(SortOrder, FollowsTheSelectionProcedureExactly) {
  std::mt19937 random(20261208);
  const std::vector<std::string> pieces = {"a", "B", "b", "A", "1", "10", "2", text::Gbk("中"), text::Gbk("文"), " "};
  const std::vector<double> bases = {0, 1, 2, -1, 1e-7, 100};
  const std::vector<std::string> dates = {"2013-04-25",
                                          "2013-04-24 23:59:59",
                                          text::Gbk("2013年4月25日"),
                                          "1899-12-29 06:00",
                                          "1899-12-29 18:00",
                                          "2013-02-30",
                                          "junk",
                                          "",
                                          "100-01-01",
                                          "9999-12-31 23:00",
                                          text::Gbk("2013年4月24日 1时")};
  for (int round = 0; round < 300; ++round) {
    const int type = round % 3 == 0 ? kSortText : round % 3 == 1 ? kSortNumber : kSortDate;
    const std::size_t size = 1 + random() % 40;
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < size; ++i) {
      if (type == kSortText) {
        std::string key;
        for (std::size_t k = random() % 4; k > 0; --k) key += pieces[random() % pieces.size()];
        keys.push_back(key);
      } else if (type == kSortNumber) {
        // Values on both sides of the tolerance, and texts that read as 0.
        const double value = bases[random() % bases.size()] + static_cast<double>(random() % 7) * 0.4e-7;
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, random() % 5 == 0 ? "%.10g abc" : "%.12g", value);
        // Now and then a key beyond the finite numbers, or none at all.
        const std::vector<std::string> odd = {"none", "inf", "-inf", "1e999", "nan", "-nan", "0x1p-3", "1e-400"};
        keys.push_back(random() % 9 == 0 ? odd[random() % odd.size()] : buffer);
      } else {
        keys.push_back(dates[random() % dates.size()]);
      }
    }
    for (const bool ascending : {true, false}) {
      for (const bool caseSensitive : {true, false}) {
        SCOPED_TRACE(::testing::Message() << "round " << round << " type " << type << " ascending " << ascending);
        ASSERT_EQ(SortOrder(keys, ascending, caseSensitive, type), Literally(keys, ascending, caseSensitive, type));
      }
    }
  }
}

TEST(SortListByColumn, ChecksItsArgumentsBeforeTouchingACell) {
  FakeWindow window;
  window.AddRow({"a", "1"});
  const Texts& texts = GetTexts();
  EXPECT_EQ(SortListByColumn(window, window, 2), texts.badColumn);
  EXPECT_EQ(SortListByColumn(window, window, -1), texts.badColumn);
  EXPECT_EQ(SortListByColumn(window, window, 1, true, false, 5), texts.badSortType);
  window.reportView = false;
  EXPECT_EQ(SortListByColumn(window, window, 1), texts.notReportView);
  EXPECT_EQ(window.writes, 0);
}

TEST(SortListByColumn, MovesEveryCellOfARowAndTreatsIntegersAsNumbers) {
  FakeWindow window;
  window.columns = 3;
  window.AddRow({"a.com", "10", "x"});
  window.AddRow({"b.com", "9", "y"});
  window.AddRow({"c.com", "10.5", "z"});
  EXPECT_EQ(SortListByColumn(window, window, 1, true, std::nullopt, kSortInteger), GetTexts().sorted);
  EXPECT_EQ(window.rows,
            (std::vector<std::vector<std::string>>{{"b.com", "9", "y"}, {"a.com", "10", "x"}, {"c.com", "10.5", "z"}}));
  SortListByColumn(window, window, 0, false);
  EXPECT_EQ(window.rows[0][0], "c.com");
  EXPECT_EQ(window.rows[0][2], "z");
}

TEST(SortListByColumn, LeavesAnEmptyListAndRewritesOneRow) {
  FakeWindow window;
  EXPECT_EQ(SortListByColumn(window, window, 1), GetTexts().sorted);
  EXPECT_EQ(window.writes, 0);
  window.AddRow({"only", "1"});
  EXPECT_EQ(SortListByColumn(window, window, 1), GetTexts().sorted);
  EXPECT_EQ(window.writes, 2);
  EXPECT_EQ(window.rows[0], (std::vector<std::string>{"only", "1"}));
}

}  // namespace
}  // namespace rankora::app

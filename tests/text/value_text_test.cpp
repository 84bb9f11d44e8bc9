#include "text/value_text.h"

#include <gtest/gtest.h>

#include "text/gbk.h"

namespace rankora::text {
namespace {

TEST(DoubleToGbkText, UsesThirteenSignificantDigits) {
  EXPECT_EQ(DoubleToGbkText(0), "0");
  EXPECT_EQ(DoubleToGbkText(12), "12");
  EXPECT_EQ(DoubleToGbkText(-3.5), "-3.5");
  EXPECT_EQ(DoubleToGbkText(0.1), "0.1");
  EXPECT_EQ(DoubleToGbkText(1.0 / 3), "0.3333333333333");
  EXPECT_EQ(DoubleToGbkText(1234567890123.0), "1234567890123");
  EXPECT_EQ(DoubleToGbkText(12345678901234.0), "1.234567890123e+13");
  EXPECT_EQ(DoubleToGbkText(0.00001), "1e-05");
}

TEST(FormatBool, IsTrueOrFalseInChinese) {
  EXPECT_EQ(FormatBool(true), Gbk("真"));
  EXPECT_EQ(FormatBool(false), Gbk("假"));
}

TEST(FormatDateTime, ShowsTheTimeDownToItsLastNonZeroField) {
  EXPECT_EQ(FormatDateTime(2013, 4, 25, 0, 0, 0), Gbk("2013年4月25日"));
  EXPECT_EQ(FormatDateTime(2013, 4, 25, 7, 0, 0), Gbk("2013年4月25日7时"));
  EXPECT_EQ(FormatDateTime(2013, 4, 25, 7, 5, 0), Gbk("2013年4月25日7时5分"));
  EXPECT_EQ(FormatDateTime(2013, 4, 25, 0, 0, 9), Gbk("2013年4月25日0时0分9秒"));
  EXPECT_EQ(FormatDateTime(2013, 4, 25, 0, 5, 0), Gbk("2013年4月25日0时5分"));
}

}  // namespace
}  // namespace rankora::text

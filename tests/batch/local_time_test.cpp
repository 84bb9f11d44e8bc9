#include "batch/local_time.h"

#include <gtest/gtest.h>

namespace rankora::batch {
namespace {

using namespace std::chrono;

TEST(LocalTime, PlacesMomentsAfter2038) {
  // Noon UTC on 2040-01-01: the same day, or the next one east of +12:00.
  const system_clock::time_point noon = sys_days{year{2040} / January / 1} + hours(12);
  const std::optional<std::tm> local = LocalTime(noon);
  ASSERT_TRUE(local.has_value());
  EXPECT_EQ(local->tm_year, 2040 - 1900);
  EXPECT_EQ(local->tm_mon, 0);
  EXPECT_GE(local->tm_mday, 1);
  EXPECT_LE(local->tm_mday, 2);
  // An hour and a half later reads an hour and a half later.
  const std::optional<std::tm> later = LocalTime(noon + minutes(90));
  ASSERT_TRUE(later.has_value());
  EXPECT_EQ((later->tm_hour * 60 + later->tm_min - local->tm_hour * 60 - local->tm_min + 1440) % 1440, 90);
  EXPECT_EQ(LocalTimeText(noon, "%Y-%m"), "2040-01");
  EXPECT_EQ(LocalTimeText(sys_days{year{2100} / June / 15}, "%Y-%m"), "2100-06");
}

TEST(LocalTime, CutsPartsOfASecondOff) {
  const system_clock::time_point at = sys_days{year{2040} / March / 1} + hours(12) + seconds(7);
  EXPECT_EQ(LocalTimeText(at + milliseconds(999), "%S"), "07");
  EXPECT_EQ(LocalTimeText(at, "%S"), "07");
}

}  // namespace
}  // namespace rankora::batch

#include "script/datetime.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace kest;

TEST(DateTime, EncodeAndDecodeDates) {
  struct Case { int y, m, d; Float value; int week; };
  const Case cases[] = {
      {1899, 12, 30, 0, 7},       // the epoch, a Saturday
      {1900, 1, 1, 2, 2},         // Monday
      {2000, 2, 29, 36585, 3},    // Tuesday, a leap day of a 400-year
      {2026, 12, 11, 46367, 6},   // Friday
      {1, 1, 1, -693593, 2},
      {9999, 12, 31, 2958465, 6},
      {1600, 12, 31, -109206, 1},
  };
  for (const Case& c : cases) {
    const auto v = EncodeDate(c.y, c.m, c.d);
    ASSERT_TRUE(v) << c.y;
    EXPECT_EQ(*v, c.value) << c.y << "-" << c.m << "-" << c.d;
    // The time of day lies away from zero: forward for positive days, back for negative.
    const auto p = DecodeDate(c.value < 0 ? c.value - 0.75L : c.value + 0.75L);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Year, c.y);
    EXPECT_EQ(p->Month, c.m);
    EXPECT_EQ(p->Day, c.d);
    EXPECT_EQ(DayOfWeek(c.value), c.week) << c.y;
  }
  for (auto bad : {std::array{1900, 2, 29}, std::array{2023, 13, 1}, std::array{0, 1, 1}, std::array{2023, 4, 31},
                   std::array{10000, 1, 1}, std::array{2023, 1, 0}})
    EXPECT_FALSE(EncodeDate(bad[0], bad[1], bad[2])) << bad[0] << "-" << bad[1] << "-" << bad[2];
}

TEST(DateTime, TimesRoundToTheMillisecondBeforeSplitting) {
  EXPECT_EQ(*EncodeTime(12, 0, 0), 0.5L);
  EXPECT_FALSE(EncodeTime(24, 0, 0));
  EXPECT_FALSE(EncodeTime(0, 60, 0));
  EXPECT_FALSE(EncodeTime(0, 0, -1));

  const Float t = *EncodeDate(2026, 12, 31) + *EncodeTime(23, 59, 59, 999);
  auto tp = DecodeTime(t);
  EXPECT_EQ(tp->Hour, 23);
  EXPECT_EQ(tp->Second, 59);
  EXPECT_EQ(tp->MilliSecond, 999);
  // 0.6 ms before midnight rounds up into the next day, date and time together.
  const Float late = *EncodeDate(2026, 12, 31) + (86400000.0L - 0.4L) / 86400000.0L;
  EXPECT_EQ(DecodeDate(late)->Year, 2027);
  EXPECT_EQ(DecodeTime(late)->Hour, 0);
  // A negative value: the day counts back, the time reads forward.
  const auto np = DecodeDate(-1.25L);
  EXPECT_EQ(np->Day, 29);
  EXPECT_EQ(DecodeTime(-1.25L)->Hour, 6);
  EXPECT_EQ(DecodeDate(-0.5L)->Day, 30);
}

TEST(DateTime, UnrepresentableValuesDecodeToNothing) {
  for (Float v : {Float(NAN), Float(INFINITY), Float(-INFINITY), 1e300L, -700000.0L, 3000000.0L})
    EXPECT_FALSE(DecodeDate(v)) << double(v);
  EXPECT_FALSE(DayOfWeek(NAN));
}

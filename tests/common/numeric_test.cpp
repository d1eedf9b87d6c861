#include "common/numeric.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "common/clock.h"

using namespace kest;

TEST(Numeric, DivModTruncateTowardZero) {
  struct Case { int32_t a, b, div, mod; };
  const Case cases[] = {
      {7, 2, 3, 1},   {-7, 2, -3, -1}, {7, -2, -3, 1}, {-7, -2, 3, -1},
      {INT_MIN, -1, INT_MIN, 0}, {5, 0, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IntDiv(c.a, c.b), c.div) << c.a << "/" << c.b;
    EXPECT_EQ(IntMod(c.a, c.b), c.mod) << c.a << "%" << c.b;
  }
  EXPECT_EQ(ShiftLeft(1, 33), 2);
  EXPECT_EQ(ShiftRight(-1, 28), 15);
}

TEST(Numeric, RoundHalfEvenAndGuardedConversions) {
  EXPECT_EQ(RoundOr(2.5L, 99), 2);
  EXPECT_EQ(RoundOr(3.5L, 99), 4);
  EXPECT_EQ(RoundOr(-2.5L, 99), -2);
  EXPECT_EQ(TruncOr(-2.7L, 99), -2);
  EXPECT_EQ(TruncOr(NAN, 99), 99);
  EXPECT_EQ(TruncOr(INFINITY, 99), 99);
  EXPECT_EQ(TruncOr(1e30L, 99), 99);
  EXPECT_EQ(TruncToInt32(4294967297.0L), 1);  // low 32 bits of the 64-bit result
  EXPECT_EQ(TruncToInt32(NAN, -5), -5);
}

TEST(PlayerClock, TicksOfThreeHundredMsOrMoreAreDropped) {
  TPlayerClock c;
  EXPECT_TRUE(c.AcceptTick(15));
  EXPECT_TRUE(c.AcceptTick(299));
  EXPECT_FALSE(c.AcceptTick(300));
  EXPECT_EQ(c.ClockTime, 314u);
  EXPECT_EQ(c.ClockDelta, 299);
}

#include "script/numtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace kest;

TEST(FloatText, GeneralFormWithFifteenDigits) {
  struct Case { Float value; const char* text; };
  const Case cases[] = {
      {1.0L / 3, "0.333333333333333"},
      {-2.0L / 3, "-0.666666666666667"},
      {0.1L, "0.1"},
      {0.1, "0.1"},  // the double nearest 0.1 shows the same at 15 digits
      {100.0L, "100"},
      {1e20L, "1E20"},
      {1e-5L, "1E-5"},
      {1.5e-7L, "1.5E-7"},
      {0.0001L, "0.0001"},       // the last fixed form below 1
      {0.00012345L, "0.00012345"},
      {123456789012345.0L, "123456789012345"},  // 15 digits before the point: fixed
      {1e15L, "1E15"},                          // 16 digits: scientific
      {1234567890123456.0L, "1.23456789012346E15"},
      {9.9999999999999999L, "10"},  // rounding carries into a new digit
      {-2.5L, "-2.5"},
      {2.5e-300L, "2.5E-300"},
      {0.0L, "0"},
      {-0.0L, "0"},
      {std::numeric_limits<Float>::infinity(), "INF"},
      {-std::numeric_limits<Float>::infinity(), "-INF"},
      {std::numeric_limits<Float>::quiet_NaN(), "NAN"},
  };
  for (const Case& c : cases) EXPECT_EQ(FloatToText(c.value), c.text) << double(c.value);
}

TEST(NumberParse, IntegerForms) {
  struct Case { const char* text; std::optional<int32_t> value; };
  const Case cases[] = {
      {"0", 0}, {"42", 42}, {"-42", -42}, {"+7", 7}, {"  12", 12},
      {"$1F", 31}, {"0x1F", 31}, {"0X1f", 31}, {"-$10", -16}, {"$FFFFFFFF", -1},
      {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt}, {"$100000000", std::nullopt},
      {"", std::nullopt}, {"-", std::nullopt}, {"$", std::nullopt}, {"0x", std::nullopt},
      {"12 ", std::nullopt}, {"1.5", std::nullopt}, {"abc", std::nullopt}, {"1e3", std::nullopt},
      {"x1F", std::nullopt}, {"TRUE", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseInt(c.text), c.value) << c.text;
}

TEST(NumberParse, FloatForms) {
  struct Case { const char* text; bool ok; Float value; };
  const Case cases[] = {
      {"1.5", true, 1.5L}, {"-2.25", true, -2.25L}, {" 3 ", true, 3}, {".5", true, 0.5L},
      {"5.", true, 5}, {"1e3", true, 1000}, {"1E-2", true, 0.01L}, {"+4", true, 4},
      {"1e-99999", true, 0},  // underflow reads as zero
      {"1e99999", false, 0}, {"", false, 0}, {".", false, 0}, {"1e", false, 0},
      {"$1F", false, 0}, {"0x10", false, 0}, {"INF", false, 0}, {"nan", false, 0},
      {"1,5", false, 0}, {"1.5x", false, 0},
  };
  for (const Case& c : cases) {
    const auto v = ParseFloat(c.text);
    EXPECT_EQ(v.has_value(), c.ok) << c.text;
    if (v && c.ok) {
      EXPECT_EQ(*v, c.value) << c.text;
    }
  }
  EXPECT_EQ(TextToFloat("0.1"), 0.1L);  // the nearest extended value, not the double's
}

TEST(NumberParse, FloatToIntIsDefinedEverywhere) {
  EXPECT_EQ(FloatToInt(-2.7L), -2);
  EXPECT_EQ(FloatToInt(2.7L), 2);
  EXPECT_EQ(FloatToInt(4294967296.0L + 5), 5);  // kept modulo 2^32
  EXPECT_EQ(FloatToInt(2147483648.0L), INT32_MIN);
  EXPECT_EQ(FloatToInt(std::numeric_limits<Float>::quiet_NaN()), 0);
  EXPECT_EQ(FloatToInt(std::numeric_limits<Float>::infinity()), 0);
  EXPECT_EQ(FloatToInt(1e30L), 0);
}

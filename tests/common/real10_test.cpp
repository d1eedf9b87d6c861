#include "common/real10.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

using namespace kest;

namespace {
Real10Bytes B(std::initializer_list<int> v) {
  Real10Bytes b{};
  size_t i = 0;
  for (int x : v) b[i++] = uint8_t(x);
  return b;
}
}  // namespace

// Hand-computed byte vectors, so a fault shared by the encoder and decoder cannot hide.
TEST(Real10, Vectors) {
  struct Case { Float v; Real10Bytes bytes; };
  const Case cases[] = {
      {1.0L, B({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F})},
      {-2.5L, B({0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0xC0})},
      {0.0L, B({0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
      {-0.0L, B({0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80})},
      {100.0L, B({0, 0, 0, 0, 0, 0, 0, 0xC8, 0x05, 0x40})},
      {std::numeric_limits<Float>::infinity(), B({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F})},
      {-std::numeric_limits<Float>::infinity(), B({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF})},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeReal10(c.v), c.bytes) << double(c.v);
    EXPECT_EQ(EncodeReal10Portable(c.v), c.bytes) << double(c.v);
    const Float d = DecodeReal10(c.bytes.data());
    EXPECT_EQ(d, c.v);
    EXPECT_EQ(std::signbit(d), std::signbit(c.v));
    EXPECT_EQ(DecodeReal10Portable(c.bytes.data()), c.v);
  }
}

TEST(Real10, NaNAndDamagedEncodings) {
  const Real10Bytes qnan = EncodeReal10(std::numeric_limits<Float>::quiet_NaN());
  EXPECT_TRUE(std::isnan(DecodeReal10(qnan.data())));
  EXPECT_TRUE(std::isnan(DecodeReal10Portable(EncodeReal10Portable(NAN).data())));
  // Unnormal: exponent set, integer bit clear. Read as its value, never a trap.
  const Real10Bytes unnormal = B({0, 0, 0, 0, 0, 0, 0, 0x40, 0xFF, 0x3F});
  EXPECT_EQ(DecodeReal10(unnormal.data()), 0.5L);
  // Pseudo-NaN (exponent all ones, integer bit clear, fraction set) reads as NaN.
  const Real10Bytes pseudoNan = B({1, 0, 0, 0, 0, 0, 0, 0x00, 0xFF, 0x7F});
  EXPECT_TRUE(std::isnan(DecodeReal10(pseudoNan.data())));
}

TEST(Real10, DenormalsAndLimits) {
  // Smallest 80-bit denormal: mantissa 1, exponent 0 = 2^-16445.
  const Real10Bytes smallest = B({1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  if (LDBL_MANT_DIG == 64) {
    EXPECT_EQ(DecodeReal10(smallest.data()), std::ldexp(1.0L, -16445));
    EXPECT_EQ(EncodeReal10Portable(std::ldexp(1.0L, -16445)), smallest);
    EXPECT_EQ(EncodeReal10Portable(LDBL_MAX), EncodeReal10(LDBL_MAX));
    EXPECT_EQ(EncodeReal10Portable(LDBL_MIN), EncodeReal10(LDBL_MIN));
  }
  // 16.666666666666668 (film time in ms) round trips.
  const Float film = 1000.0L / 60.0L;
  EXPECT_EQ(DecodeReal10(EncodeReal10(film).data()), film);
}

// The portable path against the fast path, byte for byte, over random bit patterns.
TEST(Real10, PortablePathMatchesFastPath) {
  if (LDBL_MANT_DIG != 64) GTEST_SKIP() << "long double is not the 80-bit format here";
  std::mt19937_64 rng(12345);
  for (int i = 0; i < 200000; ++i) {
    Real10Bytes b{};
    const uint64_t m = rng();
    for (int k = 0; k < 8; ++k) b[size_t(k)] = uint8_t(m >> (8 * k));
    const uint16_t se = uint16_t(rng());
    b[8] = uint8_t(se);
    b[9] = uint8_t(se >> 8);
    b[7] |= 0x80;  // canonical encodings only: integer bit set
    if ((se & 0x7FFF) == 0) b[7] &= 0x7F;  // denormals have it clear
    const Float fast = DecodeReal10(b.data());
    const Float slow = DecodeReal10Portable(b.data());
    if (std::isnan(fast)) {
      ASSERT_TRUE(std::isnan(slow));
      continue;
    }
    ASSERT_EQ(fast, slow) << i;
    ASSERT_EQ(EncodeReal10Portable(fast), EncodeReal10(fast)) << i;
    ASSERT_EQ(EncodeReal10(fast), b) << i;
  }
}

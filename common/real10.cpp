#include "common/real10.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace kest {

namespace {
constexpr bool kNativeReal10 = (LDBL_MANT_DIG == 64 && LDBL_MAX_EXP == 16384);

void Store(Real10Bytes& b, uint64_t mantissa, uint16_t signExp) {
  for (int i = 0; i < 8; ++i) b[size_t(i)] = uint8_t(mantissa >> (8 * i));
  b[8] = uint8_t(signExp);
  b[9] = uint8_t(signExp >> 8);
}
}  // namespace

Real10Bytes EncodeReal10Portable(Float value) {
  Real10Bytes b{};
  const bool neg = std::signbit(value);
  const uint16_t sign = neg ? 0x8000 : 0;
  if (std::isnan(value)) {
    // Quiet NaN with the sign kept.
    Store(b, 0xC000000000000000ull, uint16_t(sign | 0x7FFF));
    return b;
  }
  if (std::isinf(value)) {
    Store(b, 0x8000000000000000ull, uint16_t(sign | 0x7FFF));
    return b;
  }
  if (value == 0) {
    Store(b, 0, sign);
    return b;
  }
  Float a = neg ? -value : value;
  int e = 0;
  const Float m = std::frexp(a, &e);  // a = m * 2^e, 0.5 <= m < 1
  // Integer-bit form: a = 1.f * 2^(e-1). Biased exponent:
  int biased = (e - 1) + 16383;
  uint64_t mant;
  if (biased >= 1) {
    if (biased >= 0x7FFF) {
      Store(b, 0x8000000000000000ull, uint16_t(sign | 0x7FFF));
      return b;
    }
    // m * 2^64 fits in 64 bits exactly for every format with at most 64 mantissa bits.
    mant = uint64_t(std::ldexp(m, 64));
  } else {
    // Denormal of the 80-bit format: value = mant * 2^(1 - 16383 - 63).
    const int shift = 64 + (biased - 1);  // bits kept
    if (shift <= 0) {
      Store(b, 0, sign);
      return b;
    }
    mant = uint64_t(std::nearbyint(std::ldexp(m, shift)));
    biased = 0;
    if (mant >> 63) biased = 1;  // rounded up into the normal range
  }
  Store(b, mant, uint16_t(sign | uint16_t(biased)));
  return b;
}

Float DecodeReal10Portable(const uint8_t* p) {
  uint64_t mant = 0;
  for (int i = 7; i >= 0; --i) mant = (mant << 8) | p[i];
  const uint16_t se = uint16_t(p[8] | (p[9] << 8));
  const bool neg = (se & 0x8000) != 0;
  const int exp = se & 0x7FFF;
  Float r;
  if (exp == 0x7FFF) {
    // Infinity when the fraction (below the integer bit) is zero, else NaN.
    if ((mant & 0x7FFFFFFFFFFFFFFFull) == 0)
      r = std::numeric_limits<Float>::infinity();
    else
      r = std::numeric_limits<Float>::quiet_NaN();
  } else if (mant == 0) {
    r = 0;
  } else {
    // Denormals and pseudo-denormals use exponent 1. Split the mantissa so that the
    // conversion of each half is exact, then scale.
    const int e = (exp == 0 ? 1 : exp) - 16383 - 63;
    const Float hi = Float(mant >> 32) * 4294967296.0L;
    const Float lo = Float(mant & 0xFFFFFFFFull);
    r = std::ldexp(hi + lo, e);
  }
  return neg ? -r : r;
}

Real10Bytes EncodeReal10(Float value) {
  if constexpr (kNativeReal10) {
    Real10Bytes b{};
    std::memcpy(b.data(), &value, 10);
    return b;
  } else {
    return EncodeReal10Portable(value);
  }
}

Float DecodeReal10(const uint8_t* bytes) {
  if constexpr (kNativeReal10) {
    const uint16_t se = uint16_t(bytes[8] | (bytes[9] << 8));
    const int exp = se & 0x7FFF;
    const bool intBit = (bytes[7] & 0x80) != 0;
    // Encodings the processor rejects (unnormals, pseudo-NaN, pseudo-infinity: exponent not
    // zero with the integer bit clear) are read through the portable path, which gives
    // their value or NaN, instead of a signalling operand.
    if (exp != 0 && !intBit) return DecodeReal10Portable(bytes);
    Float v = 0;
    std::memcpy(&v, bytes, 10);
    return v;
  } else {
    return DecodeReal10Portable(bytes);
  }
}

}  // namespace kest

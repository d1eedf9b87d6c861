// Delphi-style arithmetic, with the faults of the old machine guarded.
#pragma once
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "common/types.h"

namespace kest {

// Integer division truncating toward zero; INT_MIN div -1 wraps to INT_MIN. A zero divisor
// is the caller's to guard: here it answers 0.
constexpr int32_t IntDiv(int32_t a, int32_t b) {
  if (b == 0) return 0;
  if (b == -1) return int32_t(0u - uint32_t(a));
  return a / b;
}
// Remainder with the dividend's sign; x mod -1 is 0; a zero divisor answers 0.
constexpr int32_t IntMod(int32_t a, int32_t b) {
  if (b == 0 || b == -1) return 0;
  return a % b;
}
// Shifts take the count modulo 32, as the processor did.
constexpr int32_t ShiftLeft(int32_t a, int32_t n) { return int32_t(uint32_t(a) << (uint32_t(n) & 31)); }
constexpr int32_t ShiftRight(int32_t a, int32_t n) { return int32_t(uint32_t(a) >> (uint32_t(n) & 31)); }

// A float that converts to int64 (finite and within range), truncated toward zero.
inline std::optional<int64_t> TryTrunc(Float x) {
  if (!std::isfinite(x)) return std::nullopt;
  const Float t = std::trunc(x);
  if (t < -9223372036854775808.0L || t >= 9223372036854775808.0L) return std::nullopt;
  return int64_t(t);
}
// Round half to even (the Round of the system), when it converts to int64.
inline std::optional<int64_t> TryRound(Float x) {
  if (!std::isfinite(x)) return std::nullopt;
  const Float r = std::nearbyint(x);  // default rounding mode: to nearest, ties to even
  if (r < -9223372036854775808.0L || r >= 9223372036854775808.0L) return std::nullopt;
  return int64_t(r);
}
// Guarded conversions with a fallback for NaN and out-of-range values.
inline int64_t TruncOr(Float x, int64_t fallback) { return TryTrunc(x).value_or(fallback); }
inline int64_t RoundOr(Float x, int64_t fallback) { return TryRound(x).value_or(fallback); }
// Truncation into a 32-bit integer: the low 32 bits of the 64-bit result (an Int64 result
// assigned to a 32-bit integer); NaN and out-of-range values give the fallback.
inline int32_t TruncToInt32(Float x, int32_t fallback = 0) {
  auto v = TryTrunc(x);
  return v ? int32_t(uint32_t(uint64_t(*v))) : fallback;
}
inline int32_t RoundToInt32(Float x, int32_t fallback = 0) {
  auto v = TryRound(x);
  return v ? int32_t(uint32_t(uint64_t(*v))) : fallback;
}

// Clamp into [lo, hi].
template <class T>
constexpr T Clamp(T v, T lo, T hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

}  // namespace kest

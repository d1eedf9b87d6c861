// Rectangles of pixel work: left and top inside, right and bottom outside.
#pragma once
#include <algorithm>
#include <cstdint>

namespace kest {

struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;

  constexpr int32_t Width() const { return Right - Left; }
  constexpr int32_t Height() const { return Bottom - Top; }
  constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  constexpr bool operator==(const TRect&) const = default;
};

constexpr TRect Rect(int32_t l, int32_t t, int32_t r, int32_t b) { return TRect{l, t, r, b}; }

// The common part of two rectangles; an empty result is (0, 0, 0, 0).
constexpr TRect IntersectRect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
  if (r.IsEmpty()) return TRect{};
  return r;
}

}  // namespace kest

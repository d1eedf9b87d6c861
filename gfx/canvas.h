// The software canvas: filled shapes as regions of pixels (rectangles, ellipses, pie
// segments, polygons), point-in-region tests, and painting regions onto surfaces.
//
// A pixel (x, y) belongs to a shape when its centre (x + 0.5, y + 0.5) lies inside it.
// Shapes are given with exclusive right and bottom edges, as rectangles everywhere else.
#pragma once
#include <cstdint>
#include <vector>

#include "gfx/dibx.h"
#include "gfx/geometry.h"

namespace kest {

struct TCanvasPoint {
  int32_t X = 0, Y = 0;
};

enum class TFillRule { Alternate, Winding };
enum class TRegionOp { Or, And, Diff, Xor };

class TRegion {
 public:
  TRegion() = default;
  static TRegion FromRect(const TRect& r);
  // The ellipse inscribed in the box.
  static TRegion FromEllipse(const TRect& box);
  // The part of the ellipse inscribed in box swept clockwise (on screen, y downwards) from
  // angle a0 to angle a1, in radians, 0 pointing right; a sweep of a full turn or more is
  // the whole ellipse, a negative sweep goes anticlockwise.
  static TRegion FromPie(const TRect& box, double a0, double a1);
  static TRegion FromPolygon(const std::vector<TCanvasPoint>& points, TFillRule rule);

  bool IsEmpty() const { return rows_.empty(); }
  bool Contains(int32_t x, int32_t y) const;
  // The smallest rectangle holding every pixel; (0, 0, 0, 0) when empty.
  TRect Bounds() const;
  TRegion Combined(const TRegion& other, TRegionOp op) const;
  void Offset(int32_t dx, int32_t dy);
  // Calls fn(y, x0, x1) for every run of pixels [x0, x1) in row y, top down.
  template <class Fn>
  void ForSpans(Fn fn) const {
    for (const TRow& r : rows_)
      for (size_t i = 0; i + 1 < r.xs.size(); i += 2) fn(r.y, r.xs[i], r.xs[i + 1]);
  }

 private:
  struct TRow {
    int32_t y;
    std::vector<int32_t> xs;  // sorted, disjoint pairs [x0, x1)
  };
  void AddRow(int32_t y, std::vector<int32_t> xs);
  std::vector<TRow> rows_;  // sorted by y, no empty rows
};

// Every pixel of the region on the surface becomes value (clipped as FillRect).
void FillRegion(TCustomDIBX& dst, const TRegion& rgn, uint32_t value);

}  // namespace kest

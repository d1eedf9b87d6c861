#include "gfx/canvas.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kest {

namespace {
// Shapes are bounded so that a damaged map file cannot make a region without end.
constexpr int64_t kMaxShapeSide = 1 << 15;

// Merges sorted runs, or answers the runs of a boolean combination of two run lists.
std::vector<int32_t> CombineRuns(const std::vector<int32_t>& a, const std::vector<int32_t>& b, TRegionOp op) {
  std::vector<int32_t> edges;
  edges.reserve(a.size() + b.size());
  edges.insert(edges.end(), a.begin(), a.end());
  edges.insert(edges.end(), b.begin(), b.end());
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  auto inside = [](const std::vector<int32_t>& v, int32_t x) {
    const auto it = std::upper_bound(v.begin(), v.end(), x);
    return ((it - v.begin()) & 1) != 0;
  };
  std::vector<int32_t> out;
  for (size_t i = 0; i + 1 < edges.size(); ++i) {
    const int32_t x = edges[i];
    const bool ia = inside(a, x), ib = inside(b, x);
    bool in = false;
    switch (op) {
      case TRegionOp::Or: in = ia || ib; break;
      case TRegionOp::And: in = ia && ib; break;
      case TRegionOp::Diff: in = ia && !ib; break;
      case TRegionOp::Xor: in = ia != ib; break;
    }
    if (!in) continue;
    if (!out.empty() && out.back() == x) out.back() = edges[i + 1];
    else out.push_back(x), out.push_back(edges[i + 1]);
  }
  return out;
}
}  // namespace

void TRegion::AddRow(int32_t y, std::vector<int32_t> xs) {
  if (xs.empty()) return;
  rows_.push_back(TRow{y, std::move(xs)});
}

TRegion TRegion::FromRect(const TRect& r) {
  TRegion g;
  if (r.IsEmpty()) return g;
  for (int32_t y = r.Top; y < r.Bottom; ++y) g.AddRow(y, {r.Left, r.Right});
  return g;
}

TRegion TRegion::FromEllipse(const TRect& box) {
  return FromPie(box, 0, 2 * std::numbers::pi);
}

TRegion TRegion::FromPie(const TRect& box, double a0, double a1) {
  TRegion g;
  if (box.IsEmpty() || int64_t(box.Right) - box.Left > kMaxShapeSide || int64_t(box.Bottom) - box.Top > kMaxShapeSide ||
      !std::isfinite(a0) || !std::isfinite(a1))
    return g;
  const double cx = (double(box.Left) + box.Right) / 2, cy = (double(box.Top) + box.Bottom) / 2;
  const double rx = (double(box.Right) - box.Left) / 2, ry = (double(box.Bottom) - box.Top) / 2;
  constexpr double kTurn = 2 * std::numbers::pi;
  double sweep = a1 - a0;
  const bool full = std::fabs(sweep) >= kTurn;
  if (sweep < 0) {  // anticlockwise: the same sector swept clockwise from a1
    std::swap(a0, a1);
    sweep = -sweep;
  }
  double start = std::fmod(a0, kTurn);
  if (start < 0) start += kTurn;
  auto inSector = [&](double dx, double dy) {
    if (full) return true;
    if (dx == 0 && dy == 0) return true;
    double a = std::atan2(dy, dx) - start;  // y grows downwards: clockwise on screen
    a = std::fmod(a, kTurn);
    if (a < 0) a += kTurn;
    return a <= sweep;
  };
  for (int32_t y = box.Top; y < box.Bottom; ++y) {
    std::vector<int32_t> xs;
    const double dy = (y + 0.5 - cy) / ry;
    if (dy * dy > 1) continue;
    int32_t run = INT32_MIN;
    for (int32_t x = box.Left; x < box.Right; ++x) {
      const double ex = (x + 0.5 - cx) / rx;
      const bool in = ex * ex + dy * dy <= 1 && inSector(x + 0.5 - cx, y + 0.5 - cy);
      if (in && run == INT32_MIN) run = x;
      if (!in && run != INT32_MIN) xs.push_back(run), xs.push_back(x), run = INT32_MIN;
    }
    if (run != INT32_MIN) xs.push_back(run), xs.push_back(box.Right);
    g.AddRow(y, std::move(xs));
  }
  return g;
}

TRegion TRegion::FromPolygon(const std::vector<TCanvasPoint>& pts, TFillRule rule) {
  TRegion g;
  if (pts.size() < 3) return g;
  int64_t minY = INT64_MAX, maxY = INT64_MIN, minX = INT64_MAX, maxX = INT64_MIN;
  for (const auto& p : pts)
    minY = std::min<int64_t>(minY, p.Y), maxY = std::max<int64_t>(maxY, p.Y), minX = std::min<int64_t>(minX, p.X),
    maxX = std::max<int64_t>(maxX, p.X);
  if (maxY - minY > kMaxShapeSide || maxX - minX > kMaxShapeSide) return g;
  struct TCross {
    double x;
    int dir;
  };
  std::vector<TCross> cross;
  for (int64_t y = minY; y < maxY; ++y) {
    const double sy = double(y) + 0.5;
    cross.clear();
    for (size_t i = 0; i < pts.size(); ++i) {
      const TCanvasPoint& a = pts[i];
      const TCanvasPoint& b = pts[(i + 1) % pts.size()];
      if (a.Y == b.Y) continue;
      const bool down = b.Y > a.Y;
      const double y0 = down ? a.Y : b.Y, y1 = down ? b.Y : a.Y;
      if (sy < y0 || sy >= y1) continue;
      const double t = (sy - a.Y) / (double(b.Y) - a.Y);
      cross.push_back(TCross{a.X + t * (double(b.X) - a.X), down ? 1 : -1});
    }
    std::sort(cross.begin(), cross.end(), [](const TCross& p, const TCross& q) { return p.x < q.x; });
    std::vector<int32_t> xs;
    int wind = 0;
    for (size_t i = 0; i + 1 < cross.size(); ++i) {
      wind += rule == TFillRule::Winding ? cross[i].dir : 1;
      const bool in = rule == TFillRule::Winding ? wind != 0 : (wind & 1) != 0;
      if (!in) continue;
      // Pixels whose centres lie between the two crossings.
      const int32_t x0 = int32_t(std::ceil(cross[i].x - 0.5)), x1 = int32_t(std::ceil(cross[i + 1].x - 0.5));
      if (x1 <= x0) continue;
      if (!xs.empty() && xs.back() >= x0) xs.back() = std::max(xs.back(), x1);
      else xs.push_back(x0), xs.push_back(x1);
    }
    g.AddRow(int32_t(y), std::move(xs));
  }
  return g;
}

bool TRegion::Contains(int32_t x, int32_t y) const {
  const auto it = std::lower_bound(rows_.begin(), rows_.end(), y, [](const TRow& r, int32_t v) { return r.y < v; });
  if (it == rows_.end() || it->y != y) return false;
  const auto p = std::upper_bound(it->xs.begin(), it->xs.end(), x);
  return ((p - it->xs.begin()) & 1) != 0;
}

TRect TRegion::Bounds() const {
  if (rows_.empty()) return TRect{};
  TRect b{INT32_MAX, rows_.front().y, INT32_MIN, rows_.back().y + 1};
  for (const TRow& r : rows_) b.Left = std::min(b.Left, r.xs.front()), b.Right = std::max(b.Right, r.xs.back());
  return b;
}

TRegion TRegion::Combined(const TRegion& o, TRegionOp op) const {
  TRegion g;
  size_t i = 0, j = 0;
  static const std::vector<int32_t> kNone;
  while (i < rows_.size() || j < o.rows_.size()) {
    int32_t y;
    const std::vector<int32_t>* a = &kNone;
    const std::vector<int32_t>* b = &kNone;
    if (j >= o.rows_.size() || (i < rows_.size() && rows_[i].y < o.rows_[j].y)) {
      y = rows_[i].y, a = &rows_[i].xs, ++i;
    } else if (i >= rows_.size() || o.rows_[j].y < rows_[i].y) {
      y = o.rows_[j].y, b = &o.rows_[j].xs, ++j;
    } else {
      y = rows_[i].y, a = &rows_[i].xs, b = &o.rows_[j].xs, ++i, ++j;
    }
    g.AddRow(y, CombineRuns(*a, *b, op));
  }
  return g;
}

void TRegion::Offset(int32_t dx, int32_t dy) {
  for (TRow& r : rows_) {
    r.y += dy;
    for (int32_t& x : r.xs) x += dx;
  }
}

void FillRegion(TCustomDIBX& dst, const TRegion& rgn, uint32_t value) {
  rgn.ForSpans([&](int32_t y, int32_t x0, int32_t x1) { dst.FillRect(TRect{x0, y, x1, y + 1}, value); });
}

}  // namespace kest

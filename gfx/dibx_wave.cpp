// The row-shifting proxy of the wave effect.
//
// Coordinates on the proxy are those of its target; the proxy covers (OriginX, OriginY)
// to that plus its size, and row r of it (target y - OriginY) is shifted by RowOffsets[r].
// Fills and positioned blits are replayed once per run of rows with equal shifts, the
// target's clip narrowed to those rows; stretch, rotation, pattern and indexed-stretch
// operations are replayed once per row, since their source stepping depends on where the
// clip starts.
#include <algorithm>

#include "gfx/dibx.h"
#include "gfx/gfxerrors.h"

namespace kest {

// Sizes are bounded as those of memory images are.
void TDIBXWave::SetSize(int32_t w, int32_t h, int32_t) {
  if (w > kMaxImageSide || h > kMaxImageSide) throw EKestBadData(gfxmsg::kBadSize);
  width_ = std::max(0, w);
  height_ = std::max(0, h);
  RowOffsets.assign(size_t(height_), 0);
}

void TDIBXWave::Release() { SetSize(0, 0, 0); }

TRect TDIBXWave::ClipArea() const {
  const TRect area{OriginX, OriginY, OriginX + width_, OriginY + height_};
  if (ClipRect.Right == 0) return area;
  return IntersectRect(ClipRect, area);
}

void TDIBXWave::ResetClip() { ClipRect = TRect{}; }

// The rectangle is given in target coordinates like every other operation on the proxy; it
// is limited to the proxy's area, merged into the proxy's clip and passed on to the target.
void TDIBXWave::AddClip(const TRect& r) {
  const TRect c = IntersectRect(r, TRect{OriginX, OriginY, OriginX + width_, OriginY + height_});
  if (c.IsEmpty()) return;
  if (ClipRect.Right == 0) {
    ClipRect = c;
  } else {
    ClipRect = TRect{std::min(ClipRect.Left, c.Left), std::min(ClipRect.Top, c.Top),
                     std::max(ClipRect.Right, c.Right), std::max(ClipRect.Bottom, c.Bottom)};
  }
  if (target_) target_->AddClip(c);
}

void TDIBXWave::SaveTargetClip() {
  if (!target_) return;
  savedTargetClip_ = target_->ClipRect;
  haveSavedClip_ = true;
}

void TDIBXWave::RestoreTargetClip() {
  if (!target_ || !haveSavedClip_) return;
  target_->ClipRect = savedTargetClip_;
  haveSavedClip_ = false;
}

// op(shift) runs with the target's clip narrowed to rows [a, b) of one run, shifted sideways.
template <class Op>
void TDIBXWave::ForRuns(int32_t top, int32_t bottom, Op op) {
  if (!target_) return;
  const TRect area = ClipArea();
  top = std::max(top, area.Top);
  bottom = std::min(bottom, area.Bottom);
  if (top >= bottom) return;
  SaveTargetClip();
  const TRect targetClip = target_->ClipArea();
  int32_t y = top;
  while (y < bottom) {
    const int64_t r = int64_t(y) - OriginY;
    if (r < 0 || r >= int64_t(RowOffsets.size())) {
      ++y;
      continue;
    }
    const int32_t shift = RowOffsets[size_t(r)];
    int32_t e = y + 1;
    while (e < bottom && e - OriginY < int32_t(RowOffsets.size()) && RowOffsets[size_t(e - OriginY)] == shift) ++e;
    const TRect c = IntersectRect(TRect{area.Left + shift, y, area.Right + shift, e}, targetClip);
    if (!c.IsEmpty()) {
      target_->ClipRect = c;
      op(shift);
    }
    y = e;
  }
  RestoreTargetClip();
}

template <class Op>
void TDIBXWave::ForRows(int32_t top, int32_t bottom, Op op) {
  if (!target_) return;
  const TRect area = ClipArea();
  top = std::max(top, area.Top);
  bottom = std::min(bottom, area.Bottom);
  if (top >= bottom) return;
  SaveTargetClip();
  const TRect targetClip = target_->ClipArea();
  for (int32_t y = top; y < bottom; ++y) {
    const int64_t r = int64_t(y) - OriginY;
    if (r < 0 || r >= int64_t(RowOffsets.size())) continue;
    const int32_t shift = RowOffsets[size_t(r)];
    const TRect c = IntersectRect(TRect{area.Left + shift, y, area.Right + shift, y + 1}, targetClip);
    if (c.IsEmpty()) continue;
    target_->ClipRect = c;
    op(shift);
  }
  RestoreTargetClip();
}

namespace {
TRect Shifted(const TRect& r, int32_t dx) { return TRect{r.Left + dx, r.Top, r.Right + dx, r.Bottom}; }
// Rows a positioned blit of srcRect at y can touch.
int32_t BlitBottom(int32_t y, const TRect& sr) { return int32_t(std::min<int64_t>(int64_t(y) + sr.Height(), INT32_MAX)); }
}  // namespace

void TDIBXWave::Clear(uint32_t v) { FillRect(ClipArea(), v); }
void TDIBXWave::FillRect(const TRect& r, uint32_t v) {
  ForRuns(r.Top, r.Bottom, [&](int32_t s) { target_->FillRect(Shifted(r, s), v); });
}
void TDIBXWave::FillRectAlpha(const TRect& r, uint32_t v, int32_t a) {
  ForRuns(r.Top, r.Bottom, [&](int32_t s) { target_->FillRectAlpha(Shifted(r, s), v, a); });
}
void TDIBXWave::FillRectAdd(const TRect& r, uint32_t v) {
  ForRuns(r.Top, r.Bottom, [&](int32_t s) { target_->FillRectAdd(Shifted(r, s), v); });
}
void TDIBXWave::FillRectSub(const TRect& r, uint32_t v) {
  ForRuns(r.Top, r.Bottom, [&](int32_t s) { target_->FillRectSub(Shifted(r, s), v); });
}
void TDIBXWave::Assign(const TCustomDIBX& src) { Draw(OriginX, OriginY, src.BoundsRect(), src, false, false, false); }

void TDIBXWave::Draw(int32_t x, int32_t y, const TRect& sr, const TCustomDIBX& src, bool key, bool mx, bool my) {
  ForRuns(y, BlitBottom(y, sr), [&](int32_t s) { target_->Draw(x + s, y, sr, src, key, mx, my); });
}
void TDIBXWave::DrawMask(int32_t x, int32_t y, const TRect& sr, const TCustomDIBX& src, const TCustomDIBX& mask,
                         bool mx, bool my) {
  ForRuns(y, BlitBottom(y, sr), [&](int32_t s) { target_->DrawMask(x + s, y, sr, src, mask, mx, my); });
}
void TDIBXWave::DrawAlpha(int32_t x, int32_t y, const TRect& sr, const TCustomDIBX& src, int32_t a, bool key,
                          bool mx, bool my) {
  ForRuns(y, BlitBottom(y, sr), [&](int32_t s) { target_->DrawAlpha(x + s, y, sr, src, a, key, mx, my); });
}
void TDIBXWave::DrawMaskAlpha(int32_t x, int32_t y, const TRect& sr, const TCustomDIBX& src,
                              const TCustomDIBX& mask, int32_t a, bool mx, bool my) {
  ForRuns(y, BlitBottom(y, sr), [&](int32_t s) { target_->DrawMaskAlpha(x + s, y, sr, src, mask, a, mx, my); });
}
void TDIBXWave::DrawAdd(int32_t x, int32_t y, const TRect& sr, const TCustomDIBX& src, int32_t w, bool mx, bool my) {
  ForRuns(y, BlitBottom(y, sr), [&](int32_t s) { target_->DrawAdd(x + s, y, sr, src, w, mx, my); });
}
void TDIBXWave::DrawMaskAdd(int32_t x, int32_t y, const TRect& sr, const TCustomDIBX& src, const TCustomDIBX& mask,
                            int32_t w, bool mx, bool my) {
  ForRuns(y, BlitBottom(y, sr), [&](int32_t s) { target_->DrawMaskAdd(x + s, y, sr, src, mask, w, mx, my); });
}
void TDIBXWave::DrawRotate(int32_t x, int32_t y, const TRect& sr, const TCustomDIBX& src, int32_t angle, int32_t px,
                           int32_t py, int32_t scx, int32_t scy, int32_t a, bool key, bool mx, bool my) {
  ForRows(INT32_MIN, INT32_MAX, [&](int32_t s) {
    target_->DrawRotate(x + s, y, sr, src, angle, px, py, scx, scy, a, key, mx, my);
  });
}
void TDIBXWave::DrawRotateMask(int32_t x, int32_t y, const TRect& sr, const TCustomDIBX& src,
                               const TCustomDIBX& mask, int32_t angle, int32_t px, int32_t py, int32_t scx,
                               int32_t scy, int32_t a, bool mx, bool my) {
  ForRows(INT32_MIN, INT32_MAX, [&](int32_t s) {
    target_->DrawRotateMask(x + s, y, sr, src, mask, angle, px, py, scx, scy, a, mx, my);
  });
}
void TDIBXWave::StretchDraw(const TRect& dr, const TRect& sr, const TCustomDIBX& src, int32_t a, bool key, bool mx,
                            bool my) {
  ForRows(dr.Top, dr.Bottom, [&](int32_t s) { target_->StretchDraw(Shifted(dr, s), sr, src, a, key, mx, my); });
}
void TDIBXWave::StretchDrawMask(const TRect& dr, const TRect& sr, const TCustomDIBX& src, const TCustomDIBX& mask,
                                int32_t a, bool mx, bool my) {
  ForRows(dr.Top, dr.Bottom, [&](int32_t s) { target_->StretchDrawMask(Shifted(dr, s), sr, src, mask, a, mx, my); });
}
void TDIBXWave::StretchDrawAdd(const TRect& dr, const TRect& sr, const TCustomDIBX& src, int32_t w, bool key,
                               bool mx, bool my) {
  ForRows(dr.Top, dr.Bottom, [&](int32_t s) { target_->StretchDrawAdd(Shifted(dr, s), sr, src, w, key, mx, my); });
}
void TDIBXWave::StretchDrawMaskAdd(const TRect& dr, const TRect& sr, const TCustomDIBX& src,
                                   const TCustomDIBX& mask, int32_t w, bool mx, bool my) {
  ForRows(dr.Top, dr.Bottom,
          [&](int32_t s) { target_->StretchDrawMaskAdd(Shifted(dr, s), sr, src, mask, w, mx, my); });
}
void TDIBXWave::DrawGlyph(int32_t x, int32_t y, const TRect& sr, const TBitImage& g, int32_t f, uint32_t c,
                          int32_t a, bool mx, bool my) {
  const int32_t h = f > 0 ? sr.Height() / f : 0;
  ForRuns(y, y + h, [&](int32_t s) { target_->DrawGlyph(x + s, y, sr, g, f, c, a, mx, my); });
}
void TDIBXWave::DrawGlyphColors(int32_t x, int32_t y, const TRect& sr, const TBitImage& g, int32_t f,
                                const std::array<uint32_t, 3>& c, int32_t a, bool mx, bool my) {
  const int32_t h = f > 0 ? sr.Height() / f : 0;
  ForRuns(y, y + h, [&](int32_t s) { target_->DrawGlyphColors(x + s, y, sr, g, f, c, a, mx, my); });
}
void TDIBXWave::PatternFillRects(const std::vector<TRect>& rects, const TCustomDIBX& p, int32_t ox, int32_t oy) {
  for (const TRect& r : rects) PatternFill(r, p, ox, oy, false, false);
}
void TDIBXWave::PatternFill(const TRect& r, const TCustomDIBX& p, int32_t ox, int32_t oy, bool mx, bool my) {
  ForRows(r.Top, r.Bottom, [&](int32_t s) { target_->PatternFill(Shifted(r, s), p, ox, oy, mx, my); });
}
void TDIBXWave::PatternFillScaled(const TRect& r, const TCustomDIBX& p, int32_t ox, int32_t oy, int32_t sx,
                                  int32_t sy, int32_t a, bool key, bool mx, bool my) {
  ForRows(r.Top, r.Bottom,
          [&](int32_t s) { target_->PatternFillScaled(Shifted(r, s), p, ox, oy, sx, sy, a, key, mx, my); });
}
void TDIBXWave::PatternFillScaledMask(const TRect& r, const TCustomDIBX& p, const TCustomDIBX& m, int32_t ox,
                                      int32_t oy, int32_t sx, int32_t sy, int32_t a, bool mx, bool my) {
  ForRows(r.Top, r.Bottom,
          [&](int32_t s) { target_->PatternFillScaledMask(Shifted(r, s), p, m, ox, oy, sx, sy, a, mx, my); });
}
void TDIBXWave::DrawIndexed(int32_t x, int32_t y, const TRect& sr, const TCustomDIBX& src, const TColorTable& t,
                            int32_t a, bool mx, bool my) {
  ForRuns(y, BlitBottom(y, sr), [&](int32_t s) { target_->DrawIndexed(x + s, y, sr, src, t, a, mx, my); });
}
void TDIBXWave::DrawIndexedAdd(int32_t x, int32_t y, const TRect& sr, const TCustomDIBX& src, const TColorTable& t,
                               int32_t w, bool mx, bool my) {
  ForRuns(y, BlitBottom(y, sr), [&](int32_t s) { target_->DrawIndexedAdd(x + s, y, sr, src, t, w, mx, my); });
}
void TDIBXWave::StretchDrawIndexed(const TRect& dr, const TRect& sr, const TCustomDIBX& src, const TColorTable& t,
                                   int32_t a, bool mx, bool my) {
  ForRows(dr.Top, dr.Bottom, [&](int32_t s) { target_->StretchDrawIndexed(Shifted(dr, s), sr, src, t, a, mx, my); });
}
void TDIBXWave::FillMask(int32_t x, int32_t y, const TRect& sr, const TCustomDIBX& mask, uint32_t c, int32_t a,
                         bool mx, bool my) {
  ForRuns(y, BlitBottom(y, sr), [&](int32_t s) { target_->FillMask(x + s, y, sr, mask, c, a, mx, my); });
}

}  // namespace kest

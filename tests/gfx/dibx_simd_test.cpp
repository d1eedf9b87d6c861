// The fast row loops against the scalar reference: every operation that uses them, over
// random sizes, offsets, clips, alphas, masks and layouts, must give the same bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "gfx/dibx.h"

namespace kest {
namespace {

struct TRng {
  std::mt19937 g;
  explicit TRng(uint32_t seed) : g(seed) {}
  int32_t In(int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(g); }
  uint32_t Bits() { return g(); }
  bool Coin(int pct) { return In(0, 99) < pct; }
};

// A palette of a few colours, so that equal source and destination pixels and key pixels
// are common.
struct TFixture {
  int32_t bits;
  std::vector<uint32_t> palette;
  uint32_t Pixel(TRng& r) const { return r.Coin(50) ? palette[size_t(r.In(0, 3))] : r.Bits(); }
};

void Fill(TDIBX& s, TRng& r, const TFixture& f) {
  for (int32_t y = 0; y < s.Height(); ++y)
    for (int32_t x = 0; x < s.Width(); ++x) s.SetPixel(x, y, f.Pixel(r));
}
void FillMask(TDIBX& m, TRng& r) {
  for (int32_t y = 0; y < m.Height(); ++y) {
    // Rows of one kind now and then, so the all-transparent and all-opaque shortcuts run.
    const int kind = r.In(0, 4);
    for (int32_t x = 0; x < m.Width(); ++x) {
      const int k = kind < 3 ? r.In(0, 2) : kind - 3;
      m.SetPixel(x, y, k == 0 ? 0u : (k == 1 ? 255u : uint32_t(r.In(0, 255))));
    }
  }
}

int32_t AnAlpha(TRng& r) {
  static const int32_t kAlphas[] = {0, 1, 2, 127, 128, 200, 254, 255, 256, 257, 300, 511, 512, -3, 1000};
  return r.Coin(30) ? r.In(0, 511) : kAlphas[r.In(0, int32_t(std::size(kAlphas)) - 1)];
}

TRect ARect(TRng& r, int32_t w, int32_t h) {
  const int32_t l = r.In(-4, w), t = r.In(-3, h);
  return TRect{l, t, l + r.In(-1, w + 6), t + r.In(-1, h + 3)};
}

constexpr int kOps = 24;

void RunOp(int op, TDIBX& d, const TDIBX& s, const TDIBX& m, TRng& r, const TColorTable& table,
           const TDIBX& idx) {
  const int32_t x = r.In(-20, d.Width()), y = r.In(-3, d.Height());
  const TRect sr = r.Coin(80) ? s.BoundsRect() : ARect(r, s.Width(), s.Height());
  const TRect dr = ARect(r, d.Width() * 2, d.Height());
  const bool mx = r.Coin(30), my = r.Coin(30), key = r.Coin(60);
  const int32_t a = AnAlpha(r);
  const uint32_t v = s.GetPixel(0, 0);
  switch (op) {
    case 0: d.Draw(x, y, sr, s, key, mx, my); break;
    case 1: d.DrawAlpha(x, y, sr, s, a, key, mx, my); break;
    case 2: d.DrawAdd(x, y, sr, s, a, mx, my); break;
    case 3: d.DrawMask(x, y, sr, s, m, mx, my); break;
    case 4: d.DrawMaskAlpha(x, y, sr, s, m, a, mx, my); break;
    case 5: d.DrawMaskAdd(x, y, sr, s, m, a, mx, my); break;
    case 6: d.FillRect(dr, v); break;
    case 7: d.FillRectAlpha(dr, v, a); break;
    case 8: d.FillRectAdd(dr, v); break;
    case 9: d.FillRectSub(dr, v); break;
    case 10: d.FillMask(x, y, sr, m, v, a, mx, my); break;
    case 11: d.StretchDraw(dr, sr, s, a, key, mx, my); break;
    case 12: d.StretchDrawMask(dr, sr, s, m, a, mx, my); break;
    case 13: d.StretchDrawAdd(dr, sr, s, a, key, mx, my); break;
    case 14: d.StretchDrawMaskAdd(dr, sr, s, m, a, mx, my); break;
    case 15:
      d.DrawRotate(x, y, sr, s, r.In(-300, 300), r.In(-2, s.Width()), r.In(-2, s.Height()), r.In(100, 700),
                   r.In(100, 700), a, key, mx, my);
      break;
    case 16:
      d.DrawRotateMask(x, y, sr, s, m, r.In(-300, 300), r.In(-2, s.Width()), r.In(-2, s.Height()),
                       r.In(100, 700), r.In(100, 700), a, mx, my);
      break;
    case 17:
      d.PatternFillScaled(dr, s, r.In(-9, 9), r.In(-9, 9), r.In(64, 900), r.In(64, 900), a, key, mx, my);
      break;
    case 18:
      d.PatternFillScaledMask(dr, s, m, r.In(-9, 9), r.In(-9, 9), r.In(64, 900), r.In(64, 900), a, mx, my);
      break;
    case 19: d.DrawIndexed(x, y, sr, idx, table, a, mx, my); break;
    case 20: d.DrawIndexedAdd(x, y, sr, idx, table, a, mx, my); break;
    case 21: d.StretchDrawIndexed(dr, sr, idx, table, a, mx, my); break;
    case 22: d.TileDrawMaskAlpha(dr, sr, s, m, r.In(-5, 5), r.In(-5, 5), r.In(-2, 3), r.In(0, 2), a, mx, my); break;
    default: d.FrameRectAlpha(dr, r.In(0, 4), v, a); break;
  }
}

TEST(DibxSimd, FastLoopsGiveTheReferenceBytes) {
  const TSimdLevel best = BestSimdLevel();
  if (best == TSimdLevel::Scalar) GTEST_SKIP() << "no fast loops on this processor";
  TRng r(20261211);
  int compared = 0;
  for (int trial = 0; trial < 12000; ++trial) {
    static const int32_t kBits[] = {32, 32, 16, 15, 24, 8};
    TFixture f{kBits[trial % 6], {}};
    for (int i = 0; i < 4; ++i) f.palette.push_back(r.Bits());
    const int32_t dw = r.In(1, 70), dh = r.In(1, 6), sw = r.In(1, 40), sh = r.In(1, 6);
    TDIBX base(dw, dh, f.bits), src(sw, sh, f.bits), mask(sw + r.In(-2, 2) > 0 ? sw : sw, sh, 8), idx(sw, sh, 8);
    Fill(base, r, f);
    Fill(src, r, f);
    FillMask(mask, r);
    for (int32_t yy = 0; yy < sh; ++yy)
      for (int32_t xx = 0; xx < sw; ++xx) idx.SetPixel(xx, yy, uint32_t(r.In(0, 255)));
    src.TransparentColor = r.Coin(80) ? int32_t(f.palette[0]) : -1;
    idx.TransparentColor = r.In(-1, 40);
    TColorTable table;
    for (uint32_t& t : table) t = f.Pixel(r);
    if (r.Coin(30)) base.ClipRect = ARect(r, dw, dh);
    const int op = trial % kOps;
    const uint32_t seed = r.Bits();

    SetSimdLevel(TSimdLevel::Scalar);
    TDIBX want(dw, dh, f.bits);
    want.Assign(base);
    want.ClipRect = base.ClipRect;
    TRng r1(seed);
    RunOp(op, want, src, mask, r1, table, idx);
    for (int lv = 1; lv <= int(best); ++lv) {
      SetSimdLevel(TSimdLevel(lv));
      TDIBX got(dw, dh, f.bits);
      got.Assign(base);
      got.ClipRect = base.ClipRect;
      TRng r2(seed);
      RunOp(op, got, src, mask, r2, table, idx);
      const TDIBSurface& a = want.Image();
      const TDIBSurface& b = got.Image();
      ASSERT_EQ(std::memcmp(a.Bits(), b.Bits(), a.ByteSize()), 0)
          << "trial " << trial << " op " << op << " bits " << f.bits << " level " << lv;
      ++compared;
    }
  }
  SetSimdLevel(best);
  EXPECT_GT(compared, 0);
}

TEST(DibxSimd, LevelsCanBeChosenAndAreCapped) {
  const TSimdLevel best = BestSimdLevel();
  EXPECT_EQ(SetSimdLevel(TSimdLevel::Scalar), TSimdLevel::Scalar);
  EXPECT_EQ(CurrentSimdLevel(), TSimdLevel::Scalar);
  EXPECT_EQ(SetSimdLevel(TSimdLevel::AVX2), best);
}

}  // namespace
}  // namespace kest

// The per-channel arithmetic of every blend mode in every layout, and the geometry of the
// positioned blits (clipping, mirroring, source cut to the source).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gfx/dibx.h"

namespace kest {
namespace {

enum class K { copy, copykey, alpha, add, mask, maskalpha, maskadd, fillalpha, filladd, fillsub, fillmask };

struct TBlendCase {
  int32_t bits;
  K kind;
  int32_t param, mask;
  uint32_t s, d, want;
};

// Expected pixels worked out channel by channel: e.g. 32 bits, alpha 128, s = (200, 100,
// 50), d = (10, 20, 30): ((128*200 + 127*10) / 256, ...) = (104, 59, 39) = 0x68_3B_27. The
// 32-bit destination's fourth byte (0xAB) survives every blend; copies and fills write it.
const TBlendCase kBlendCases[] = {
    {8, K::copy, 0, 0, 0xC8, 0xA, 0xC8},
    {8, K::copykey, 0, 0, 0xC8, 0xA, 0xA},
    {8, K::alpha, 128, 0, 0xC8, 0xA, 0x68},
    {8, K::alpha, 255, 0, 0xC8, 0xA, 0xC7},
    {8, K::alpha, 1, 0, 0xC8, 0xA, 0xA},
    {8, K::add, 128, 0, 0xC8, 0xA, 0xD2},
    {8, K::add, 255, 0, 0xC8, 0xA, 0xD2},
    {8, K::mask, 0, 0, 0xC8, 0xA, 0xA},
    {8, K::mask, 0, 255, 0xC8, 0xA, 0xC8},
    {8, K::mask, 0, 100, 0xC8, 0xA, 0x54},
    {8, K::maskalpha, 255, 255, 0xC8, 0xA, 0xC6},
    {8, K::maskalpha, 128, 200, 0xC8, 0xA, 0x54},
    {8, K::maskalpha, 1, 128, 0xC8, 0xA, 0xA},
    {8, K::maskadd, 200, 128, 0xC8, 0xA, 0x58},
    {8, K::fillalpha, 128, 0, 0xC8, 0xA, 0x68},
    {8, K::fillalpha, 255, 0, 0xC8, 0xA, 0xC7},
    {8, K::filladd, 0, 0, 0xC8, 0xA, 0xD2},
    {8, K::fillsub, 0, 0, 0xC8, 0xA, 0x0},
    {8, K::fillmask, 255, 255, 0xC8, 0xA, 0xC8},
    {8, K::fillmask, 255, 100, 0xC8, 0xA, 0x54},
    {8, K::fillmask, 128, 255, 0xC8, 0xA, 0x68},
    {8, K::fillmask, 1, 100, 0xC8, 0xA, 0xA},
    {8, K::alpha, 255, 0, 0xC8, 0xC8, 0xC8},
    {15, K::copy, 0, 0, 0x7E4A, 0x8C63, 0x7E4A},
    {15, K::copykey, 0, 0, 0x7E4A, 0x8C63, 0x8C63},
    {15, K::alpha, 128, 0, 0x7E4A, 0x8C63, 0xC146},
    {15, K::alpha, 255, 0, 0x7E4A, 0x8C63, 0xFA29},
    {15, K::alpha, 1, 0, 0x7E4A, 0x8C63, 0x8C63},
    {15, K::add, 128, 0, 0x7E4A, 0x8C63, 0xC988},
    {15, K::add, 255, 0, 0x7E4A, 0x8C63, 0xFE8C},
    {15, K::mask, 0, 0, 0x7E4A, 0x8C63, 0x8C63},
    {15, K::mask, 0, 255, 0x7E4A, 0x8C63, 0x7E4A},
    {15, K::mask, 0, 100, 0x7E4A, 0x8C63, 0xB505},
    {15, K::maskalpha, 255, 255, 0x7E4A, 0x8C63, 0xFA29},
    {15, K::maskalpha, 128, 200, 0x7E4A, 0x8C63, 0xB505},
    {15, K::maskalpha, 1, 128, 0x7E4A, 0x8C63, 0x8C63},
    {15, K::maskadd, 200, 128, 0x7E4A, 0x8C63, 0xBD46},
    {15, K::fillalpha, 128, 0, 0x7E4A, 0x8C63, 0xC146},
    {15, K::fillalpha, 255, 0, 0x7E4A, 0x8C63, 0xFA29},
    {15, K::filladd, 0, 0, 0x7E4A, 0x8C63, 0xFEAD},
    {15, K::fillsub, 0, 0, 0x7E4A, 0x8C63, 0x8000},
    {15, K::fillmask, 255, 255, 0x7E4A, 0x8C63, 0xFE4A},
    {15, K::fillmask, 255, 100, 0x7E4A, 0x8C63, 0xB505},
    {15, K::fillmask, 128, 255, 0x7E4A, 0x8C63, 0xC146},
    {15, K::fillmask, 1, 100, 0x7E4A, 0x8C63, 0x8C63},
    {15, K::alpha, 255, 0, 0x7E4A, 0x7E4A, 0x7E4A},
    {16, K::copy, 0, 0, 0xFC8A, 0x18E3, 0xFC8A},
    {16, K::copykey, 0, 0, 0xFC8A, 0x18E3, 0x18E3},
    {16, K::alpha, 128, 0, 0xFC8A, 0x18E3, 0x82A6},
    {16, K::alpha, 255, 0, 0xFC8A, 0x18E3, 0xF469},
    {16, K::alpha, 1, 0, 0xFC8A, 0x18E3, 0x18E3},
    {16, K::add, 128, 0, 0xFC8A, 0x18E3, 0x9328},
    {16, K::add, 255, 0, 0xFC8A, 0x18E3, 0xFD4C},
    {16, K::mask, 0, 0, 0xFC8A, 0x18E3, 0x18E3},
    {16, K::mask, 0, 255, 0xFC8A, 0x18E3, 0xFC8A},
    {16, K::mask, 0, 100, 0xFC8A, 0x18E3, 0x6A45},
    {16, K::maskalpha, 255, 255, 0xFC8A, 0x18E3, 0xF469},
    {16, K::maskalpha, 128, 200, 0xFC8A, 0x18E3, 0x6A45},
    {16, K::maskalpha, 1, 128, 0xFC8A, 0x18E3, 0x18E3},
    {16, K::maskadd, 200, 128, 0xFC8A, 0x18E3, 0x7AA6},
    {16, K::fillalpha, 128, 0, 0xFC8A, 0x18E3, 0x82A6},
    {16, K::fillalpha, 255, 0, 0xFC8A, 0x18E3, 0xF469},
    {16, K::filladd, 0, 0, 0xFC8A, 0x18E3, 0xFD6D},
    {16, K::fillsub, 0, 0, 0xFC8A, 0x18E3, 0x0},
    {16, K::fillmask, 255, 255, 0xFC8A, 0x18E3, 0xFC8A},
    {16, K::fillmask, 255, 100, 0xFC8A, 0x18E3, 0x6A45},
    {16, K::fillmask, 128, 255, 0xFC8A, 0x18E3, 0x82A6},
    {16, K::fillmask, 1, 100, 0xFC8A, 0x18E3, 0x18E3},
    {16, K::alpha, 255, 0, 0xFC8A, 0xFC8A, 0xFC8A},
    {24, K::copy, 0, 0, 0xC86432, 0xA141E, 0xC86432},
    {24, K::copykey, 0, 0, 0xC86432, 0xA141E, 0xA141E},
    {24, K::alpha, 128, 0, 0xC86432, 0xA141E, 0x683B27},
    {24, K::alpha, 255, 0, 0xC86432, 0xA141E, 0xC76331},
    {24, K::alpha, 1, 0, 0xC86432, 0xA141E, 0xA141D},
    {24, K::add, 128, 0, 0xC86432, 0xA141E, 0x6E4637},
    {24, K::add, 255, 0, 0xC86432, 0xA141E, 0xD1774F},
    {24, K::mask, 0, 0, 0xC86432, 0xA141E, 0xA141E},
    {24, K::mask, 0, 255, 0xC86432, 0xA141E, 0xC86432},
    {24, K::mask, 0, 100, 0xC86432, 0xA141E, 0x543325},
    {24, K::maskalpha, 255, 255, 0xC86432, 0xA141E, 0xC66331},
    {24, K::maskalpha, 128, 200, 0xC86432, 0xA141E, 0x543325},
    {24, K::maskalpha, 1, 128, 0xC86432, 0xA141E, 0xA141E},
    {24, K::maskadd, 200, 128, 0xC86432, 0xA141E, 0x583B31},
    {24, K::fillalpha, 128, 0, 0xC86432, 0xA141E, 0x683B27},
    {24, K::fillalpha, 255, 0, 0xC86432, 0xA141E, 0xC76331},
    {24, K::filladd, 0, 0, 0xC86432, 0xA141E, 0xD27850},
    {24, K::fillsub, 0, 0, 0xC86432, 0xA141E, 0x0},
    {24, K::fillmask, 255, 255, 0xC86432, 0xA141E, 0xC86432},
    {24, K::fillmask, 255, 100, 0xC86432, 0xA141E, 0x543325},
    {24, K::fillmask, 128, 255, 0xC86432, 0xA141E, 0x683B27},
    {24, K::fillmask, 1, 100, 0xC86432, 0xA141E, 0xA141E},
    {24, K::alpha, 255, 0, 0xC86432, 0xC86432, 0xC86432},
    {32, K::copy, 0, 0, 0x12C86432, 0xAB0A141E, 0x12C86432},
    {32, K::copykey, 0, 0, 0x12C86432, 0xAB0A141E, 0xAB0A141E},
    {32, K::alpha, 128, 0, 0x12C86432, 0xAB0A141E, 0xAB683B27},
    {32, K::alpha, 255, 0, 0x12C86432, 0xAB0A141E, 0xABC76331},
    {32, K::alpha, 1, 0, 0x12C86432, 0xAB0A141E, 0xAB0A141D},
    {32, K::add, 128, 0, 0x12C86432, 0xAB0A141E, 0xAB6E4637},
    {32, K::add, 255, 0, 0x12C86432, 0xAB0A141E, 0xABD1774F},
    {32, K::mask, 0, 0, 0x12C86432, 0xAB0A141E, 0xAB0A141E},
    {32, K::mask, 0, 255, 0x12C86432, 0xAB0A141E, 0x12C86432},
    {32, K::mask, 0, 100, 0x12C86432, 0xAB0A141E, 0xAB543325},
    {32, K::maskalpha, 255, 255, 0x12C86432, 0xAB0A141E, 0xABC66331},
    {32, K::maskalpha, 128, 200, 0x12C86432, 0xAB0A141E, 0xAB543325},
    {32, K::maskalpha, 1, 128, 0x12C86432, 0xAB0A141E, 0xAB0A141E},
    {32, K::maskadd, 200, 128, 0x12C86432, 0xAB0A141E, 0xAB583B31},
    {32, K::fillalpha, 128, 0, 0x12C86432, 0xAB0A141E, 0xAB683B27},
    {32, K::fillalpha, 255, 0, 0x12C86432, 0xAB0A141E, 0xABC76331},
    {32, K::filladd, 0, 0, 0x12C86432, 0xAB0A141E, 0xABD27850},
    {32, K::fillsub, 0, 0, 0x12C86432, 0xAB0A141E, 0xAB000000},
    {32, K::fillmask, 255, 255, 0x12C86432, 0xAB0A141E, 0xABC86432},
    {32, K::fillmask, 255, 100, 0x12C86432, 0xAB0A141E, 0xAB543325},
    {32, K::fillmask, 128, 255, 0x12C86432, 0xAB0A141E, 0xAB683B27},
    {32, K::fillmask, 1, 100, 0x12C86432, 0xAB0A141E, 0xAB0A141E},
    {32, K::alpha, 255, 0, 0x12C86432, 0x12C86432, 0x12C86432},
    // A colour blended over itself stays exactly as it is.
    {8, K::fillalpha, 200, 0, 0xC8, 0xC8, 0xC8},
    {15, K::fillalpha, 200, 0, 0x7E4A, 0x7E4A, 0x7E4A},
    {16, K::fillalpha, 200, 0, 0xFC8A, 0xFC8A, 0xFC8A},
    {24, K::fillalpha, 200, 0, 0xC86432, 0xC86432, 0xC86432},
    {32, K::fillalpha, 200, 0, 0x12C86432, 0x12C86432, 0x12C86432},
    // The fourth byte of a 32-bit pixel is not part of its colour.
    {32, K::alpha, 128, 0, 0x00C86432, 0xFFC86432, 0xFFC86432},
    {32, K::fillmask, 255, 255, 0x00C86432, 0xFF000000, 0xFFC86432},
    // Saturation at the channel maximum.
    {16, K::filladd, 0, 0, 0xFFFF, 0x0841, 0xFFFF},
    {32, K::add, 255, 0, 0x00FFFFFF, 0x00808080, 0x00FFFFFF},
};

TDIBX Solid(int32_t w, int32_t h, int32_t bits, uint32_t v) {
  TDIBX s(w, h, bits);
  s.Clear(v);
  return s;
}

TEST(DibxBlend, EveryModeInEveryLayout) {
  constexpr int32_t W = 19;  // whole vectors and a tail
  for (const TBlendCase& c : kBlendCases) {
    SCOPED_TRACE(testing::Message() << "bits " << c.bits << " kind " << int(c.kind) << " param " << c.param
                                    << " mask " << c.mask);
    TDIBX dst = Solid(W, 2, c.bits, c.d);
    TDIBX src = Solid(W, 2, c.bits, c.s);
    TDIBX mask = Solid(W, 2, 8, uint32_t(c.mask));
    const TRect all{0, 0, W, 2};
    switch (c.kind) {
      case K::copy: dst.Draw(0, 0, all, src, false); break;
      case K::copykey:
        src.TransparentColor = int32_t(c.s);
        dst.Draw(0, 0, all, src, true);
        break;
      case K::alpha: dst.DrawAlpha(0, 0, all, src, c.param, false); break;
      case K::add: dst.DrawAdd(0, 0, all, src, c.param); break;
      case K::mask: dst.DrawMask(0, 0, all, src, mask); break;
      case K::maskalpha: dst.DrawMaskAlpha(0, 0, all, src, mask, c.param); break;
      case K::maskadd: dst.DrawMaskAdd(0, 0, all, src, mask, c.param); break;
      case K::fillalpha: dst.FillRectAlpha(all, c.s, c.param); break;
      case K::filladd: dst.FillRectAdd(all, c.s); break;
      case K::fillsub: dst.FillRectSub(all, c.s); break;
      case K::fillmask: dst.FillMask(0, 0, all, mask, c.s, c.param); break;
    }
    for (int32_t y = 0; y < 2; ++y)
      for (int32_t x = 0; x < W; ++x) ASSERT_EQ(dst.GetPixel(x, y), c.want) << x << "," << y;
  }
}

TEST(DibxBlend, AlphaZeroAndOutOfRangeParameters) {
  for (int32_t bits : {8, 15, 16, 24, 32}) {
    TDIBX dst = Solid(8, 1, bits, 0x0A);
    TDIBX src = Solid(8, 1, bits, 0x1F);
    TDIBX mask = Solid(8, 1, 8, 255);
    const TRect all{0, 0, 8, 1};
    dst.DrawAlpha(0, 0, all, src, 0, false);
    dst.DrawAlpha(0, 0, all, src, -40, false);
    dst.DrawMaskAlpha(0, 0, all, src, mask, 0);
    dst.DrawAdd(0, 0, all, src, 0);
    dst.FillRectAlpha(all, 0x1F, 0);
    dst.FillMask(0, 0, all, mask, 0x1F, 0);
    dst.FrameRectAlpha(all, 1, 0x1F, 0);
    EXPECT_EQ(dst.GetPixel(3, 0), 0x0Au) << bits;
    // Above 255 is clamped to 255 (which blends: one step below the source).
    TDIBX a = Solid(8, 1, bits, 0);
    a.DrawAlpha(0, 0, all, src, 1000, false);
    TDIBX b = Solid(8, 1, bits, 0);
    b.DrawAlpha(0, 0, all, src, 255, false);
    EXPECT_EQ(a.GetPixel(5, 0), b.GetPixel(5, 0)) << bits;
  }
}

TEST(DibxBlend, KeyOfMinusOneDrawsEveryPixel) {
  TDIBX dst = Solid(4, 1, 32, 0x00010203);
  TDIBX src = Solid(4, 1, 32, 0x00FFFFFF);
  src.SetPixel(1, 0, 0xFFFFFFFF);
  src.TransparentColor = -1;
  dst.Draw(0, 0, src.BoundsRect(), src, true);
  EXPECT_EQ(dst.GetPixel(0, 0), 0x00FFFFFFu);
  EXPECT_EQ(dst.GetPixel(1, 0), 0xFFFFFFFFu);
}

TEST(DibxBlend, EightBitAddWorksOnIndicesWithoutWeight) {
  TDIBX dst = Solid(3, 1, 8, 200);
  TDIBX src = Solid(3, 1, 8, 40);
  dst.DrawAdd(0, 0, src.BoundsRect(), src, 1);
  EXPECT_EQ(dst.GetPixel(0, 0), 240u);
  dst.DrawAdd(0, 0, src.BoundsRect(), src, 1);
  EXPECT_EQ(dst.GetPixel(0, 0), 255u);
}

// --- layouts, colours, clip -------------------------------------------------------------

TEST(DibxSurface, LayoutsMasksAndShifts) {
  struct {
    int32_t bits, storage;
    uint32_t r, g, b;
    int32_t gs, rs;
  } const cases[] = {{15, 16, 0x7C00, 0x03E0, 0x001F, 5, 10},
                     {16, 16, 0xF800, 0x07E0, 0x001F, 5, 11},
                     {24, 24, 0xFF0000, 0xFF00, 0xFF, 8, 16},
                     {32, 32, 0xFF0000, 0xFF00, 0xFF, 8, 16}};
  for (const auto& c : cases) {
    TDIBX s(5, 3, c.bits);
    EXPECT_EQ(s.BitCount(), c.bits);
    EXPECT_EQ(s.StorageBitCount(), c.storage);
    EXPECT_EQ(s.RedMask(), c.r);
    EXPECT_EQ(s.GreenMask(), c.g);
    EXPECT_EQ(s.BlueMask(), c.b);
    EXPECT_EQ(s.BlueShift(), 0);
    EXPECT_EQ(s.GreenShift(), c.gs);
    EXPECT_EQ(s.RedShift(), c.rs);
  }
  TDIBX fresh;
  EXPECT_EQ(fresh.Width(), 1);
  EXPECT_EQ(fresh.BitCount(), 15);
  EXPECT_EQ(fresh.TransparentColor, -1);
}

TEST(DibxSurface, MapColorTakesTheTopBits) {
  const TColorRef c = MakeColorRef(0xFF, 0x87, 0x0F);  // red 255, green 135, blue 15
  EXPECT_EQ(TDIBX(1, 1, 15).MapColor(c), (31u << 10) | (16u << 5) | 1u);
  EXPECT_EQ(TDIBX(1, 1, 16).MapColor(c), (31u << 11) | (33u << 5) | 1u);
  EXPECT_EQ(TDIBX(1, 1, 32).MapColor(c), 0xFF870Fu);
  EXPECT_EQ(TDIBX(1, 1, 24).MapColor(c), 0xFF870Fu);  // as 32 bits, not the reference unchanged
  EXPECT_EQ(TDIBX(1, 1, 8).MapColor(7), 7u);
  EXPECT_EQ(TDIBX(1, 1, 16).MapColor(-1), 0xFFFFFFFFu);
}

TEST(DibxSurface, FillRectWritesTheLowBytesOfTheValue) {
  TDIBX s24(4, 2, 24);
  s24.FillRect(TRect{1, 0, 3, 2}, 0xAA112233);
  const uint8_t* row = s24.Image().Row(1);
  const uint8_t want[12] = {0, 0, 0, 0x33, 0x22, 0x11, 0x33, 0x22, 0x11, 0, 0, 0};
  EXPECT_EQ(std::memcmp(row, want, 12), 0);
  TDIBX s8(4, 1, 8);
  s8.Clear(0x1234);
  EXPECT_EQ(s8.GetPixel(2, 0), 0x34u);
}

TEST(DibxSurface, AddClip) {
  TDIBX s(100, 50, 32);
  EXPECT_EQ(s.ClipArea(), (TRect{0, 0, 100, 50}));
  s.AddClip(TRect{200, 0, 300, 10});  // entirely outside: unchanged
  EXPECT_EQ(s.ClipRect, TRect{});
  s.AddClip(TRect{-5, -5, 10, 10});
  EXPECT_EQ(s.ClipRect, (TRect{0, 0, 10, 10}));
  s.AddClip(TRect{40, 20, 60, 70});
  EXPECT_EQ(s.ClipRect, (TRect{0, 0, 60, 50}));
  s.ResetClip();
  s.AddClip(TRect{10, 10, 20, 20});
  s.Clear(0x00FFFFFF);
  EXPECT_EQ(s.GetPixel(9, 10), 0u);
  EXPECT_EQ(s.GetPixel(10, 10), 0x00FFFFFFu);
  EXPECT_EQ(s.GetPixel(19, 19), 0x00FFFFFFu);
  EXPECT_EQ(s.GetPixel(20, 19), 0u);
}

// --- positioned geometry ------------------------------------------------------------------

// An 8-bit picture whose pixel is 16 * row + column.
TDIBX Numbered(int32_t w, int32_t h) {
  TDIBX s(w, h, 8);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) s.SetPixel(x, y, uint32_t(16 * y + x));
  return s;
}

std::vector<uint32_t> RowOf(const TCustomDIBX& s, int32_t y) {
  std::vector<uint32_t> v;
  for (int32_t x = 0; x < s.Width(); ++x) v.push_back(s.GetPixel(x, y));
  return v;
}

TEST(DibxGeometry, MirroredAndClippedLeftShowsTheNearColumns) {
  TDIBX src = Numbered(10, 1);
  TDIBX dst = Solid(12, 1, 8, 0xEE);
  dst.Draw(-3, 0, src.BoundsRect(), src, false, true, false);
  // Mirrored, columns 9..0; the first three (9, 8, 7) fall off the left edge.
  const std::vector<uint32_t> want = {6, 5, 4, 3, 2, 1, 0, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(RowOf(dst, 0), want);
}

TEST(DibxGeometry, ClipCasesTable) {
  struct {
    int32_t x, y;
    TRect src;
    bool mx, my;
    TRect clip;
    // The expected destination: pixel (x, y) shows source value v or stays 0xEE.
    std::vector<std::vector<uint32_t>> rows;
  } const cases[] = {
      // Inside, no clip.
      {1, 0, TRect{0, 0, 2, 2}, false, false, TRect{}, {{0xEE, 0, 1, 0xEE}, {0xEE, 16, 17, 0xEE}, {0xEE, 0xEE, 0xEE, 0xEE}}},
      // Mirrored vertically and cut at the top: the bottom source row goes first, and the
      // cut removes it.
      {0, -1, TRect{0, 0, 2, 3}, false, true, TRect{}, {{16, 17, 0xEE, 0xEE}, {0, 1, 0xEE, 0xEE}, {0xEE, 0xEE, 0xEE, 0xEE}}},
      // Right edge cut by the clip rectangle, mirrored: the cut removes source columns on
      // the left.
      {1, 1, TRect{0, 0, 3, 1}, true, false, TRect{0, 0, 3, 3}, {{0xEE, 0xEE, 0xEE, 0xEE}, {0xEE, 2, 1, 0xEE}, {0xEE, 0xEE, 0xEE, 0xEE}}},
      // Source rectangle reaching beyond the source: only the real pixels, at their place.
      {0, 0, TRect{-1, 2, 2, 5}, false, false, TRect{}, {{0xEE, 32, 33, 0xEE}, {0xEE, 0xEE, 0xEE, 0xEE}, {0xEE, 0xEE, 0xEE, 0xEE}}},
      // The same mirrored: the missing column -1 would have been drawn last.
      {0, 0, TRect{-1, 2, 2, 3}, true, false, TRect{}, {{33, 32, 0xEE, 0xEE}, {0xEE, 0xEE, 0xEE, 0xEE}, {0xEE, 0xEE, 0xEE, 0xEE}}},
      // Empty results.
      {5, 0, TRect{0, 0, 2, 2}, false, false, TRect{}, {{0xEE, 0xEE, 0xEE, 0xEE}, {0xEE, 0xEE, 0xEE, 0xEE}, {0xEE, 0xEE, 0xEE, 0xEE}}},
      {0, 0, TRect{2, 2, 2, 3}, false, false, TRect{}, {{0xEE, 0xEE, 0xEE, 0xEE}, {0xEE, 0xEE, 0xEE, 0xEE}, {0xEE, 0xEE, 0xEE, 0xEE}}},
  };
  const TDIBX src = Numbered(3, 3);
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(n++);
    TDIBX dst = Solid(4, 3, 8, 0xEE);
    dst.ClipRect = c.clip;
    dst.Draw(c.x, c.y, c.src, src, false, c.mx, c.my);
    for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(RowOf(dst, y), c.rows[size_t(y)]) << "row " << y;
  }
}

TEST(DibxGeometry, MaskSmallerThanTheSourceIsNeverReadOutside) {
  TDIBX src = Solid(6, 2, 32, 0x00112233);
  TDIBX mask = Solid(3, 1, 8, 255);
  TDIBX dst = Solid(6, 2, 32, 0);
  dst.DrawMask(0, 0, src.BoundsRect(), src, mask);
  EXPECT_EQ(dst.GetPixel(2, 0), 0x00112233u);
  EXPECT_EQ(dst.GetPixel(3, 0), 0u);
  EXPECT_EQ(dst.GetPixel(0, 1), 0u);
  // FillMask keeps its own rule: a rectangle beyond the mask draws nothing at all.
  dst.FillMask(0, 0, TRect{0, 0, 4, 1}, mask, 0x00FFFFFF, 255);
  EXPECT_EQ(dst.GetPixel(0, 0), 0x00112233u);
}

TEST(DibxGeometry, NegativePitchViewsDrawTheSameRows) {
  std::vector<uint8_t> mem(4 * 5 * 3, 0);
  // Bottom-up: row 0 is the last one in memory.
  TViewDIBX up(TPixelView{mem.data() + 4 * 5 * 2, -4 * 5, 5, 3, 32});
  TDIBX plain(5, 3, 32);
  TDIBX src = Solid(3, 2, 32, 0x00ABCDEF);
  src.SetPixel(0, 1, 0x00010203);
  for (TCustomDIBX* d : {static_cast<TCustomDIBX*>(&up), static_cast<TCustomDIBX*>(&plain)}) {
    d->FillRect(TRect{0, 0, 5, 3}, 0x00404040);
    d->DrawAlpha(1, 1, src.BoundsRect(), src, 128, false);
    d->FillRectAdd(TRect{0, 0, 2, 1}, 0x00101010);
  }
  for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(RowOf(up, y), RowOf(plain, y)) << y;
  uint32_t first;
  std::memcpy(&first, mem.data() + 4 * 5 * 2, 4);
  EXPECT_EQ(first, 0x00505050u);  // row 0 lives at the end of memory
}

TEST(DibxGeometry, DrawingASurfaceOntoItselfReadsTheOldPixels) {
  TDIBX s = Numbered(3, 4);
  s.Draw(1, 1, s.BoundsRect(), s, false);  // rows overlap downwards and columns rightwards
  EXPECT_EQ(RowOf(s, 0), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(RowOf(s, 1), (std::vector<uint32_t>{16, 0, 1}));
  EXPECT_EQ(RowOf(s, 3), (std::vector<uint32_t>{48, 32, 33}));
  TDIBX t = Numbered(4, 1);
  t.StretchDraw(TRect{0, 0, 4, 1}, TRect{0, 0, 2, 1}, t, 255, false);
  EXPECT_EQ(RowOf(t, 0), (std::vector<uint32_t>{0, 0, 1, 1}));
}

TEST(DibxGeometry, FrameRectBandsNeverOverlap) {
  TDIBX s = Solid(6, 5, 32, 0x00000000);
  s.FrameRectAdd(TRect{0, 0, 6, 5}, 1, 0x00101010);
  EXPECT_EQ(s.GetPixel(0, 0), 0x00101010u);
  EXPECT_EQ(s.GetPixel(5, 4), 0x00101010u);
  EXPECT_EQ(s.GetPixel(2, 2), 0u);
  TDIBX t = Solid(4, 4, 32, 0);
  t.FrameRectAdd(TRect{0, 0, 4, 4}, 3, 0x00101010);  // thicker than half: every pixel once
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(t.GetPixel(x, y), 0x00101010u) << x << "," << y;
  t.FrameRect(TRect{0, 0, 4, 4}, 0, 0x00FFFFFF);  // zero thickness: nothing
  EXPECT_EQ(t.GetPixel(0, 0), 0x00101010u);
}

TEST(DibxGeometry, AssignCopiesWholeOrThroughDraw) {
  TDIBX a = Numbered(4, 3), b(4, 3, 8);
  b.Assign(a);
  EXPECT_EQ(RowOf(b, 2), RowOf(a, 2));
  TDIBX c = Solid(6, 4, 8, 0xEE);
  c.Assign(a);  // other size: Draw at (0, 0)
  EXPECT_EQ(c.GetPixel(3, 2), 35u);
  EXPECT_EQ(c.GetPixel(4, 2), 0xEEu);
  TDIBX wide = Solid(2, 1, 32, 0x00F80000);  // pure red
  TDIBX narrow(2, 1, 16);
  narrow.Assign(wide);  // across layouts the colours are carried
  EXPECT_EQ(narrow.GetPixel(0, 0), 0xF800u);
}

}  // namespace
}  // namespace kest

namespace kest {
namespace {

// Every positioned kind in every layout, under a table of clip rectangles: inside the clip
// the pixels are those of the unclipped drawing, outside they are untouched. (Stretching is
// left out on purpose: where its clip starts changes the 16.16 stepping.)
TEST(DibxGeometry, ClippingOnlySelectsPixels) {
  const TRect clips[] = {{0, 0, 13, 9},  {2, 1, 11, 8}, {0, 3, 5, 4},   {7, 0, 13, 9},
                         {5, 5, 6, 6},   {12, 8, 13, 9}, {-4, -4, 3, 20}};
  const int32_t kBits[] = {8, 15, 16, 24, 32};
  for (int32_t bits : kBits)
    for (int kind = 0; kind < 12; ++kind)
      for (bool mx : {false, true})
        for (bool my : {false, true}) {
          TDIBX src(7, 5, bits), mask(7, 5, 8), idx(7, 5, 8);
          uint32_t seed = uint32_t(bits * 977 + kind * 31 + mx * 7 + my);
          auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
          for (int32_t y = 0; y < 5; ++y)
            for (int32_t x = 0; x < 7; ++x) {
              src.SetPixel(x, y, next());
              mask.SetPixel(x, y, (x + y) % 3 == 0 ? 0 : ((x * y) % 2 ? 255 : next() & 255));
              idx.SetPixel(x, y, next() & 255);
            }
          src.TransparentColor = int32_t(src.GetPixel(3, 2));
          idx.TransparentColor = 90;
          TColorTable table;
          for (uint32_t& t : table) t = next();
          TDIBX base(13, 9, bits);
          for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 13; ++x) base.SetPixel(x, y, next());
          auto draw = [&](TDIBX& d) {
            const TRect sr{1, 0, 7, 4};
            switch (kind) {
              case 0: d.Draw(-2, 2, sr, src, true, mx, my); break;
              case 1: d.DrawAlpha(8, -1, sr, src, 200, true, mx, my); break;
              case 2: d.DrawMask(3, 6, sr, src, mask, mx, my); break;
              case 3: d.DrawMaskAlpha(4, 1, sr, src, mask, 130, mx, my); break;
              case 4: d.DrawAdd(1, 1, sr, src, 255, mx, my); break;
              case 5: d.DrawMaskAdd(9, 5, sr, src, mask, 77, mx, my); break;
              case 6: d.FillMask(2, 3, sr, mask, src.GetPixel(0, 0), 255, mx, my); break;
              case 7: d.DrawIndexed(5, 2, sr, idx, table, 140, mx, my); break;
              case 8: d.DrawRotate(6, 4, src.BoundsRect(), src, 37, 3, 2, 300, 200, 140, true, mx, my); break;
              case 9: d.DrawRotateMask(6, 4, src.BoundsRect(), src, mask, -90, 1, 4, 256, 512, 300, mx, my); break;
              case 10: d.PatternFillScaled(TRect{-1, 1, 12, 9}, src, 3, -2, 384, 300, 100, true, mx, my); break;
              default: d.TileDrawAlpha(TRect{1, -2, 12, 8}, sr, src, -1, 2, 1, 1, 90, false, mx, my); break;
            }
          };
          TDIBX full(13, 9, bits);
          full.Assign(base);
          draw(full);
          int changed = 0;
          for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 13; ++x) changed += full.GetPixel(x, y) != base.GetPixel(x, y);
          ASSERT_GT(changed, 3) << "bits " << bits << " kind " << kind;
          for (const TRect& c : clips) {
            TDIBX part(13, 9, bits);
            part.Assign(base);
            part.ClipRect = c;
            draw(part);
            const TRect in = IntersectRect(c, part.BoundsRect());
            for (int32_t y = 0; y < 9; ++y)
              for (int32_t x = 0; x < 13; ++x) {
                const bool inside = x >= in.Left && x < in.Right && y >= in.Top && y < in.Bottom;
                ASSERT_EQ(part.GetPixel(x, y), inside ? full.GetPixel(x, y) : base.GetPixel(x, y))
                    << "bits " << bits << " kind " << kind << " mirror " << mx << my << " clip " << c.Left << ","
                    << c.Top << "," << c.Right << "," << c.Bottom << " at " << x << "," << y;
              }
          }
        }
}

}  // namespace
}  // namespace kest

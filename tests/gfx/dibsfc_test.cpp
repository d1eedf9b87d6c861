#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "gfx/dibsfc.h"

namespace kest {
namespace {

// A w x h image whose pixels come from f(x, y) as raw values.
template <class F>
TDIBSurface Make(int32_t w, int32_t h, int32_t bits, F f) {
  TDIBSurface s;
  s.SetSize(w, h, bits);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) s.SetPixel(x, y, f(x, y));
  return s;
}

TEST(DIBSurface, LayoutsStorageAndMasks) {
  struct Case {
    int32_t bits, storage, pitch17;
    uint32_t red, green;
  } cases[] = {{1, 1, 4, 0xFF0000, 0xFF00},  {4, 4, 12, 0xFF0000, 0xFF00}, {8, 8, 20, 0xFF0000, 0xFF00},
               {15, 16, 36, 0x7C00, 0x3E0},  {16, 16, 36, 0xF800, 0x7E0},  {24, 24, 52, 0xFF0000, 0xFF00},
               {32, 32, 68, 0xFF0000, 0xFF00}};
  for (const Case& c : cases) {
    TDIBSurface s;
    s.SetSize(17, 3, c.bits);
    EXPECT_EQ(s.BitCount(), c.bits);
    EXPECT_EQ(s.StorageBitCount(), c.storage);
    EXPECT_EQ(s.Pitch(), c.pitch17) << c.bits;
    EXPECT_EQ(s.RedMask(), c.red);
    EXPECT_EQ(s.GreenMask(), c.green);
  }
  TDIBSurface s;
  EXPECT_THROW(s.SetSize(2, 2, 12), EKestBadData);
  EXPECT_THROW(s.SetSize(kMaxImageSide + 1, 1, 8), EKestBadData);
  EXPECT_THROW(s.SetSize(16384, 16384, 32), EKestBadData);  // 1 GiB
  // An existing mask follows the size.
  s.SetSize(3, 3, 24);
  s.FillMaskOpaque();
  s.SetSize(5, 4, 24);
  ASSERT_TRUE(s.HasMask());
  EXPECT_EQ(s.Mask()->Width(), 5);
  EXPECT_EQ(s.Mask()->Height(), 4);
}

TEST(DIBSurface, ColourConversionKeepsEveryPixelValue) {
  // Pixel -> colour -> pixel is the identity for the colour layouts (keys survive).
  for (int32_t bits : {15, 16}) {
    TDIBSurface s;
    s.SetSize(1, 1, bits);
    const uint32_t limit = 1u << 16;
    for (uint32_t p = 0; p < limit; ++p) {
      const uint32_t v = bits == 15 ? (p & 0x7FFF) : p;
      ASSERT_EQ(s.MapColor(s.PixelToColor(v)), v) << bits << " " << v;
    }
  }
  TDIBSurface s;
  s.SetSize(1, 1, 16);
  // 8-bit channels are cut to their top bits, 5/6-bit channels widen with zero fill.
  EXPECT_EQ(s.MapColor(MakeColorRef(0xFF, 0x87, 0x0F)), (31u << 11) | (0x21u << 5) | 1u);
  EXPECT_EQ(s.PixelToColor(0xFFFF), MakeColorRef(0xF8, 0xFC, 0xF8));
  s.SetSize(1, 1, 24);
  EXPECT_EQ(s.MapColor(MakeColorRef(1, 2, 3)), 0x010203u);  // bytes B, G, R = 3, 2, 1
  s.SetPixel(0, 0, 0x010203);
  EXPECT_EQ(s.Row(0)[0], 3);
  EXPECT_EQ(s.Row(0)[2], 1);
  // Palette layouts map to the nearest entry, the first of equals.
  s.SetSize(1, 1, 8);
  s.Palette()[0] = 0x000000, s.Palette()[1] = 0xFF0000, s.Palette()[2] = 0xFF0000;
  EXPECT_EQ(s.MapColor(MakeColorRef(200, 10, 10)), 1u);
}

TEST(DIBSurface, CopyRectClipsAndIsBitExactBelowAByte) {
  // A reference copy done pixel by pixel, against CopyRect, for every layout and a table
  // of offsets (negative, sub-byte, beyond the edges) with a clip rectangle.
  std::mt19937 rng(5);
  for (int32_t bits : {1, 4, 8, 15, 16, 24, 32}) {
    const uint32_t range = bits >= 32 ? 0xFFFFFFFFu : (1u << StorageBits(bits)) - 1;
    auto src = Make(13, 7, bits, [&](int, int) { return rng() & range; });
    struct Off {
      int32_t x, y;
      TRect s;
    } offs[] = {{-3, 0, {0, 0, 13, 7}}, {3, 1, {1, 2, 12, 7}}, {5, -2, {-2, -1, 6, 5}}, {9, 4, {0, 0, 13, 7}}};
    for (const Off& o : offs) {
      auto dst = Make(15, 9, bits, [&](int, int) { return rng() & range; });
      dst.Clip = TRect{1, 1, 14, 8};
      TDIBSurface expect;
      expect.Assign(dst);
      for (int32_t j = o.s.Top; j < o.s.Bottom; ++j)
        for (int32_t i = o.s.Left; i < o.s.Right; ++i) {
          const int32_t dx = o.x + i - o.s.Left, dy = o.y + j - o.s.Top;
          if (i < 0 || j < 0 || i >= 13 || j >= 7) continue;
          if (dx < 1 || dy < 1 || dx >= 14 || dy >= 8) continue;
          expect.SetPixel(dx, dy, src.GetPixel(i, j));
        }
      dst.CopyRect(o.x, o.y, o.s, src);
      for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 15; ++x)
          ASSERT_EQ(dst.GetPixel(x, y), expect.GetPixel(x, y)) << bits << " at " << x << "," << y << " off " << o.x;
    }
  }
}

TEST(DIBSurface, ContentBoundsTrimAndMirror) {
  auto s = Make(10, 10, 8, [](int x, int y) { return x == 5 && y == 7 ? 3 : 9; });
  EXPECT_EQ(s.ContentBounds(9), Rect(5, 7, 6, 8));
  EXPECT_EQ(s.ContentBounds(-1), Rect(0, 0, 10, 10));
  auto all = Make(4, 4, 24, [](int, int) { return 0x123456; });
  EXPECT_EQ(all.ContentBounds(0x123456), Rect(0, 0, 0, 0));
  all.Trim(0x123456);
  EXPECT_EQ(all.Width(), 1);
  EXPECT_EQ(all.Height(), 1);
  s.FillMaskOpaque();
  s.Mask()->SetPixel(5, 7, 77);
  s.Trim(9);
  EXPECT_EQ(s.Width(), 1);
  EXPECT_EQ(s.GetPixel(0, 0), 3u);
  EXPECT_EQ(s.Mask()->GetPixel(0, 0), 77u);  // the mask is cropped along

  auto m = Make(3, 2, 4, [](int x, int y) { return uint32_t(x + 3 * y); });
  m.MirrorH();
  EXPECT_EQ(m.GetPixel(0, 0), 2u);
  EXPECT_EQ(m.GetPixel(2, 1), 3u);
  m.MirrorV();
  EXPECT_EQ(m.GetPixel(0, 0), 5u);
}

TEST(DIBSurface, SmoothReductionAveragesAndLeavesTheKeyOut) {
  const uint32_t key = 0x00FF00;  // green as a 24-bit pixel
  // 4 x 4: top-left block 10/20/30/40 (grey), top-right one key pixel, bottom-left all key.
  const uint32_t grey[4] = {0x0A0A0A, 0x141414, 0x1E1E1E, 0x282828};
  auto s = Make(4, 4, 24, [&](int x, int y) -> uint32_t {
    if (x < 2 && y < 2) return grey[y * 2 + x];
    if (x >= 2 && y < 2) return x == 2 && y == 0 ? key : 0x303030;
    if (x < 2) return key;
    return 0x646464;
  });
  s.Resize(2, 2, false, MakeColorRef(0, 255, 0), true);
  EXPECT_EQ(s.BitCount(), 24);
  EXPECT_EQ(s.GetPixel(0, 0), 0x191919u);  // (10+20+30+40)/4 = 25
  EXPECT_EQ(s.GetPixel(1, 0), 0x303030u);  // the key pixel does not darken
  EXPECT_EQ(s.GetPixel(0, 1), key);        // only key pixels: the key colour
  EXPECT_EQ(s.GetPixel(1, 1), 0x646464u);
}

TEST(DIBSurface, EnlargementKeepsCornersAndMasksResizeAsCoverage) {
  auto s = Make(2, 2, 24, [](int x, int y) { return uint32_t(x ? 0xC8C8C8 : 0) + uint32_t(y ? 0x0A0A0A : 0); });
  s.EnsureMask();
  s.Mask()->SetPixel(0, 0, 255);
  s.Mask()->SetPixel(1, 0, 255);
  s.Resize(8, 8, false, CLR_NONE, true);
  EXPECT_EQ(s.GetPixel(0, 0), 0u);
  EXPECT_EQ(s.GetPixel(7, 0), 0xC8C8C8u);
  EXPECT_EQ(s.GetPixel(7, 7), 0xD2D2D2u);
  // A horizontal edge between 1/4 and 3/4 of the way: values rise monotonically.
  EXPECT_LT(s.GetPixel(2, 0) & 0xFF, s.GetPixel(5, 0) & 0xFF);
  ASSERT_TRUE(s.HasMask());
  EXPECT_EQ(s.Mask()->GetPixel(3, 0), 255u);
  EXPECT_EQ(s.Mask()->GetPixel(3, 7), 0u);
  // Nearest resize of a palette image keeps indices and palette.
  auto p = Make(2, 1, 4, [](int x, int) { return uint32_t(x * 7); });
  p.Palette()[7] = 0x112233;
  p.Resize(4, 2, true, CLR_NONE, false);
  EXPECT_EQ(p.BitCount(), 4);
  EXPECT_EQ(p.GetPixel(3, 1), 7u);
  EXPECT_EQ(p.Palette()[7], 0x112233u);
  EXPECT_THROW(p.Resize(0, 3, true, CLR_NONE, true), EKestBadData);
}

TEST(DIBSurface, ConvertBitCountExactAndQuantised) {
  const uint32_t three[3] = {0x102030, 0xFFFFFF, 0x00FF00};
  auto s = Make(5, 5, 24, [&](int x, int y) { return three[(x + y) % 3]; });
  s.ConvertBitCount(8, 256, true);
  EXPECT_EQ(s.BitCount(), 8);
  EXPECT_EQ(s.Palette()[0], three[0]);
  EXPECT_EQ(s.Palette()[1], three[1]);
  EXPECT_EQ(s.Palette()[2], three[2]);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 5; ++x) ASSERT_EQ(s.GetPixel(x, y), uint32_t((x + y) % 3));  // no dithering
  // Back to 24 bits through the palette.
  s.ConvertBitCount(24);
  EXPECT_EQ(s.GetPixel(1, 0), three[1]);

  // A smooth gradient with 4096 colours into 16: at most 16 entries used, small error.
  auto g = Make(64, 64, 24, [](int x, int y) { return uint32_t((x * 4) << 16 | (y * 4) << 8 | 0x40); });
  TDIBSurface orig;
  orig.Assign(g);
  for (bool dither : {false, true}) {
    TDIBSurface q;
    q.Assign(orig);
    q.ConvertBitCount(4, 16, dither);
    EXPECT_EQ(q.BitCount(), 4);
    double err = 0;
    for (int32_t y = 0; y < 64; ++y)
      for (int32_t x = 0; x < 64; ++x) {
        const TColorRef a = orig.PixelToColor(orig.GetPixel(x, y)), b = q.PixelToColor(q.GetPixel(x, y));
        err += std::abs(ColorRefR(a) - ColorRefR(b)) + std::abs(ColorRefG(a) - ColorRefG(b));
      }
    EXPECT_LT(err / (64 * 64 * 2), 24.0) << dither;
  }
  // Palette images widen without touching indices.
  auto p = Make(3, 1, 1, [](int x, int) { return uint32_t(x & 1); });
  p.Palette()[1] = 0xABCDEF;
  p.ConvertBitCount(8, 256, false);
  EXPECT_EQ(p.BitCount(), 8);
  EXPECT_EQ(p.GetPixel(1, 0), 1u);
  EXPECT_EQ(p.Palette()[1], 0xABCDEFu);
  // A 15-bit image (whose ColourCount is 0) still converts by its real colours.
  auto f = Make(2, 1, 15, [](int x, int) { return x ? 0x7C00u : 0x001Fu; });
  f.ConvertBitCount(8, 2, false);
  EXPECT_EQ(f.PixelToColor(f.GetPixel(0, 0)), MakeColorRef(0, 0, 0xF8));
  EXPECT_EQ(f.PixelToColor(f.GetPixel(1, 0)), MakeColorRef(0xF8, 0, 0));
}

TEST(DIBSurface, CompositionBlends) {
  // 24 bits: /255 per channel; key skipped.
  auto d24 = Make(2, 1, 24, [](int, int) { return 0x000000; });
  auto s24 = Make(2, 1, 24, [](int x, int) { return x ? 0xFFFFFFu : 0x010203u; });
  DrawKeyedBlend(d24, s24, 0x010203, 128);
  EXPECT_EQ(d24.GetPixel(0, 0), 0u);
  EXPECT_EQ(d24.GetPixel(1, 0), 0x808080u);  // 128*255/255
  // 32 bits: /256 per byte and the fourth byte cleared.
  auto d32 = Make(1, 1, 32, [](int, int) { return 0xEE000000u; });
  auto s32 = Make(1, 1, 32, [](int, int) { return 0x11FFFFFFu; });
  DrawKeyedBlend(d32, s32, -1, 128);
  EXPECT_EQ(d32.GetPixel(0, 0), 0x007F7F7Fu);  // 128*255/256 = 127
  // 16 bits per channel: red 31 over 0 at 128: 128*31/255 = 15.
  auto d16 = Make(1, 1, 16, [](int, int) { return 0u; });
  auto s16 = Make(1, 1, 16, [](int, int) { return 0xF800u; });
  DrawKeyedBlend(d16, s16, -1, 128);
  EXPECT_EQ(d16.GetPixel(0, 0), 15u << 11);
  // 8 bits: opacity 128 is level 8: 9 of every 16 pixels.
  auto d8 = Make(8, 8, 8, [](int, int) { return 0u; });
  auto s8 = Make(8, 8, 8, [](int, int) { return 1u; });
  DrawKeyedBlend(d8, s8, -1, 128);
  int copied = 0;
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) copied += int(d8.GetPixel(x, y));
  EXPECT_EQ(copied, 36);
  EXPECT_EQ(d8.GetPixel(1, 0), 1u);  // matrix 8
  EXPECT_EQ(d8.GetPixel(3, 0), 0u);  // matrix 10
  // Mask blend: 255 copies, 0 leaves, else /256; palette images copy from 128 up.
  auto dm = Make(3, 1, 24, [](int, int) { return 0x000000; });
  auto sm = Make(3, 1, 24, [](int, int) { return 0xFFFFFF; });
  auto mask = Make(3, 1, 8, [](int x, int) { return uint32_t(x == 0 ? 255 : x == 1 ? 0 : 100); });
  DrawMaskBlend(dm, sm, mask);
  EXPECT_EQ(dm.GetPixel(0, 0), 0xFFFFFFu);
  EXPECT_EQ(dm.GetPixel(1, 0), 0u);
  EXPECT_EQ(dm.GetPixel(2, 0), 0x636363u);  // 100*255/256 = 99
  auto dp = Make(2, 1, 4, [](int, int) { return 0u; });
  auto sp = Make(2, 1, 4, [](int, int) { return 5u; });
  auto mp = Make(2, 1, 8, [](int x, int) { return x ? 128u : 127u; });
  DrawMaskBlend(dp, sp, mp);
  EXPECT_EQ(dp.GetPixel(0, 0), 0u);
  EXPECT_EQ(dp.GetPixel(1, 0), 5u);
}

}  // namespace
}  // namespace kest

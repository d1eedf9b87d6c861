#include "text/fontpixels.h"

#include <gtest/gtest.h>

#include "platform/font/fake_font_service.h"
#include "platform/font/freetype_font_service.h"

namespace kest {
namespace {

// A face with a 2 x 2 solid "A", a 3 x 1 ramp "B" and no glyph for the space.
struct Fixture {
  TFakeFontService fonts;
  TFontPixelManager cache{fonts};
  Fixture() {
    auto& f = fonts.AddFace(kDefaultFaceName);
    f.Metrics = {10, 2, 1, -1, 1, 4};
    f.Glyphs[0x41] = {2, 2, 1, 8, 6, {255, 255, 255, 255}, {1, 2, 3}};
    f.Glyphs[0x42] = {3, 1, 0, 9, 4, {64, 128, 255}, {0, 3, 1}};
    fonts.AddFace("Other").Metrics = {10, 2, 1, -1, 1, 4};
  }
};

TEST(FontPixels, LevelMapsPerQuality) {
  struct C { int q, k, cov; } cases[] = {
      {0, 0, 0},    {0, 1, 255},  {1, 0, 0},    {1, 1, 79},   {1, 2, 127},  {1, 3, 207},  {1, 4, 255},
      {2, 1, 43},   {2, 7, 115},  {2, 8, 159},  {2, 16, 255}, {3, 1, 18},   {3, 7, 36},   {3, 8, 55},
      {3, 23, 100}, {3, 24, 119}, {3, 39, 164}, {3, 40, 183}, {3, 64, 255}, {3, 0, 0}};
  for (auto c : cases) EXPECT_EQ(LevelCoverage(c.q, c.k), c.cov) << c.q << " " << c.k;
  EXPECT_EQ(QualityMaxLevel(0), 1);
  EXPECT_EQ(QualityMaxLevel(2), 16);
}

TEST(FontPixels, GlyphConvertedThroughTheLevelMap) {
  Fixture t;
  t.cache.SetQuality(1);
  auto g = t.cache.GetGlyph(0x42, kDefaultFaceName, 0, 12);
  ASSERT_EQ(g->Image.Width(), 3);
  // 64 -> level 1, 128 -> level 2, 255 -> level 4 of 4
  EXPECT_EQ(g->Image.Image().GetPixel(0, 0), 79u);
  EXPECT_EQ(g->Image.Image().GetPixel(1, 0), 127u);
  EXPECT_EQ(g->Image.Image().GetPixel(2, 0), 255u);
  EXPECT_EQ(g->TopOffset, 1);         // ascent 10 - origin 9
  EXPECT_EQ(g->TrailingAdvance, 1);   // 4 - 3 - 0
  auto a = t.cache.GetGlyph(0x41, kDefaultFaceName, FS_UNDERLINE | FS_STRIKEOUT, 12);
  EXPECT_EQ(a->LeftOffset, 1);
  EXPECT_EQ(a->TrailingAdvance, 3);
  EXPECT_EQ(a->Advance(), 6);
  EXPECT_EQ(a->UnderlineThickness, 1);
  EXPECT_EQ(a->StrikeoutTop, 6);
  EXPECT_EQ(a->StrikeoutThickness, 1);
}

TEST(FontPixels, CacheKeysAndEviction) {
  Fixture t;
  auto q3 = t.cache.GetGlyph(0x41, kDefaultFaceName, 0, 12);
  t.cache.SetQuality(1);
  auto q1 = t.cache.GetGlyph(0x41, kDefaultFaceName, 0, 12);
  EXPECT_EQ(t.fonts.Renders, 2);  // the quality is part of the key
  EXPECT_NE(q3, q1);
  EXPECT_EQ(t.cache.GetGlyph(0x41, kDefaultFaceName, 0, 12), q1);
  EXPECT_EQ(t.fonts.Renders, 2);
  // Size, style and face are keys too; the face is compared exactly.
  t.cache.GetGlyph(0x41, kDefaultFaceName, 0, 13);
  t.cache.GetGlyph(0x41, kDefaultFaceName, FS_BOLD, 12);
  t.cache.GetGlyph(0x41, "Other", 0, 12);
  EXPECT_EQ(t.fonts.Renders, 5);
  EXPECT_EQ(t.cache.Count(), 5u);

  // Fill to 256; touch the oldest (q3) so that the next oldest goes first.
  for (uint16_t c = 0x100; t.cache.Count() < 256; ++c) t.cache.GetGlyph(c, kDefaultFaceName, 0, 12);
  t.cache.SetQuality(3);
  EXPECT_EQ(t.cache.GetGlyph(0x41, kDefaultFaceName, 0, 12), q3);
  t.cache.GetGlyph(0x9999, kDefaultFaceName, 0, 12);
  EXPECT_EQ(t.cache.Count(), 256u);
  EXPECT_TRUE(t.cache.IsCached(0x41, kDefaultFaceName, 0, 12, 3));
  EXPECT_FALSE(t.cache.IsCached(0x41, kDefaultFaceName, 0, 12, 1));
  // An evicted glyph stays valid while held.
  EXPECT_EQ(q1->Image.Width(), 2);
  EXPECT_EQ(q1->Image.Image().GetPixel(1, 1), 255u);
}

TEST(FontPixels, FaceLookupIsExactElseTheDefault) {
  Fixture t;
  t.cache.GetGlyph(0x41, "Other", 0, 12);
  t.cache.GetGlyph(0x41, "other", 0, 12);
  t.cache.GetGlyph(0x41, "Other:weight=200", 0, 14);
  ASSERT_EQ(t.fonts.Opens.size(), 3u);
  EXPECT_EQ(t.fonts.Opens[0].face, "Other");
  EXPECT_EQ(t.fonts.Opens[1].face, kDefaultFaceName);
  EXPECT_EQ(t.fonts.Opens[2].face, kDefaultFaceName);
  // The font is only reopened when face, size or style change between misses.
  t.cache.GetGlyph(0x42, "Other:weight=200", 0, 14);
  EXPECT_EQ(t.fonts.Opens.size(), 3u);
}

TEST(FontPixels, GreyFailureFallsBackForThatGlyphOnly) {
  Fixture t;
  auto& f = t.fonts.AddFace(kDefaultFaceName);
  f.Glyphs[0x43] = {1, 1, 0, 10, 2, {128}, {}, true};
  f.Glyphs[0x44] = {1, 1, 0, 10, 2, {128}, {}, false, true};
  auto c = t.cache.GetGlyph(0x43, kDefaultFaceName, 0, 12);
  EXPECT_EQ(c->Image.Image().GetPixel(0, 0), 255u);  // 1-bit: a set bit is full coverage
  EXPECT_EQ(t.cache.Quality(), 3);
  auto b = t.cache.GetGlyph(0x42, kDefaultFaceName, 0, 12);
  EXPECT_EQ(b->Image.Image().GetPixel(0, 0), LevelCoverage(3, QuantizeLevel(64, 64)));
  EXPECT_TRUE(t.cache.GetGlyph(0x44, kDefaultFaceName, 0, 12)->IsEmpty());
}

TEST(FontPixels, BlankGlyphHasTextWidthAndDrawsNothing) {
  Fixture t;
  auto sp = t.cache.GetGlyph(0x20, kDefaultFaceName, 0, 12);
  EXPECT_TRUE(sp->IsEmpty());
  EXPECT_EQ(sp->TrailingAdvance, 6);
  EXPECT_EQ(sp->Advance(), 6);
  TDIBX col(8, 8, 32), cov(8, 8, 8);
  col.Clear(0x123456);
  const TRect r = t.cache.DrawChar(*sp, col, cov, Rect(0, 0, 8, 8), 1, 2, 3, false, false, 2, 2);
  EXPECT_TRUE(r.IsEmpty());
  EXPECT_EQ(col.GetPixel(3, 3), 0x123456u);
  EXPECT_EQ(cov.GetPixel(3, 3), 0u);
}

// The coverage surface as text rows: '.' 0, '#' 255, '+' anything else.
std::string CoverMap(const TCustomDIBX& c) {
  std::string s;
  for (int y = 0; y < c.Height(); ++y) {
    for (int x = 0; x < c.Width(); ++x) {
      const uint32_t v = c.GetPixel(x, y);
      s += v == 0 ? '.' : v == 255 ? '#' : '+';
    }
    s += '\n';
  }
  return s;
}

TEST(FontPixels, BorderRingAroundAFullGlyph) {
  Fixture t;
  auto a = t.cache.GetGlyph(0x41, kDefaultFaceName, 0, 6);  // size 6: no centring shift
  TDIBX col(8, 8, 32), cov(8, 8, 8);
  const TRect r = t.cache.DrawChar(*a, col, cov, Rect(0, 0, 6, 8), 0, 0xB0B0B0, 0xFF0000, false, false, 0, 1);
  // L = 0 + 1, T = 0 + 2; the glyph at (2, 3), its ring from (1, 2) to (4, 5).
  EXPECT_EQ(r, Rect(1, 2, 5, 6));
  EXPECT_EQ(CoverMap(cov),
            "........\n"
            "........\n"
            ".####...\n"
            ".####...\n"
            ".####...\n"
            ".####...\n"
            "........\n"
            "........\n");
  EXPECT_EQ(col.GetPixel(2, 3), 0xFF0000u);
  EXPECT_EQ(col.GetPixel(3, 4), 0xFF0000u);
  EXPECT_EQ(col.GetPixel(1, 2), 0xB0B0B0u);
  EXPECT_EQ(col.GetPixel(4, 5), 0xB0B0B0u);
}

TEST(FontPixels, PartialCoverageMixesBorderAndText) {
  Fixture t;
  t.cache.SetQuality(1);
  auto b = t.cache.GetGlyph(0x42, kDefaultFaceName, 0, 3);  // 79, 127, 255 in a row
  TDIBX col(8, 4, 32), cov(8, 4, 8);
  t.cache.DrawChar(*b, col, cov, Rect(0, 0, 3, 3), 0, 0x000000, 0x00FF00, false, false, 0, 1);
  // Glyph at (1, 2). Pixel (1, 2): border overs of 127 (from the left neighbour offset)...
  // then two-tone at coverage 79: (79 * 255 + 176 * 0) / 256 = 78 in green.
  EXPECT_EQ(col.GetPixel(1, 2) & 0xFF00, uint32_t(78) << 8);
  EXPECT_EQ(col.GetPixel(3, 2), 0x00FF00u);
  EXPECT_EQ(cov.GetPixel(1, 2), 255u);  // union under the text
  // Left end of the ring (0, 2) is reached only by offset +1 of the 79 pixel: a = 79.
  EXPECT_EQ(cov.GetPixel(0, 2), 79u);
}

TEST(FontPixels, DrawOverArithmeticOn16Bits) {
  TFontPixel g;
  g.Image.SetSize(1, 1, 8);
  g.Image.SetPixel(0, 0, 128);
  TDIBX col(1, 1, 16), cov(1, 1, 8);
  col.SetPixel(0, 0, 0xF800);  // red 31
  cov.SetPixel(0, 0, 100);
  glyphops::DrawOver(g, col, cov, 0, 0, 0x001F);  // blue 31
  // a = 100 + 128 * 155 / 255 = 177; f = 128 * 255 / 177 = 184
  EXPECT_EQ(cov.GetPixel(0, 0), 177u);
  // blue (184 * 31 + 71 * 0) >> 8 = 22; red: the channel field (71 * 0xF800) >> 8 & 0xF800 = 0x4000 (8)
  EXPECT_EQ(col.GetPixel(0, 0), (8u << 11) | 22u);
  // two-tone at 128 between red and blue on 15 bits: each (128*31)>>8 = 15 / (127*31)>>8 = 15
  TDIBX c15(1, 1, 15);
  glyphops::DrawTwoTone(g, c15, 0, 0, 0x7C00, 0x001F);
  EXPECT_EQ(c15.GetPixel(0, 0), (15u << 10) | 15u);
}

TEST(FontPixels, ShadowAndBandPositions) {
  Fixture t;
  auto a = t.cache.GetGlyph(0x41, kDefaultFaceName, FS_UNDERLINE | FS_STRIKEOUT, 6);
  {  // no border, no shadow: bands in the text colour too
    TDIBX col(8, 10, 32), cov(8, 10, 8);
    t.cache.DrawChar(*a, col, cov, Rect(0, 0, 6, 10), 0, 0, 0x0000FF, false, false, 0, 0);
    EXPECT_EQ(CoverMap(cov),
              "........\n"
              "........\n"
              ".##.....\n"
              ".##.....\n"
              "........\n"
              "........\n"
              "######..\n"  // strike-out at ascent 10 - position 4
              "........\n"
              "........\n"
              "######..\n");  // underline at the cell bottom
    EXPECT_EQ(col.GetPixel(0, 9), 0x0000FFu);
    EXPECT_EQ(col.GetPixel(5, 6), 0x0000FFu);
  }
  {  // shadow 1 without border, neither neighbour joining
    TDIBX col(8, 10, 32), cov(8, 10, 8);
    const TRect r = t.cache.DrawChar(*a, col, cov, Rect(0, 0, 6, 10), 0x111111, 0, 0x0000FF, false, false, 1, 0);
    EXPECT_EQ(CoverMap(cov),
              "........\n"
              "........\n"
              ".##.....\n"
              ".###....\n"
              "..##....\n"
              "........\n"
              "#####...\n"  // text strike-out, one short on the right
              ".#####..\n"  // its shadow, one further right and down
              "#####...\n"  // text underline, d above the bottom
              ".#####..\n");
    EXPECT_EQ(col.GetPixel(3, 4), 0x111111u);
    EXPECT_EQ(col.GetPixel(1, 2), 0x0000FFu);
    EXPECT_EQ(col.GetPixel(5, 9), 0x111111u);
    EXPECT_EQ(col.GetPixel(0, 8), 0x0000FFu);
    EXPECT_EQ(r, Rect(0, 2, 6, 10));
  }
  {  // joined on both sides: bands run the whole cell
    TDIBX col(8, 10, 32), cov(8, 10, 8);
    t.cache.DrawChar(*a, col, cov, Rect(0, 0, 6, 10), 0x111111, 0, 0x0000FF, true, true, 1, 0);
    EXPECT_EQ(cov.GetPixel(5, 8), 255u);
    EXPECT_EQ(col.GetPixel(5, 8), 0x0000FFu);
    EXPECT_EQ(col.GetPixel(0, 9), 0x111111u);
  }
}

TEST(FontPixels, NarrowGlyphCentredByAbcWidthsTiesToEven) {
  Fixture t;
  // "A": 2 wide, left 1, trailing 3; in a cell of 12: extra 10 > 4, A=1 B=2 C=3:
  // (1 + 1) * 10 / 6 = 3.33 -> 3, minus left 1 = 2.
  auto a = t.cache.GetGlyph(0x41, kDefaultFaceName, 0, 12);
  TDIBX col(16, 12, 32), cov(16, 12, 8);
  EXPECT_EQ(t.cache.DrawChar(*a, col, cov, Rect(0, 0, 12, 12), 0, 0, 1, false, false, 0, 0).Left, 3);
  // A tie: A=1 B=2 C=1 -> (1 + 1) * 10 / 4 = 5.0; A=1 B=4 C=1 -> 3 * 8 / 6 = 4; 2.5 rounds to 2.
  auto& f = t.fonts.AddFace(kDefaultFaceName);
  f.Glyphs[0x45] = {2, 2, 0, 8, 2, {255, 255, 255, 255}, {1, 0, 1}};  // (1 + 0) * 5 / 2 = 2.5
  auto e = t.cache.GetGlyph(0x45, kDefaultFaceName, 0, 7);
  EXPECT_EQ(t.cache.DrawChar(*e, col, cov, Rect(0, 0, 7, 7), 0, 0, 1, false, false, 0, 0).Left, 2);
  f.Glyphs[0x46] = {2, 2, 0, 8, 2, {255, 255, 255, 255}, {3, 0, 1}};  // 3 * 5 / 4 = 3.75 -> 4
  auto e2 = t.cache.GetGlyph(0x46, kDefaultFaceName, 0, 7);
  EXPECT_EQ(t.cache.DrawChar(*e2, col, cov, Rect(0, 0, 7, 7), 0, 0, 1, false, false, 0, 0).Left, 4);
}

TEST(FontPixels, BorderNearTheClipEdgeStaysInside) {
  Fixture t;
  auto a = t.cache.GetGlyph(0x41, kDefaultFaceName, 0, 6);
  TDIBX col(8, 8, 32), cov(8, 8, 8);
  col.ClipRect = Rect(2, 3, 8, 8);
  cov.ClipRect = Rect(2, 3, 8, 8);
  t.cache.DrawChar(*a, col, cov, Rect(-1, -1, 5, 7), 0x222222, 0x333333, 0x444444, false, false, 2, 3);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      if (x < 2 || y < 3) {
        EXPECT_EQ(col.GetPixel(x, y), 0u) << x << "," << y;
        EXPECT_EQ(cov.GetPixel(x, y), 0u) << x << "," << y;
      }
  // 8- and 24-bit colour surfaces are left alone.
  TDIBX c8(8, 8, 8), c24(8, 8, 24);
  t.cache.DrawChar(*a, c8, cov, Rect(0, 0, 6, 6), 1, 2, 3, false, false, 1, 1);
  t.cache.DrawChar(*a, c24, cov, Rect(0, 0, 6, 6), 1, 2, 3, false, false, 1, 1);
  EXPECT_EQ(c8.GetPixel(2, 3), 0u);
  EXPECT_EQ(c24.GetPixel(2, 3), 0u);
}

TEST(FontPixels, RealGothicFace) {
  auto fonts = CreateFreeTypeFontService();
  if (!fonts->HasFace(kDefaultFaceName)) GTEST_SKIP() << "no Japanese gothic face installed";
  TFontPixelManager cache(*fonts);
  auto a = cache.GetGlyph(0x82A0, kDefaultFaceName, 0, 24);  // あ
  EXPECT_FALSE(a->IsEmpty());
  EXPECT_GT(a->Image.Width(), 10);
  auto A = cache.GetGlyph(0x41, kDefaultFaceName, 0, 24);
  EXPECT_EQ(A->Advance(), 12);
  EXPECT_EQ(cache.AbcWidths(0x41, kDefaultFaceName, 0, 24).A + cache.AbcWidths(0x41, kDefaultFaceName, 0, 24).B +
                cache.AbcWidths(0x41, kDefaultFaceName, 0, 24).C,
            12);
}

}  // namespace
}  // namespace kest

// Rotation, stretching, tiles, patterns, indexed and glyph blits, the wave proxy, pictures
// in and out.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "gfx/dibx.h"
#include "gfx/piccodecs.h"
#include "gfx/zarns.h"
#include "vfs/streams.h"

namespace kest {
namespace {

TDIBX Solid(int32_t w, int32_t h, int32_t bits, uint32_t v) {
  TDIBX s(w, h, bits);
  s.Clear(v);
  return s;
}
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
constexpr uint32_t E = 0xEE;

// --- rotation -------------------------------------------------------------------------------

TEST(DibxRotate, QuarterTurnMapsRowsToColumns) {
  const TDIBX src = Numbered(3, 2);
  TDIBX dst = Solid(10, 10, 8, E);
  dst.DrawRotate(5, 5, src.BoundsRect(), src, 64, 0, 0, 256, 256, 255, false);
  // The top row runs down column 5, the second row down column 4.
  EXPECT_EQ(dst.GetPixel(5, 5), 0u);
  EXPECT_EQ(dst.GetPixel(5, 6), 1u);
  EXPECT_EQ(dst.GetPixel(5, 7), 2u);
  EXPECT_EQ(dst.GetPixel(4, 5), 16u);
  EXPECT_EQ(dst.GetPixel(4, 7), 18u);
  int drawn = 0;
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 10; ++x) drawn += dst.GetPixel(x, y) != E;
  EXPECT_EQ(drawn, 6);
}

TEST(DibxRotate, ScaleDoublesAndPivotLandsOnThePoint) {
  const TDIBX src = Numbered(2, 2);
  TDIBX dst = Solid(8, 8, 8, E);
  dst.DrawRotate(0, 0, src.BoundsRect(), src, 0, 0, 0, 512, 512, 255, false);
  const std::vector<uint32_t> r0 = {0, 0, 1, 1, E, E, E, E}, r3 = {16, 16, 17, 17, E, E, E, E};
  EXPECT_EQ(RowOf(dst, 0), r0);
  EXPECT_EQ(RowOf(dst, 3), r3);
  EXPECT_EQ(dst.GetPixel(0, 4), E);
  TDIBX p = Solid(8, 8, 8, E);
  p.DrawRotate(4, 4, src.BoundsRect(), src, 0, 1, 1, 256, 256, 255, false);
  EXPECT_EQ(p.GetPixel(4, 4), 17u);  // (x, y) shows the pivot
  EXPECT_EQ(p.GetPixel(3, 3), 0u);
  TDIBX m = Solid(8, 8, 8, E);
  m.DrawRotate(0, 0, src.BoundsRect(), src, 0, 0, 0, 256, 256, 255, false, true, false);
  EXPECT_EQ(m.GetPixel(0, 0), 1u);  // mirror x takes column right - 1 - u
}

TEST(DibxRotate, AlphaParameterSelectsTheMode) {
  TDIBX src = Solid(1, 1, 32, 0x00804020);
  src.TransparentColor = 0x00123456;
  struct {
    int32_t alpha;
    uint32_t want;
  } const cases[] = {
      {255, 0x00804020},  // copy
      {128, 0x005F472F},  // (128*s + 127*d) / 256 over d = (0x40, 0x50, 0x40)
      {300, 0x00565B45},  // add, weight 44: d + 44*s/256
      {0, 0x00405040},    {512, 0x00405040}, {256, 0x00405040},
  };
  for (const auto& c : cases) {
    TDIBX dst = Solid(3, 3, 32, 0x00405040);
    dst.DrawRotate(1, 1, src.BoundsRect(), src, 0, 0, 0, 256, 256, c.alpha, true);
    EXPECT_EQ(dst.GetPixel(1, 1), c.want) << c.alpha;
  }
  src.TransparentColor = 0x00804020;  // the key applies in every mode
  for (int32_t a : {255, 128, 300}) {
    TDIBX dst = Solid(3, 3, 32, 0x00405040);
    dst.DrawRotate(1, 1, src.BoundsRect(), src, 0, 0, 0, 256, 256, a, true);
    EXPECT_EQ(dst.GetPixel(1, 1), 0x00405040u) << a;
  }
}

TEST(DibxRotate, DegenerateInputsDrawNothing) {
  const TDIBX src = Numbered(4, 4);
  TDIBX dst = Solid(8, 8, 8, E);
  dst.DrawRotate(4, 4, src.BoundsRect(), src, 30, 2, 2, 0, 256, 255, false);
  dst.DrawRotate(4, 4, src.BoundsRect(), src, 30, 2, 2, 256, -5, 255, false);
  dst.DrawRotate(4, 4, TRect{}, src, 30, 2, 2, 256, 256, 255, false);
  dst.DrawRotate(4, 4, src.BoundsRect(), src, 30, 2, 2, 1, 1 << 30, 255, false);  // huge box refused
  dst.DrawRotate(4, 4, TRect{2, 2, 40, 40}, src, 7, 0, 0, 2560, 2560, 128, false);  // beyond the source: no reads
  for (int32_t y = 0; y < 4; ++y) EXPECT_EQ(dst.GetPixel(1, y), E);
}

// --- stretching -------------------------------------------------------------------------

TEST(DibxStretch, ColumnSelectionTable) {
  struct {
    TRect dst, src;
    bool mirror;
    std::vector<uint32_t> want;
  } const cases[] = {
      {TRect{0, 0, 8, 1}, TRect{0, 0, 4, 1}, false, {0, 0, 1, 1, 2, 2, 3, 3}},
      {TRect{0, 0, 3, 1}, TRect{0, 0, 2, 1}, false, {0, 0, 1, E, E, E, E, E}},  // 1.5x: step 43690
      {TRect{-1, 0, 2, 1}, TRect{0, 0, 2, 1}, false, {0, 1, E, E, E, E, E, E}},  // left cut carries 2/3
      {TRect{-1, 0, 1, 1}, TRect{0, 0, 3, 1}, false, {1, E, E, E, E, E, E, E}},  // step 1.5: start 1.5
      {TRect{0, 0, 3, 1}, TRect{0, 0, 2, 1}, true, {1, 1, 0, E, E, E, E, E}},
      {TRect{0, 0, 4, 1}, TRect{2, 0, 6, 1}, false, {2, 3, E, E, E, E, E, E}},  // beyond the source
      {TRect{0, 0, 0, 1}, TRect{0, 0, 4, 1}, false, {E, E, E, E, E, E, E, E}},
      {TRect{4, 0, 2, 1}, TRect{0, 0, 4, 1}, false, {E, E, E, E, E, E, E, E}},
      {TRect{0, 0, 4, 1}, TRect{0, 0, 0, 1}, false, {E, E, E, E, E, E, E, E}},
  };
  const TDIBX src = Numbered(4, 1);
  int n = 0;
  for (const auto& c : cases) {
    TDIBX dst = Solid(8, 1, 8, E);
    dst.StretchDraw(c.dst, c.src, src, 255, false, c.mirror);
    EXPECT_EQ(RowOf(dst, 0), c.want) << n++;
  }
}

TEST(DibxStretch, RowsAndMirrorY) {
  const TDIBX src = Numbered(1, 3);
  TDIBX dst = Solid(1, 6, 8, E);
  dst.StretchDraw(TRect{0, 0, 1, 6}, src.BoundsRect(), src, 255, false, false, true);
  std::vector<uint32_t> col;
  for (int32_t y = 0; y < 6; ++y) col.push_back(dst.GetPixel(0, y));
  EXPECT_EQ(col, (std::vector<uint32_t>{32, 32, 16, 16, 0, 0}));
}

TEST(DibxStretch, WiderThanAnyFixedTable) {
  TDIBX src = Solid(2, 1, 32, 0x00000011);
  src.SetPixel(1, 0, 0x00000022);
  TDIBX dst(3000, 1, 32);
  dst.StretchDraw(TRect{0, 0, 3000, 1}, src.BoundsRect(), src, 255, false);
  EXPECT_EQ(dst.GetPixel(1499, 0), 0x11u);
  EXPECT_EQ(dst.GetPixel(2999, 0), 0x22u);
}

TEST(DibxStretch, MaskAtFullAlphaKeepsColoursExact) {
  const TDIBX src = Solid(2, 1, 32, 0x00C86432);
  const TDIBX mask = Solid(2, 1, 8, 255);
  TDIBX dst = Solid(4, 1, 32, 0);
  dst.StretchDrawMask(TRect{0, 0, 4, 1}, src.BoundsRect(), src, mask, 255);
  EXPECT_EQ(dst.GetPixel(3, 0), 0x00C86432u);
  dst.Clear(0);
  dst.StretchDrawMask(TRect{0, 0, 4, 1}, src.BoundsRect(), src, mask, 254);  // c = 253
  EXPECT_EQ(dst.GetPixel(3, 0), (((253u * 200) >> 8) << 16) | (((253u * 100) >> 8) << 8) | ((253u * 50) >> 8));
}

// --- tiles and patterns -------------------------------------------------------------------

TEST(DibxTile, OffsetsWrapAndGapsSeparate) {
  const TDIBX src = Numbered(2, 1);
  for (int32_t off : {1, -1, 3}) {
    TDIBX dst = Solid(9, 1, 8, E);
    dst.TileDraw(TRect{0, 0, 7, 1}, src.BoundsRect(), src, off, 0, 1, 0, false);
    EXPECT_EQ(RowOf(dst, 0), (std::vector<uint32_t>{1, E, 0, 1, E, 0, 1, E, E})) << off;
    EXPECT_EQ(dst.ClipRect, TRect{});  // the clip is given back
  }
  TDIBX dst = Solid(4, 1, 8, E);
  dst.TileDraw(TRect{0, 0, 4, 1}, src.BoundsRect(), src, 0, 0, -2, 0, false);  // step 0
  dst.TileDraw(TRect{0, 0, 4, 1}, TRect{}, src, 5, 5, 0, 0, false);           // empty source
  dst.TileStretchDraw(TRect{0, 0, 4, 1}, src.BoundsRect(), src, 0, 1, 0, 0, 0, 0, 255, false);
  EXPECT_EQ(RowOf(dst, 0), (std::vector<uint32_t>{E, E, E, E}));
  dst.TileStretchDraw(TRect{0, 0, 4, 1}, src.BoundsRect(), src, 4, 1, 0, 0, 0, 0, 255, false);
  EXPECT_EQ(RowOf(dst, 0), (std::vector<uint32_t>{0, 0, 1, 1}));
}

TEST(DibxPattern, RepeatsFromTheOffset) {
  const TDIBX pat = Numbered(3, 1);
  TDIBX dst = Solid(7, 1, 8, E);
  dst.PatternFill(TRect{1, 0, 6, 1}, pat, -1, 0);
  EXPECT_EQ(RowOf(dst, 0), (std::vector<uint32_t>{E, 2, 0, 1, 2, 0, E}));
  dst.PatternFill(TRect{1, 0, 6, 1}, pat, 0, 0, true, false);
  EXPECT_EQ(RowOf(dst, 0), (std::vector<uint32_t>{E, 2, 1, 0, 2, 1, E}));
  const TDIBX two = Numbered(2, 1);
  TDIBX s = Solid(6, 1, 8, E);
  s.PatternFillScaled(TRect{0, 0, 6, 1}, two, 0, 0, 512, 256, 255, false);
  EXPECT_EQ(RowOf(s, 0), (std::vector<uint32_t>{0, 0, 1, 1, 0, 0}));
  s.PatternFillScaled(TRect{0, 0, 6, 1}, two, 1, 0, 512, 256, 255, false);
  EXPECT_EQ(RowOf(s, 0), (std::vector<uint32_t>{0, 1, 1, 0, 0, 1}));
  TDIBX z = Solid(3, 1, 8, E);
  z.PatternFillScaled(TRect{0, 0, 3, 1}, two, 0, 0, 0, 256, 255, false);
  z.PatternFill(TRect{0, 0, 3, 1}, TDIBX(0, 0, 8), 1, 1);
  EXPECT_EQ(RowOf(z, 0), (std::vector<uint32_t>{E, E, E}));
}

// --- indexed, glyph -----------------------------------------------------------------------

TEST(DibxIndexed, OnlyIndicesAboveTheKeyAreDrawn) {
  TDIBX src = Numbered(4, 1);
  src.TransparentColor = 1;
  TColorTable table{};
  for (uint32_t i = 0; i < 256; ++i) table[i] = i << 20;
  TDIBX dst = Solid(4, 1, 32, 0);
  dst.DrawIndexed(0, 0, src.BoundsRect(), src, table, 255);
  EXPECT_EQ(RowOf(dst, 0), (std::vector<uint32_t>{0, 0, 0x200000, 0x300000}));
  dst.Clear(0);
  dst.DrawIndexedAdd(0, 0, src.BoundsRect(), src, table, 128, true);
  EXPECT_EQ(RowOf(dst, 0), (std::vector<uint32_t>{0x180000, 0x100000, 0, 0}));
  dst.Clear(0);
  dst.StretchDrawIndexed(TRect{0, 0, 4, 1}, TRect{2, 0, 4, 1}, src, table, 255);
  EXPECT_EQ(RowOf(dst, 0), (std::vector<uint32_t>{0x200000, 0x200000, 0x300000, 0x300000}));
}

TEST(DibxGlyph, InkCountsWeighTheColour) {
  // Two 4 x 4 blocks: the first all ink (0 bits), the second half ink.
  const uint8_t bits[4] = {0x00, 0x00, 0x0F, 0x0F};
  const TBitImage g{bits, 1, 8, 4, 1};
  TDIBX dst = Solid(3, 1, 32, 0);
  dst.DrawGlyph(0, 0, TRect{0, 0, 8, 4}, g, 4, 0x00FF8040, 255);
  EXPECT_EQ(RowOf(dst, 0), (std::vector<uint32_t>{0x00FF8040, 0x007F4020, 0}));
  dst.Clear(0);
  dst.DrawGlyph(0, 0, TRect{0, 0, 8, 4}, g, 4, 0x00FF8040, 128);
  EXPECT_EQ(RowOf(dst, 0), (std::vector<uint32_t>{0x007F4020, 0x003F2010, 0}));
  dst.Clear(0);
  dst.DrawGlyph(1, 0, TRect{0, 0, 8, 4}, g, 4, 0x00FF8040, 255, true);
  EXPECT_EQ(RowOf(dst, 0), (std::vector<uint32_t>{0, 0x007F4020, 0x00FF8040}));
  dst.Clear(0);
  dst.DrawGlyph(0, 0, TRect{4, 0, 12, 4}, g, 4, 0x00FF8040, 255);  // beyond the glyph: background
  EXPECT_EQ(RowOf(dst, 0), (std::vector<uint32_t>{0x007F4020, 0, 0}));
  dst.DrawGlyph(0, 0, TRect{0, 0, 8, 4}, g, 0, 0x00FFFFFF, 255);  // factor 0: nothing
  EXPECT_EQ(dst.GetPixel(1, 0), 0u);
}

TEST(DibxGlyph, ThreeColoursWeighedByTheirCounts) {
  const uint8_t bits[4] = {0x6C, 0x6C, 0x6C, 0x6C};  // each row 1, 2, 3, 0
  const TBitImage g{bits, 1, 4, 4, 2};
  const std::array<uint32_t, 3> colours = {0x00FF0000, 0x0000FF00, 0x000000FF};
  TDIBX dst = Solid(1, 1, 32, 0);
  dst.DrawGlyphColors(0, 0, TRect{0, 0, 4, 4}, g, 4, colours, 255);
  EXPECT_EQ(dst.GetPixel(0, 0), 0x003F3F3Fu);
  dst.Clear(0x00101010);
  dst.DrawGlyphColors(0, 0, TRect{0, 0, 4, 4}, g, 4, colours, 511);  // add: counts 4*255/256 = 3
  EXPECT_EQ(dst.GetPixel(0, 0), 0x003F3F3Fu);  // 0x10 + 3*255/16 = 0x10 + 47
}

// --- the wave proxy -----------------------------------------------------------------------

TEST(DibxWave, RunsOfRowsAreShifted) {
  TDIBX target = Solid(10, 4, 8, E);
  TDIBXWave wave(&target);
  wave.SetSize(6, 2, 8);
  wave.OriginX = 2, wave.OriginY = 1;
  ASSERT_EQ(wave.RowOffsets.size(), 2u);
  wave.RowOffsets = {0, 3};
  EXPECT_EQ(wave.BitCount(), 8);
  wave.FillRect(TRect{0, 0, 10, 4}, 7);
  EXPECT_EQ(RowOf(target, 0), (std::vector<uint32_t>(10, E)));
  EXPECT_EQ(RowOf(target, 1), (std::vector<uint32_t>{E, E, 7, 7, 7, 7, 7, 7, E, E}));
  EXPECT_EQ(RowOf(target, 2), (std::vector<uint32_t>{E, E, E, E, E, 7, 7, 7, 7, 7}));
  EXPECT_EQ(RowOf(target, 3), (std::vector<uint32_t>(10, E)));
  EXPECT_EQ(target.ClipRect, TRect{});  // the target's clip is given back

  target.Clear(E);
  const TDIBX src = Numbered(4, 2);
  wave.Draw(2, 1, src.BoundsRect(), src, false, false, false);
  EXPECT_EQ(RowOf(target, 1), (std::vector<uint32_t>{E, E, 0, 1, 2, 3, E, E, E, E}));
  EXPECT_EQ(RowOf(target, 2), (std::vector<uint32_t>{E, E, E, E, E, 16, 17, 18, 19, E}));

  target.Clear(E);
  wave.RowOffsets.resize(1);  // rows outside the table are skipped
  wave.StretchDraw(TRect{2, 1, 6, 3}, TRect{0, 0, 2, 2}, src, 255, false, false, false);
  EXPECT_EQ(RowOf(target, 1), (std::vector<uint32_t>{E, E, 0, 0, 1, 1, E, E, E, E}));
  EXPECT_EQ(RowOf(target, 2), (std::vector<uint32_t>(10, E)));
}

TEST(DibxWave, AddClipLimitsToTheProxyAndPassesOn) {
  TDIBX target(20, 20, 32);
  TDIBXWave wave(&target);
  wave.SetSize(5, 5, 32);
  wave.OriginX = 10, wave.OriginY = 10;
  wave.AddClip(TRect{0, 0, 12, 12});
  EXPECT_EQ(wave.ClipRect, (TRect{10, 10, 12, 12}));
  EXPECT_EQ(target.ClipRect, (TRect{10, 10, 12, 12}));
  wave.AddClip(TRect{0, 0, 5, 5});  // outside the proxy
  EXPECT_EQ(wave.ClipRect, (TRect{10, 10, 12, 12}));
}

// --- grey tables --------------------------------------------------------------------------

TEST(DibxGrey, TablesFollowTheScreenLayout) {
  BuildGreyTables(15);
  EXPECT_EQ(GreyPixel16[255], 0x7FFF);
  EXPECT_EQ(GreyPixel16[8], (1 << 10) | (1 << 5) | 1);
  BuildGreyTables(32);
  EXPECT_EQ(GreyPixel16[255], 0xFFFF);
  EXPECT_EQ(GreyPixel16[4], 1 << 5);  // 4 >> 3 = 0, 4 >> 2 = 1
  EXPECT_EQ(GreyPixel32[0x80], 0x808080u);
  BuildGreyTables(16);
}

// --- pictures -------------------------------------------------------------------------------

TEST(DibxPictures, SaveAndLoadBitmap) {
  const std::string path = (std::filesystem::temp_directory_path() / "kest_dibx_test.BMP").string();
  TDIBX s(5, 3, 32);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) s.SetPixel(x, y, uint32_t((x * 40) << 16 | (y * 80) << 8 | 0x10));
  ASSERT_TRUE(s.SaveToFile(path));
  EXPECT_FALSE(s.SaveToFile(path + ".png"));
  TDIBX back(1, 1, 16);
  ASSERT_TRUE(back.LoadFromFile(path));
  EXPECT_EQ(back.BitCount(), 16);  // the surface keeps its layout
  EXPECT_EQ(back.Width(), 5);
  EXPECT_EQ(back.Height(), 3);
  EXPECT_EQ(back.GetPixel(4, 2), back.MapColor(MakeColorRef(160, 160, 0x10)));
  TDIBX same(1, 1, 32);
  ASSERT_TRUE(same.LoadFromFile(path));
  EXPECT_EQ(RowOf(same, 1), RowOf(s, 1));
  EXPECT_FALSE(same.LoadFromFile(path + ".missing.bmp"));
  std::filesystem::remove(path);
}

TEST(DibxPictures, StreamsAreRecognisedByContent) {
  TDIBSurface img;
  img.SetSize(2, 2, 24);
  img.SetPixel(1, 1, 0x00FF0000);
  img.EnsureMask();  // transparency is dropped on loading
  const std::vector<uint8_t> png = SavePng(img);
  TDIBX s(1, 1, 32);
  ASSERT_TRUE(s.LoadFromBytes(png.data(), png.size(), 0));
  EXPECT_EQ(s.Width(), 2);
  EXPECT_EQ(s.GetPixel(1, 1), 0x00FF0000u);
  const std::vector<uint8_t> bmp = SaveBmp(img);
  TDIBX b(1, 1, 32);
  ASSERT_TRUE(b.LoadFromBytes(bmp.data(), bmp.size(), 0));
  EXPECT_EQ(b.GetPixel(1, 1), 0x00FF0000u);
  // Unknown or damaged content leaves the surface as it was.
  const uint8_t junk[] = {'G', 'I', 'F', '8', '9', 'a'};
  EXPECT_FALSE(b.LoadFromBytes(junk, sizeof junk, 0));
  EXPECT_FALSE(b.LoadFromBytes(bmp.data(), 20, 0));
  EXPECT_FALSE(b.LoadFromBytes(png.data(), png.size() / 2, 0));
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(b.GetPixel(1, 1), 0x00FF0000u);
}

TEST(DibxPictures, ZarnGivesItsFirstFrameReadWithTheCode) {
  TZarnFrameList z(4242);
  for (uint32_t colour : {0x00102030u, 0x00405060u}) {
    TZarnFrame& f = z.AddFrame();
    f.Image.SetSize(6, 4, 24);
    f.Image.Fill(colour);
  }
  z.Frame(0).Image.SetPixel(5, 3, 0x00FFEEDD);
  TMemoryStream ms;
  z.SaveToStream(ms, ZC_ZLIB, 70);
  ms.SetPosition(0);
  TDIBX s(1, 1, 16);
  ASSERT_TRUE(s.LoadFromStream(ms, 4242));
  EXPECT_EQ(s.BitCount(), 16);
  EXPECT_EQ(s.Width(), 6);
  EXPECT_EQ(s.GetPixel(0, 0), s.MapColor(MakeColorRef(0x10, 0x20, 0x30)));
  EXPECT_EQ(s.GetPixel(5, 3), s.MapColor(MakeColorRef(0xFF, 0xEE, 0xDD)));
  // A truncated file is refused and the surface stays.
  std::vector<uint8_t> cut(ms.Bytes().begin(), ms.Bytes().begin() + 40);
  EXPECT_FALSE(s.LoadFromBytes(cut.data(), cut.size(), 4242));
}

}  // namespace
}  // namespace kest

#include <gtest/gtest.h>

#include <zlib.h>

#include <cmath>
#include <random>
#include <string>

#include "gfx/piccodecs.h"
#include "gfx/zarns.h"
#include "vfs/records.h"
#include "tests/vfs/temp_dir.h"
#include "vfs/rands.h"

namespace kest {
namespace {

// Bytes written out by hand, with little helpers for the integers.
struct Bytes {
  std::vector<uint8_t> v;
  Bytes& raw(std::initializer_list<int> b) {
    for (int x : b) v.push_back(uint8_t(x));
    return *this;
  }
  Bytes& i32(int32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(uint32_t(x) >> (8 * i)));
    return *this;
  }
  Bytes& str(const std::string& s) {
    i32(int32_t(s.size()));
    v.insert(v.end(), s.begin(), s.end());
    return *this;
  }
  Bytes& text(const char* s) {
    while (*s) v.push_back(uint8_t(*s++));
    return *this;
  }
  // The 40-byte header block of version 103 and up.
  Bytes& header(int32_t fmt, int32_t w, int32_t h, int32_t bits, int32_t frames, int scrambled, int compression,
                int32_t bg, int32_t tw, int32_t th, int firstOpaque) {
    i32(40).i32(fmt).i32(w).i32(h).i32(bits).i32(frames);
    raw({1, scrambled, compression, 0});
    i32(bg).i32(tw).i32(th);
    return raw({firstOpaque, 70, 0, 0});
  }
  // A layer record up to its colour block.
  Bytes& layer(int visible, int32_t key, int32_t opacity, int hasMask, const std::string& name) {
    raw({0, 0, 0, 0, 0, 0, 0, 0, visible}).i32(key).i32(opacity);
    return raw({hasMask}).str(name);
  }
};

TZarnFrameList Load(const std::vector<uint8_t>& bytes, bool keepLayers = false, int32_t code = 0, bool convert = false) {
  TZarnFrameList z(code);
  TMemoryStream ms(bytes);
  z.LoadFromStream(ms, false, keepLayers, convert);
  return z;
}

TColorRef At(const TZarnFrame& f, int32_t x, int32_t y) { return f.Image.PixelToColor(f.Image.GetPixel(x, y)); }

TEST(ZarnReader, HandBuiltTwoLayerFile) {
  // 2 x 2, 24 bits, stored plain; background red; layer 1 keyed on black at opacity 128.
  Bytes b;
  b.text("Zarn106").header(106, 2, 2, 24, 1, 0, ZC_NONE, 0x0000FF, 0, 0, 0);
  b.str("").i32(-1).i32(100).raw({0}).i32(0).i32(2).i32(2).i32(2).i32(24);
  b.layer(1, -1, 255, 0, "").i32(16);
  b.raw({0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0, 0, 0x70, 0x80, 0x90, 0xA0, 0xB0, 0xC0, 0, 0}).i32(0);
  b.layer(1, 0, 128, 0, "L").i32(16);
  b.raw({0, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0x10, 0x10, 0x10, 0, 0}).i32(0);
  b.i32(-1);                        // no DrawAreas list
  b.i32(1).i32(0).i32(0).i32(1).i32(1);  // ExtraAreas still read
  TZarnFrameList z = Load(b.v, true);
  ASSERT_EQ(z.Count(), 1);
  const TZarnFrame& f = z.Frame(0);
  EXPECT_EQ(f.Duration, 100);
  EXPECT_EQ(f.Layers.size(), 2u);
  EXPECT_EQ(f.Layers[1]->Name, "L");
  EXPECT_EQ(At(f, 0, 0), MakeColorRef(0x30, 0x20, 0x10));  // key: layer 0 shows
  EXPECT_EQ(At(f, 0, 1), MakeColorRef(0x90, 0x80, 0x70));
  // (128*s + 127*d) / 255 per channel: white over (96, 80, 64) and 16 over (192, 176, 160).
  EXPECT_EQ(At(f, 1, 0), MakeColorRef(175, 167, 159));
  EXPECT_EQ(At(f, 1, 1), MakeColorRef(103, 95, 87));
  EXPECT_TRUE(f.DrawAreas.empty());
  ASSERT_EQ(f.ExtraAreas.size(), 1u);
  EXPECT_EQ(f.ExtraAreas[0], Rect(0, 0, 1, 1));
  EXPECT_FALSE(f.Image.HasMask());
}

TEST(ZarnReader, HandBuiltScrambledRowsAndSubByteTiles) {
  // Code 12345, 4 rows: the stored order is image rows 1, 0, 3, 2.
  {
    TTpRandom r(12345);
    r.Prepare(4);
    std::vector<int> perm;
    for (int i = 0; i < 4; ++i) perm.push_back(r.Draw());
    ASSERT_EQ(perm, (std::vector<int>{1, 0, 3, 2}));
  }
  Bytes b;
  b.text("Zarn106").header(106, 1, 4, 8, 1, 1, ZC_NONE, 0, 0, 0, 0);
  b.str("").i32(-1).i32(100).raw({0}).i32(0).i32(1).i32(1).i32(4).i32(8);
  for (int i = 0; i < 256; ++i) b.i32(i);  // palette: blue = index
  b.layer(1, -1, 255, 0, "").i32(16).raw({11, 0, 0, 0, 10, 0, 0, 0, 13, 0, 0, 0, 12, 0, 0, 0}).i32(0);
  b.i32(0).i32(0);
  const TZarnFrameList z = Load(b.v, false, 12345);
  for (int32_t y = 0; y < 4; ++y) EXPECT_EQ(z.Frame(0).Image.GetPixel(0, y), uint32_t(10 + y));
  // The same file read without the code (a wrong code is not detected) keeps stored order.
  const TZarnFrameList wrong = Load(b.v, false, 0);
  EXPECT_EQ(wrong.Frame(0).Image.GetPixel(0, 0), 11u);

  // 4 bits, 3 x 2, tiles 2 x 1: tile 1 is cut to one pixel; tile 2 copies tile 0.
  Bytes t;
  t.text("Zarn106").header(106, 3, 2, 4, 1, 0, ZC_NONE, 0, 2, 1, 0);
  t.str("").i32(-1).i32(100).raw({0}).i32(0).i32(1).i32(3).i32(2).i32(4);
  for (int i = 0; i < 16; ++i) t.i32(i * 0x010203);
  t.layer(1, -1, 255, 0, "").i32(35);
  t.i32(-1).i32(0).i32(-1).i32(0).i32(-2).i32(0).i32(-1).i32(0);
  t.raw({0x12, 0x30, 0x50}).i32(0);
  t.i32(0).i32(0);
  const TZarnFrameList tz = Load(t.v);
  const TDIBSurface& img = tz.Frame(0).Image;
  const uint32_t expect[2][3] = {{1, 2, 3}, {1, 2, 5}};
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(img.GetPixel(x, y), expect[y][x]) << x << "," << y;
  EXPECT_EQ(img.Palette()[5], 5u * 0x010203);

  // References that point forward, at themselves, at this frame or nowhere are refused.
  const size_t tableAt = t.v.size() - 8 - 4 - 3 - 32;
  for (std::pair<int32_t, int32_t> bad : {std::pair{-2, 2}, {-2, 3}, {-2, -1}, {0, 0}, {-3, 0}, {5, 0}}) {
    auto v = t.v;
    for (int i = 0; i < 4; ++i) {
      v[tableAt + 16 + size_t(i)] = uint8_t(uint32_t(bad.first) >> (8 * i));
      v[tableAt + 20 + size_t(i)] = uint8_t(uint32_t(bad.second) >> (8 * i));
    }
    EXPECT_THROW(Load(v), EKestBadData) << bad.first << " " << bad.second;
  }
}

TEST(ZarnReader, FifteenBitRowsUseTheirSixteenBitStorage) {
  // 17 pixels of 2 bytes: rows of 36 bytes (a 15-bit row formula would give 32).
  Bytes b;
  b.text("Zarn106").header(106, 17, 1, 15, 1, 0, ZC_NONE, 0, 0, 0, 0);
  b.str("").i32(-1).i32(100).raw({0}).i32(0).i32(1).i32(17).i32(1).i32(15);
  b.layer(1, -1, 255, 0, "").i32(36);
  for (int x = 0; x < 17; ++x) b.raw({x, 0x7C});  // red 31 + blue x
  b.raw({0, 0}).i32(0).i32(0).i32(0);
  const TZarnFrameList z = Load(b.v);
  EXPECT_EQ(z.Frame(0).Image.BitCount(), 15);
  EXPECT_EQ(z.Frame(0).Image.GetPixel(16, 0), 0x7C10u);
  EXPECT_EQ(At(z.Frame(0), 16, 0), MakeColorRef(0xF8, 0, 0x80));
  // Rows sized by the 15-bit count are refused, not read short.
  Bytes s;
  s.text("Zarn106").header(106, 17, 1, 15, 1, 0, ZC_NONE, 0, 0, 0, 0);
  s.str("").i32(-1).i32(100).raw({0}).i32(0).i32(1).i32(17).i32(1).i32(15);
  s.layer(1, -1, 255, 0, "").i32(32);
  for (int x = 0; x < 32; ++x) s.raw({0});
  s.i32(0).i32(0).i32(0);
  EXPECT_THROW(Load(s.v), EKestBadData);
}

// --- written by our writer and read back --------------------------------------------------------

TDIBSurface Picture(int32_t w, int32_t h, int32_t bits, uint32_t seed, bool mask) {
  // Blocks of repeated texture (so tiles repeat) with noise in one corner.
  std::mt19937 rng(seed);
  TDIBSurface s;
  s.SetSize(w, h, bits);
  const uint32_t range = bits >= 24 ? 0xFFFFFF : (1u << StorageBits(bits)) - 1;
  const uint32_t limit = bits == 15 ? 0x7FFF : range;
  for (int i = 0; i < 256; ++i) s.Palette()[size_t(i)] = rng() & 0xFFFFFF;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      // Outside the noise: a gentle pattern repeating every 16 x 8 pixels.
      uint32_t v = bits <= 8 ? uint32_t((x % 16) / 4 + (y % 8) / 2 * 4)
                             : s.MapColor(MakeColorRef(uint8_t((x % 16) * 8), uint8_t((y % 8) * 16), 128));
      if (x < 10 && y < 6) v = rng();
      s.SetPixel(x, y, v & limit);
    }
  if (mask) {
    s.EnsureMask();
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) s.Mask()->SetPixel(x, y, uint32_t((x * 13 + y * 7) & 255));
  }
  return s;
}

TEST(ZarnRoundTrip, BitDepthsCompressionsMasksAndTiles) {
  // Expected pixels come from a PNG fixture of the picture made here and read back.
  for (int32_t bits : {1, 4, 8, 15, 16, 24, 32})
    for (int32_t comp : {ZC_ZLIB, ZC_NONE, ZC_JPEG})
      for (bool mask : {false, true})
        for (int32_t tile : {0, 8}) {
          SCOPED_TRACE(testing::Message() << bits << " bits, compression " << comp << ", mask " << mask << ", tile " << tile);
          TZarnFrameList z(tile ? 777 : 0);
          TZarnFrame& f = z.AddFrame();
          f.Image.Assign(Picture(37, 13, bits, uint32_t(bits * 10 + comp), mask));
          const std::vector<uint8_t> fixturePng = SavePng(f.Image);
          TDIBSurface fixture;
          LoadPng(fixturePng.data(), fixturePng.size(), fixture);
          TZarnWriteOptions o;
          o.Compression = comp;
          o.JpegQuality = 90;
          o.TileWidth = o.TileHeight = tile;
          o.Scrambled = tile != 0;
          TMemoryStream ms;
          z.Write(ms, o);
          ms.SetPosition(0);
          TZarnFrameList back(z.IdentificationCode);
          back.LoadFromStream(ms);
          ASSERT_EQ(back.Count(), 1);
          const TDIBSurface& img = back.Frame(0).Image;
          ASSERT_EQ(img.BitCount(), bits);
          ASSERT_EQ(img.HasMask(), mask);
          const std::vector<uint8_t> outPng = SavePng(img);
          TDIBSurface out;
          LoadPng(outPng.data(), outPng.size(), out);
          const bool lossy = comp == ZC_JPEG && bits > 8;
          // JPEG colours: what the codec itself gives back, in the layer's layout.
          TDIBSurface expectColours;
          expectColours.Assign(f.Image);
          if (lossy) {
            const std::vector<uint8_t> j = EncodeJpeg(f.Image, 90);
            TDIBSurface decoded;
            DecodeJpeg(j.data(), j.size(), decoded);
            expectColours.CopyRect(0, 0, decoded.ClientRect(), decoded);
          }
          for (int32_t y = 0; y < 13; ++y)
            for (int32_t x = 0; x < 37; ++x) {
              if (mask) {
                ASSERT_EQ(out.Mask()->GetPixel(x, y), fixture.Mask()->GetPixel(x, y));
              }
              ASSERT_EQ(img.GetPixel(x, y), expectColours.GetPixel(x, y)) << x << "," << y;
              if (!lossy) {
                ASSERT_EQ(out.GetPixel(x, y), fixture.GetPixel(x, y));
              }
            }
        }
}

TEST(ZarnRoundTrip, FramesShareTilesWithEarlierFrames) {
  TZarnFrameList z;
  for (int i = 0; i < 3; ++i) {
    TZarnFrame& f = z.AddFrame();
    f.Image.Assign(Picture(64, 32, 24, 1, true));
    for (int32_t x = 40; x < 48; ++x) f.Image.SetPixel(x, 20, uint32_t(i * 0x111111));  // one tile differs
  }
  TZarnWriteOptions o;
  o.TileWidth = o.TileHeight = 16;
  o.Compression = ZC_NONE;
  TMemoryStream shared, plain;
  z.Write(shared, o);
  o.ShareTiles = false;
  z.Write(plain, o);
  EXPECT_LT(shared.Size() * 2, plain.Size());
  shared.SetPosition(0);
  TZarnFrameList back;
  back.LoadFromStream(shared);
  ASSERT_EQ(back.Count(), 3);
  for (int i = 0; i < 3; ++i)
    for (int32_t y = 0; y < 32; ++y)
      for (int32_t x = 0; x < 64; ++x) {
        ASSERT_EQ(back.Frame(i).Image.GetPixel(x, y), z.Frame(i).Image.GetPixel(x, y));
        ASSERT_EQ(back.Frame(i).Image.Mask()->GetPixel(x, y), z.Frame(i).Image.Mask()->GetPixel(x, y));
      }
}

TEST(ZarnRoundTrip, VersionTable) {
  // Each old version, written by the full writer, reads back its own fields.
  struct Case {
    int32_t version, fmt;
    bool background, mask, hasMaskByte, areas, firstOpaque;
  } cases[] = {{0, 0, false, false, false, false, false},      {99, 99, false, false, false, false, false},
               {100, 100, false, true, false, false, false},   {101, 101, false, true, true, false, false},
               {102, 102, true, true, true, false, false},     {103, 103, true, true, true, false, false},
               {104, 104, true, true, true, true, false},      {105, 105, true, true, true, true, true},
               {106, 103, true, true, true, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    TZarnFrameList z;
    z.BackgroundColor = MakeColorRef(1, 2, 3);
    z.FirstLayerOpaque = true;
    TZarnFrame& f = z.AddFrame();
    f.Image.SetSize(4, 2, 24);
    f.Image.Fill(0x445566);
    f.Image.FillMaskOpaque();
    f.Image.Mask()->SetPixel(0, 0, 0);
    f.DrawAreas = {Rect(0, 0, 2, 2)};
    TZarnWriteOptions o;
    o.Version = c.version;
    o.FormatVersion = c.fmt;
    o.WriteAreas = true;
    TMemoryStream ms;
    z.Write(ms, o);
    ms.SetPosition(0);
    TZarnFrameList back;
    back.LoadFromStream(ms);
    EXPECT_EQ(back.Version, c.version);
    EXPECT_EQ(back.FormatVersion, c.fmt);
    EXPECT_EQ(back.BackgroundColor, c.background ? MakeColorRef(1, 2, 3) : 0);
    EXPECT_EQ(back.FirstLayerOpaque, c.firstOpaque);
    EXPECT_EQ(back.Frame(0).Image.HasMask(), c.mask);
    EXPECT_EQ(back.Frame(0).DrawAreas.size(), c.areas ? 1u : 0u);
    EXPECT_EQ(back.Frame(0).Image.GetPixel(3, 1), 0x445566u);
  }
}

TEST(ZarnRoundTrip, CaptureWriterAndHeaderLengths) {
  TZarnFrameList z;
  TZarnFrame& f = z.AddFrame();
  f.Image.Assign(Picture(20, 10, 24, 9, false));
  TMemoryStream ms;
  z.SaveToStream(ms, ZC_NONE, 70);
  const auto& v = ms.Bytes();
  ASSERT_GT(v.size(), 60u);
  EXPECT_EQ(std::string(v.begin(), v.begin() + 7), "Zarn106");
  EXPECT_EQ(v[kZarnCompressionOffset], ZC_NONE);
  EXPECT_EQ(v[kZarnCompressionOffset - 1], 0);  // not scrambled
  // An empty area list reloads without restriction: the capture stays visible.
  ms.SetPosition(0);
  TZarnFrameList back;
  back.LoadFromStream(ms);
  EXPECT_TRUE(back.Frame(0).DrawAreas.empty());
  // With a code the rows are shuffled and stored plain whatever was asked.
  TZarnFrameList coded(4242);
  coded.AddFrame().Image.Assign(f.Image);
  TMemoryStream cs;
  coded.SaveToStream(cs, ZC_ZLIB, 70);
  EXPECT_EQ(cs.Bytes()[kZarnCompressionOffset], ZC_NONE);
  EXPECT_EQ(cs.Bytes()[kZarnCompressionOffset - 1], 1);
  cs.SetPosition(0);
  TZarnFrameList cb(4242);
  cb.LoadFromStream(cs);
  EXPECT_EQ(cb.Frame(0).Image.GetPixel(5, 7), f.Image.GetPixel(5, 7));
  // A shuffled file without a code cannot be written.
  TZarnWriteOptions o;
  o.Scrambled = true;
  EXPECT_THROW(z.Write(ms, o), EKest);
  // Header blocks longer and shorter than 40 bytes.
  for (int32_t len : {52, 36}) {
    o = TZarnWriteOptions{};
    o.HeaderLength = len;
    TMemoryStream hs;
    z.Write(hs, o);
    hs.SetPosition(0);
    TZarnFrameList hb;
    hb.LoadFromStream(hs);
    EXPECT_EQ(hb.Frame(0).Image.GetPixel(19, 9), f.Image.GetPixel(19, 9)) << len;
    EXPECT_EQ(hb.JpegQuality, len >= 38 ? 70 : 0);
  }
}

// --- composition -------------------------------------------------------------------------------

TEST(ZarnComposition, MasksKeysOpacityAndFirstLayer) {
  auto solid = [](uint32_t v) {
    auto l = std::make_unique<TZarnLayer>();
    l->Image.SetSize(4, 4, 24);
    l->Image.Fill(v);
    return l;
  };
  TZarnFrameList z;
  TZarnFrame& f = z.AddFrame();
  f.Image.SetSize(4, 4, 24);
  auto hidden = solid(0x111111);
  hidden->Visible = false;
  auto base = solid(0x202020);
  base->TransparentPixel = 0x202020;  // ignored: first visible layer with FirstLayerOpaque
  auto top = solid(0xFFFFFF);
  top->HasMask = true;
  top->Image.EnsureMask();
  top->Image.Mask()->SetPixel(1, 0, 255);
  top->Image.Mask()->SetPixel(2, 0, 128);
  f.Layers.push_back(std::move(hidden));
  f.Layers.push_back(std::move(base));
  f.Layers.push_back(std::move(top));
  z.FirstLayerOpaque = true;
  TMemoryStream ms;
  z.Write(ms, TZarnWriteOptions{});
  ms.SetPosition(0);
  TZarnFrameList back;
  back.LoadFromStream(ms, false, true);
  const TZarnFrame& b = back.Frame(0);
  EXPECT_EQ(b.Image.GetPixel(0, 0), 0x202020u);
  EXPECT_EQ(b.Image.GetPixel(1, 0), 0xFFFFFFu);
  EXPECT_EQ(b.Image.GetPixel(2, 0), 0x8F8F8Fu);  // (128*255 + 127*32) / 256
  EXPECT_FALSE(b.Image.HasMask());               // the first visible layer had none
  EXPECT_EQ(b.Layers.size(), 3u);                // kept on request

  // Without FirstLayerOpaque the base layer's key shows the background.
  z.FirstLayerOpaque = false;
  z.BackgroundColor = MakeColorRef(0, 0, 0xFF);
  TMemoryStream m2;
  z.Write(m2, TZarnWriteOptions{});
  m2.SetPosition(0);
  back.LoadFromStream(m2);
  EXPECT_EQ(back.Frame(0).Image.GetPixel(0, 0), 0x0000FFu);
  EXPECT_TRUE(back.Frame(0).Layers.empty());  // discarded after composition

  // The first visible layer's mask becomes the frame's mask.
  TZarnFrameList one;
  auto& g = one.AddFrame();
  g.Image.SetSize(2, 1, 8);
  auto masked = std::make_unique<TZarnLayer>();
  masked->HasMask = true;
  masked->Image.SetSize(2, 1, 8);
  masked->Image.EnsureMask();
  masked->Image.Mask()->SetPixel(1, 0, 200);
  g.Layers.push_back(std::move(masked));
  TMemoryStream m3;
  one.Write(m3, TZarnWriteOptions{});
  m3.SetPosition(0);
  back.LoadFromStream(m3);
  ASSERT_TRUE(back.Frame(0).Image.HasMask());
  EXPECT_EQ(back.Frame(0).Image.Mask()->GetPixel(1, 0), 200u);
}

TEST(ZarnComposition, PaletteScreenDoorHiddenLayersAndFirstFrameOnly) {
  // Frame 0: an 8 x 8 palette frame, a hidden layer of index 3, a visible layer of index 1
  // at opacity 128 (screen door level 8: 36 of 64 pixels). Frame 1 copies its tiles from
  // frame 0's hidden layer.
  TZarnFrameList z;
  auto layer = [](uint32_t index, int32_t opacity, bool visible) {
    auto l = std::make_unique<TZarnLayer>();
    l->Image.SetSize(8, 8, 8);
    l->Image.Fill(index);
    l->Opacity = opacity;
    l->Visible = visible;
    return l;
  };
  TZarnFrame& f = z.AddFrame();
  f.Layers.push_back(layer(3, 255, false));
  f.Layers.push_back(layer(1, 128, true));
  TZarnFrame& g = z.AddFrame();
  g.Image.SetSize(8, 8, 8);
  g.Image.Fill(3);
  TZarnWriteOptions o;
  o.TileWidth = o.TileHeight = 4;
  o.Compression = ZC_NONE;
  TMemoryStream ms;
  z.Write(ms, o);
  ms.SetPosition(0);
  TZarnFrameList back;
  back.LoadFromStream(ms);
  int ones = 0;
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) ones += back.Frame(0).Image.GetPixel(x, y) == 1;
  EXPECT_EQ(ones, 36);
  EXPECT_EQ(back.Frame(1).Image.GetPixel(7, 7), 3u);
  EXPECT_EQ(back.Blocks.back().Size, 4 * 8);  // frame 1: a table of references, no pixels
  // The first frame alone.
  ms.SetPosition(0);
  back.LoadFromStream(ms, true);
  EXPECT_EQ(back.Count(), 1);
  EXPECT_EQ(back.StoredFrameCount, 2);
}

TEST(ZarnConversion, PaletteFramesWidenAndKeysBecomeMasks) {
  TZarnFrameList z;
  TZarnFrame& f = z.AddFrame();
  f.Image.SetSize(3, 1, 8);
  f.Image.Palette()[2] = 0x00FF00;
  f.Image.Palette()[7] = 0x123456;
  f.Image.SetPixel(0, 0, 7), f.Image.SetPixel(1, 0, 2), f.Image.SetPixel(2, 0, 7);
  f.TransparentPixel = 2;
  TMemoryStream ms;
  z.Write(ms, TZarnWriteOptions{});
  ms.SetPosition(0);
  TZarnFrameList back;
  back.LoadFromStream(ms, false, false, true);
  const TZarnFrame& b = back.Frame(0);
  EXPECT_EQ(b.TransparentColor, MakeColorRef(0, 0xFF, 0));
  EXPECT_EQ(b.Image.BitCount(), 24);
  EXPECT_EQ(b.TransparentPixel, 0x00FF00);
  EXPECT_EQ(b.Image.GetPixel(0, 0), 0x123456u);
  ASSERT_TRUE(b.Image.HasMask());
  EXPECT_EQ(b.Image.Mask()->GetPixel(1, 0), 0u);
  EXPECT_EQ(b.Image.Mask()->GetPixel(2, 0), 255u);
}

TEST(ZarnFrame, TrimCutsAndMovesTheAreas) {
  TZarnFrame f;
  f.Image.SetSize(10, 10, 24);
  f.TransparentPixel = 0;
  for (int32_t y = 3; y < 6; ++y)
    for (int32_t x = 2; x < 8; ++x) f.Image.SetPixel(x, y, 0xFFFFFF);
  f.DrawAreas = {Rect(0, 0, 4, 4), Rect(8, 8, 10, 10)};
  f.ExtraAreas = {Rect(5, 4, 20, 20)};
  EXPECT_EQ(f.Trim(), Rect(2, 3, 8, 6));
  EXPECT_EQ(f.Image.Width(), 6);
  ASSERT_EQ(f.DrawAreas.size(), 1u);
  EXPECT_EQ(f.DrawAreas[0], Rect(0, 0, 2, 1));
  EXPECT_EQ(f.ExtraAreas[0], Rect(3, 1, 6, 3));
  EXPECT_EQ(f.Trim(), Rect(0, 0, 6, 3));  // nothing more to cut
}

// --- damage ---------------------------------------------------------------------------------------

TEST(ZarnReader, DamagedFilesAreRefusedAndLeaveNoFrames) {
  TZarnFrameList z;
  for (int i = 0; i < 2; ++i) z.AddFrame().Image.Assign(Picture(33, 9, 24, uint32_t(i), true));
  TMemoryStream ms;
  z.Write(ms, TZarnWriteOptions{});
  const std::vector<uint8_t> good = ms.Bytes();
  std::vector<std::pair<const char*, std::vector<uint8_t>>> cases;
  cases.push_back({"truncated", std::vector<uint8_t>(good.begin(), good.end() - 9)});
  auto zlib = good;
  zlib[120] ^= 0xFF;  // inside the first colour block
  cases.push_back({"zlib", zlib});
  auto width = good;
  const size_t w = 51 + 4 + 4 + 4 + 1 + 4 + 4;
  width[w + 3] = 0x7F;  // a huge width
  cases.push_back({"width", width});
  auto count = good;
  count[27 + 3] = 0x10;  // frame count far beyond the bytes
  cases.push_back({"count", count});
  auto bits = good;
  bits[w + 8] = 12;
  cases.push_back({"bits", bits});
  auto magic = good;
  magic[5] = 'x';
  cases.push_back({"magic", magic});
  for (auto& [name, bytes] : cases) {
    TZarnFrameList r;
    TMemoryStream in(bytes);
    EXPECT_THROW(r.LoadFromStream(in), EKestBadData) << name;
    EXPECT_EQ(r.Count(), 0) << name;
  }
}

TEST(ZarnReader, JpegBlocksOfAnotherSizeAreClippedAndPaletteLayersMapped) {
  // A 24-bit layer whose JPEG block is 8 x 8 while the frame is 4 x 12.
  TDIBSurface pic;
  pic.SetSize(8, 8, 24);
  pic.Fill(0x204060);
  const std::vector<uint8_t> jpeg = EncodeJpeg(pic, 95);
  Bytes b;
  b.text("Zarn106").header(106, 4, 12, 24, 1, 0, ZC_JPEG, 0x0000FF, 0, 0, 0);
  b.str("").i32(-1).i32(100).raw({0}).i32(0).i32(1).i32(4).i32(12).i32(24);
  b.layer(1, -1, 255, 0, "").i32(int32_t(jpeg.size()));
  b.v.insert(b.v.end(), jpeg.begin(), jpeg.end());
  b.i32(0).i32(0).i32(0);
  const TZarnFrameList z = Load(b.v);
  const uint32_t inside = z.Frame(0).Image.GetPixel(3, 7);
  EXPECT_NEAR(int(inside & 255), 0x60, 3);
  EXPECT_EQ(z.Frame(0).Image.GetPixel(3, 11), 0u);  // below the picture: nothing decoded
  // Our writer stores palette frames with zlib even when JPEG is asked for.
  TZarnFrameList p;
  p.AddFrame().Image.Assign(Picture(5, 5, 8, 3, false));
  TZarnWriteOptions o;
  o.Compression = ZC_JPEG;
  TMemoryStream ms;
  p.Write(ms, o);
  EXPECT_EQ(ms.Bytes()[kZarnCompressionOffset], ZC_ZLIB);
}


TEST(ZarnReader, ReferencesToOtherFramesMustFit) {
  // Frame 2 repeats frame 1 in its first tile, so the writer points that tile (colour and
  // mask) at frame 1. Pointed at frame 0 instead, it must be refused when frame 0 has
  // another size or no mask.
  auto build = [](int32_t firstHeight, bool firstMask) {
    TZarnFrameList z;
    z.AddFrame().Image.Assign(Picture(8, firstHeight, 24, 5, firstMask));
    z.AddFrame().Image.Assign(Picture(8, 8, 24, 1, true));
    TZarnFrame& last = z.AddFrame();
    last.Image.Assign(z.Frame(1).Image);
    for (int32_t x = 4; x < 8; ++x) last.Image.SetPixel(x, 6, 0x010203), last.Image.Mask()->SetPixel(x, 6, 9);
    TZarnWriteOptions o;
    o.Compression = ZC_NONE;
    o.TileWidth = o.TileHeight = 4;
    TMemoryStream ms;
    z.Write(ms, o);
    ms.SetPosition(0);
    TZarnFrameList probe;
    probe.LoadFromStream(ms);
    for (int32_t y = 0; y < 8; ++y)
      for (int32_t x = 0; x < 8; ++x) {
        EXPECT_EQ(probe.Frame(2).Image.GetPixel(x, y), last.Image.GetPixel(x, y));
        EXPECT_EQ(probe.Frame(2).Image.Mask()->GetPixel(x, y), last.Image.Mask()->GetPixel(x, y));
      }
    std::vector<int64_t> tables;  // the tile tables of frame 2's colour and mask blocks
    for (const TZarnBlockInfo& b : probe.Blocks)
      if (b.Frame == 2) tables.push_back(b.Offset);
    return std::pair{ms.Bytes(), tables};
  };
  auto entry = [](const std::vector<uint8_t>& v, int64_t at) { return GetI32LE(v.data() + at); };
  for (auto [height, mask] : {std::pair{8, false}, std::pair{4, true}}) {
    auto [v, tables] = build(height, mask);
    ASSERT_EQ(tables.size(), 2u);
    ASSERT_EQ(entry(v, tables[0]), 1);  // frame 1
    ASSERT_EQ(entry(v, tables[1]), 1);
    const size_t which = height == 8 ? 1 : 0;  // the mask block, or the colour block
    v[size_t(tables[which])] = 0;              // frame 0
    EXPECT_THROW(Load(v), EKestBadData) << height;
  }
}

TEST(ZarnReader, DecodedBytesAreBudgeted) {
  TZarnFrameList z;
  z.AddFrame().Image.Assign(Picture(300, 200, 32, 1, true));
  TMemoryStream ms;
  z.Write(ms, TZarnWriteOptions{});
  TZarnFrameList r;
  r.MaxDecodedBytes = 300 * 200 * 4;  // the colours fit, the mask does not
  ms.SetPosition(0);
  EXPECT_THROW(r.LoadFromStream(ms), EKestBadData);
  r.MaxDecodedBytes = 300 * 200 * 5;
  ms.SetPosition(0);
  r.LoadFromStream(ms);
  EXPECT_EQ(r.Count(), 1);
}

TEST(ZarnFiles, LoadByExtension) {
  test::TempDir dir;
  // A 32-bit bitmap: its fourth byte becomes the mask, the image 24 bits.
  TDIBSurface b;
  b.SetSize(2, 1, 32);
  b.SetPixel(0, 0, 0x80112233);
  b.SetPixel(1, 0, 0x00445566);
  WriteWholeFile(dir / "a.BMP", SaveBmp(b));
  TZarnFrameList z;
  z.LoadFromFile(dir / "a.BMP");
  ASSERT_EQ(z.Count(), 1);
  EXPECT_EQ(z.Frame(0).Image.BitCount(), 24);
  EXPECT_EQ(z.Frame(0).Image.GetPixel(0, 0), 0x112233u);
  ASSERT_TRUE(z.Frame(0).Image.HasMask());
  EXPECT_EQ(z.Frame(0).Image.Mask()->GetPixel(0, 0), 0x80u);
  EXPECT_EQ(z.Frame(0).Image.Mask()->GetPixel(1, 0), 0u);
  // A PNG, and a Zarn file saved by the capture writer.
  WriteWholeFile(dir / "b.png", SavePng(z.Frame(0).Image));
  TZarnFrameList p;
  p.LoadFromFile(dir / "b.png");
  EXPECT_EQ(p.Frame(0).Image.Mask()->GetPixel(0, 0), 0x80u);
  p.SaveToFile(dir / "c.zar");
  TZarnFrameList c;
  c.LoadFromFile(dir / "c.zar");
  EXPECT_EQ(c.Frame(0).Image.GetPixel(1, 0), 0x445566u);
  EXPECT_THROW(c.LoadFromFile(dir / "missing.zar"), EKest);
}

}  // namespace
}  // namespace kest

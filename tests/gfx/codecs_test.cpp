#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "gfx/piccodecs.h"

namespace kest {
namespace {

void Le32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}
void Le16(std::vector<uint8_t>& v, uint32_t x) { v.push_back(uint8_t(x)), v.push_back(uint8_t(x >> 8)); }

TDIBSurface Random(int32_t w, int32_t h, int32_t bits, uint32_t seed) {
  std::mt19937 rng(seed);
  TDIBSurface s;
  s.SetSize(w, h, bits);
  const uint32_t range = bits >= 32 ? 0xFFFFFFFFu : (1u << StorageBits(bits)) - 1;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) s.SetPixel(x, y, (rng() & range) & (bits == 15 ? 0x7FFF : 0xFFFFFFFF));
  for (int i = 0; i < 256; ++i) s.Palette()[size_t(i)] = rng() & 0xFFFFFF;
  return s;
}

TEST(Bmp, HandBuiltBottomUpFile) {
  // 3 x 2, 24 bits, bottom up: the first stored row is the image's lower row.
  std::vector<uint8_t> f = {'B', 'M'};
  Le32(f, 14 + 40 + 24), Le32(f, 0), Le32(f, 54);
  Le32(f, 40), Le32(f, 3), Le32(f, 2), Le16(f, 1), Le16(f, 24), Le32(f, 0), Le32(f, 24);
  Le32(f, 0), Le32(f, 0), Le32(f, 0), Le32(f, 0);
  const uint8_t rows[24] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0,  // lower row, 3 padding bytes
                            10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
  f.insert(f.end(), rows, rows + 24);
  TDIBSurface s;
  LoadBmp(f.data(), f.size(), s);
  ASSERT_EQ(s.BitCount(), 24);
  EXPECT_EQ(s.GetPixel(0, 0), 0x0C0B0Au);  // B=10, G=11, R=12
  EXPECT_EQ(s.GetPixel(2, 1), 0x090807u);
  // Truncated pixels, a wrong signature and run-length coding are refused.
  for (size_t cut : {f.size() - 1, size_t(30), size_t(3)}) {
    TDIBSurface t;
    EXPECT_THROW(LoadBmp(f.data(), cut, t), EKestBadData) << cut;
  }
  auto rle = f;
  rle[30] = 1;
  EXPECT_THROW(LoadBmp(rle.data(), rle.size(), s), EKestBadData);
}

TEST(Bmp, RoundTripEveryLayout) {
  for (int32_t bits : {1, 4, 8, 15, 16, 24, 32}) {
    const TDIBSurface a = Random(17, 5, bits, uint32_t(bits));
    const std::vector<uint8_t> file = SaveBmp(a);
    TDIBSurface b;
    LoadBmp(file.data(), file.size(), b);
    ASSERT_EQ(b.BitCount(), bits);
    ASSERT_EQ(b.Width(), 17);
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 17; ++x) ASSERT_EQ(b.GetPixel(x, y), a.GetPixel(x, y)) << bits;
    if (bits <= 8) {
      for (int i = 0; i < (1 << bits); ++i) EXPECT_EQ(b.Palette()[size_t(i)], a.Palette()[size_t(i)]);
    }
  }
}

TEST(Png, AlphaBecomesTheMaskAndBack) {
  TDIBSurface a = Random(9, 4, 24, 3);
  a.EnsureMask();
  for (int32_t x = 0; x < 9; ++x) a.Mask()->SetPixel(x, 1, uint32_t(x * 30));
  const std::vector<uint8_t> png = SavePng(a);
  TDIBSurface b;
  LoadPng(png.data(), png.size(), b);
  ASSERT_TRUE(b.HasMask());
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 9; ++x) {
      ASSERT_EQ(b.GetPixel(x, y), a.GetPixel(x, y));
      ASSERT_EQ(b.Mask()->GetPixel(x, y), a.Mask()->GetPixel(x, y));
    }
  // A palette image is written by its colours.
  TDIBSurface p = Random(3, 1, 8, 4);
  const std::vector<uint8_t> pp = SavePng(p);
  LoadPng(pp.data(), pp.size(), b);
  EXPECT_EQ(b.GetPixel(2, 0), p.Palette()[p.GetPixel(2, 0)]);
  auto bad = png;
  bad[bad.size() / 2] ^= 0x55;
  EXPECT_THROW(LoadPng(bad.data(), bad.size(), b), EKestBadData);
  EXPECT_THROW(LoadPng(png.data(), 20, b), EKestBadData);
}

TEST(Jpeg, RoundTripWithinErrorAndDamageRaises) {
  TDIBSurface a;
  a.SetSize(40, 24, 24);
  for (int32_t y = 0; y < 24; ++y)
    for (int32_t x = 0; x < 40; ++x) a.SetPixel(x, y, uint32_t(x * 6) << 16 | uint32_t(y * 10) << 8 | 0x80);
  const std::vector<uint8_t> j = EncodeJpeg(a, 90);
  TDIBSurface b;
  DecodeJpeg(j.data(), j.size(), b);
  ASSERT_EQ(b.Width(), 40);
  ASSERT_EQ(b.Height(), 24);
  double se = 0;
  for (int32_t y = 0; y < 24; ++y)
    for (int32_t x = 0; x < 40; ++x)
      for (int c = 0; c < 3; ++c) {
        const double d = double(a.Row(y)[x * 3 + c]) - b.Row(y)[x * 3 + c];
        se += d * d;
      }
  const double psnr = 10 * std::log10(255.0 * 255.0 / (se / (40 * 24 * 3)));
  EXPECT_GT(psnr, 35.0);
  // Truncated, garbled and empty streams raise instead of ending the process.
  EXPECT_THROW(DecodeJpeg(j.data(), j.size() / 2, b), EKestBadData);
  std::vector<uint8_t> junk(100, 0x42);
  EXPECT_THROW(DecodeJpeg(junk.data(), junk.size(), b), EKestBadData);
  EXPECT_THROW(DecodeJpeg(j.data(), 0, b), EKestBadData);
}

}  // namespace
}  // namespace kest

// Drawing operations with geometry, alphas and scales taken from the input: nothing may be
// read or written outside any surface, and nothing may hang. Also the canvas's polygons,
// whose corners come from map files.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "gfx/canvas.h"
#include "gfx/dibx.h"

namespace {

struct TReader {
  const uint8_t* p;
  size_t n;
  int32_t I32() {
    int32_t v = 0;
    const size_t k = n < 4 ? n : 4;
    std::memcpy(&v, p, k);
    p += k, n -= k;
    return v;
  }
  int32_t Small(int32_t lim) {  // mostly small values, now and then anything
    const int32_t v = I32();
    return (v & 0x70000000) == 0x70000000 ? v : v % lim;
  }
  uint8_t U8() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
  kest::TRect Rect() { return kest::TRect{Small(80), Small(80), Small(120), Small(120)}; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kest;
  TReader r{data, size};
  static const int32_t kBits[] = {8, 15, 16, 24, 32};
  const int32_t bits = kBits[r.U8() % 5];
  TDIBX dst(1 + r.U8() % 64, 1 + r.U8() % 32, bits);
  TDIBX src(1 + r.U8() % 40, 1 + r.U8() % 20, bits);
  TDIBX mask(1 + r.U8() % 40, 1 + r.U8() % 20, 8);
  TDIBX idx(1 + r.U8() % 40, 1 + r.U8() % 20, 8);
  for (int32_t i = 0; i < src.Width(); ++i) src.SetPixel(i, 0, uint32_t(r.I32()));
  for (int32_t i = 0; i < mask.Width(); ++i) mask.SetPixel(i, 0, r.U8());
  src.TransparentColor = r.I32();
  idx.TransparentColor = r.Small(300);
  if (r.U8() & 1) dst.ClipRect = r.Rect();
  TColorTable table{};
  const std::array<uint32_t, 3> colours = {1, 2, 3};
  std::vector<uint8_t> glyphBits(128, 0x5A);
  const TBitImage glyph{glyphBits.data(), 8, 32, 16, int32_t(1 + (r.U8() & 1))};
  TDIBXWave wave(&dst);
  try {
    wave.SetSize(r.Small(64), r.Small(32), bits);
  } catch (const EKest&) {
    return 0;  // beyond the size caps
  }
  wave.OriginX = r.Small(20), wave.OriginY = r.Small(20);
  for (int32_t& o : wave.RowOffsets) o = r.Small(30);
  for (int step = 0; step < 12 && r.n > 0; ++step) {
    TCustomDIBX& d = (r.U8() & 3) == 0 ? static_cast<TCustomDIBX&>(wave) : dst;
    const uint8_t op = r.U8();
    const int32_t x = r.Small(100), y = r.Small(100), a = r.Small(600);
    const TRect sr = r.Rect(), dr = r.Rect();
    const bool mx = op & 0x40, my = op & 0x80, key = x & 1;
    switch (op % 20) {
      case 0: d.Draw(x, y, sr, src, key, mx, my); break;
      case 1: d.DrawAlpha(x, y, sr, src, a, key, mx, my); break;
      case 2: d.DrawMaskAdd(x, y, sr, src, mask, a, mx, my); break;
      case 3: d.DrawMaskAlpha(x, y, sr, src, mask, a, mx, my); break;
      case 4: d.StretchDraw(dr, sr, src, a, key, mx, my); break;
      case 5: d.StretchDrawMask(dr, sr, src, mask, a, mx, my); break;
      case 6: d.DrawRotate(x, y, sr, src, r.I32(), r.Small(50), r.Small(50), r.Small(3000), r.Small(3000), a, key, mx, my); break;
      case 7: d.DrawRotateMask(x, y, sr, src, mask, r.I32(), r.I32(), r.I32(), r.Small(900), r.Small(900), a, mx, my); break;
      case 8: d.TileDraw(dr, sr, src, r.I32(), r.I32(), r.Small(9), r.Small(9), key, mx, my); break;
      case 9: d.TileStretchDrawMask(dr, sr, src, mask, r.Small(30), r.Small(30), r.I32(), r.I32(), r.Small(5), r.Small(5), a, mx, my); break;
      case 10: d.PatternFill(dr, src, r.I32(), r.I32(), mx, my); break;
      case 11: d.PatternFillScaled(dr, src, r.I32(), r.I32(), r.I32(), r.I32(), a, key, mx, my); break;
      case 12: d.PatternFillScaledMask(dr, src, mask, r.I32(), r.I32(), r.Small(2000), r.Small(2000), a, mx, my); break;
      case 13: d.DrawIndexed(x, y, sr, idx, table, a, mx, my); break;
      case 14: d.StretchDrawIndexed(dr, sr, idx, table, a, mx, my); break;
      case 15: d.FillMask(x, y, sr, mask, uint32_t(r.I32()), a, mx, my); break;
      case 16: d.DrawGlyph(x, y, sr, glyph, r.Small(20), 7, a, mx, my); break;
      case 17: d.DrawGlyphColors(x, y, sr, glyph, r.Small(20), colours, a, mx, my); break;
      case 18: d.FrameRectAlpha(dr, r.Small(50), 9, a); break;
      default: d.AddClip(dr); break;
    }
  }
  std::vector<TCanvasPoint> pts;
  const int count = r.U8() % 12;
  for (int i = 0; i < count; ++i) pts.push_back(TCanvasPoint{r.Small(200), r.Small(200)});
  const TRegion poly = TRegion::FromPolygon(pts, (count & 1) ? TFillRule::Winding : TFillRule::Alternate);
  const TRegion pie = TRegion::FromPie(TRect{r.Small(50), r.Small(50), r.Small(100), r.Small(100)}, r.Small(7), r.Small(7));
  FillRegion(dst, poly.Combined(pie, TRegionOp::Xor), 1);
  (void)poly.Contains(r.Small(100), r.Small(100));
  return 0;
}

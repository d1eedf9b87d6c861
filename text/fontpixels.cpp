#include "text/fontpixels.h"

#include <algorithm>
#include <cmath>

#include "platform/font/freetype_font_service.h"

namespace kest {

// "ＭＳ ゴシック"
const char* const kDefaultFaceName = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";

int32_t QualityMaxLevel(int32_t quality) {
  switch (quality) {
    case 0: return 1;
    case 1: return 4;
    case 2: return 16;
    default: return 64;
  }
}

uint8_t LevelCoverage(int32_t quality, int32_t k) {
  if (k <= 0) return 0;
  switch (quality) {
    case 0: return 255;
    case 1: {
      static const uint8_t t[4] = {79, 127, 207, 255};
      return t[std::min(k, 4) - 1];
    }
    case 2: {
      k = std::min(k, 16);
      return uint8_t(12 * k + 31 + (k >= 8 ? 32 : 0));
    }
    default: {
      k = std::min(k, 64);
      return uint8_t(3 * k + 15 + (k >= 8 ? 16 : 0) + (k >= 24 ? 16 : 0) + (k >= 40 ? 16 : 0));
    }
  }
}

namespace {
TFontPixelManager* g_instance = nullptr;
}

TFontPixelManager& TFontPixelManager::Instance() {
  if (g_instance) return *g_instance;
  // The machine's cache lives for the whole process.
  static std::unique_ptr<IFontService> service = CreateFreeTypeFontService();
  static TFontPixelManager machine(*service);
  return machine;
}

void TFontPixelManager::SetInstance(TFontPixelManager* manager) { g_instance = manager; }

TFontPixelManager::TFontPixelManager(IFontService& fonts) : fonts_(fonts) {}
TFontPixelManager::~TFontPixelManager() = default;

bool TFontPixelManager::IsCached(uint16_t code, const std::string& face, uint8_t style, int32_t size,
                                 int32_t quality) const {
  for (auto it : buckets_[code & 0xFF]) {
    const TFontPixel& g = **it;
    if (g.Code == code && g.Size == size && g.Style == style && g.Quality == quality && g.Face == face) return true;
  }
  return false;
}

std::string TFontPixelManager::ResolveFace(const std::string& face) {
  // Exact name (letter case counts); anything else is drawn in the default face.
  if (!face.empty() && fonts_.HasFace(face)) return face;
  return kDefaultFaceName;
}

void TFontPixelManager::SelectFont(const std::string& face, int32_t size, uint8_t style) {
  if (font_ && face == fontFace_ && size == fontSize_ && style == fontStyle_) return;
  font_ = fonts_.OpenFace(ResolveFace(face), size, style);
  fontFace_ = face;
  fontSize_ = size;
  fontStyle_ = style;
}

TFontPixelPtr TFontPixelManager::GetGlyph(uint16_t code, const std::string& face, uint8_t style, int32_t size) {
  size = std::clamp(size, 1, kMaxFontSize);
  style &= 15;
  auto& bucket = buckets_[code & 0xFF];
  for (auto it : bucket) {
    TFontPixel& g = **it;
    if (g.Code == code && g.Size == size && g.Style == style && g.Quality == quality_ && g.Face == face) {
      mru_.splice(mru_.begin(), mru_, it);
      return *it;
    }
  }
  auto g = std::make_shared<TFontPixel>();
  g->Code = code;
  g->Face = face;
  g->Size = size;
  g->Style = style;
  g->Quality = quality_;
  Rasterise(*g);
  mru_.push_front(g);
  bucket.push_back(mru_.begin());
  if (mru_.size() > kCapacity) {
    auto last = std::prev(mru_.end());
    auto& b = buckets_[(*last)->Code & 0xFF];
    b.erase(std::find(b.begin(), b.end(), last));
    mru_.erase(last);  // holders of the glyph keep it alive
  }
  return g;
}

void TFontPixelManager::Rasterise(TFontPixel& g) {
  SelectFont(g.Face, g.Size, g.Style);
  if (!font_) return;  // no usable font on the machine: the glyph stays empty
  const TFontMetrics& m = font_->Metrics();
  TGlyphImage img;
  int32_t quality = g.Quality;
  bool ok = font_->RenderGlyph(g.Code, QualityMaxLevel(quality), img);
  if (!ok && quality > 0) {
    // A grey-level failure falls back to a 1-bit bitmap for this glyph only.
    quality = 0;
    ok = font_->RenderGlyph(g.Code, 1, img);
  }
  if (!ok) return;
  if (g.Style & FS_UNDERLINE) g.UnderlineThickness = std::max(0, m.UnderscoreSize);
  if (g.Style & FS_STRIKEOUT) {
    g.StrikeoutTop = m.Ascent - m.StrikeoutPosition;
    g.StrikeoutThickness = std::max(0, m.StrikeoutSize);
  }
  int32_t w = img.Width, h = img.Height;
  const int64_t have = int64_t(img.Levels.size());
  if (w > 0 && h > 0 && have > 0) {
    // The data decides the rows: more rows than the box enlarge it, fewer are cut off.
    if (have / w > h) h = int32_t(std::min<int64_t>(have / w, kMaxFontSize * 4));
    if (int64_t(w) * h > have) h = int32_t(have / w);
  }
  if (w <= 0 || h <= 0 || have == 0) {
    g.TrailingAdvance = font_->TextWidth(g.Code);
    return;
  }
  g.Image.SetSize(w, h, 8);
  TPixelView v;
  g.Image.View(v);
  uint8_t map[256];
  const int32_t maxLevel = QualityMaxLevel(quality);
  for (int k = 0; k < 256; ++k) map[k] = LevelCoverage(quality, std::min(k, maxLevel));
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = v.Row(y);
    const uint8_t* src = img.Levels.data() + int64_t(y) * w;
    for (int32_t x = 0; x < w; ++x) row[x] = map[src[x]];
  }
  g.LeftOffset = std::max(0, img.OriginX);
  g.TopOffset = std::max(0, m.Ascent - img.OriginY);
  g.TrailingAdvance = std::max(0, img.CellAdvance - w - g.LeftOffset);
}

TAbcWidths TFontPixelManager::AbcWidths(uint16_t code, const std::string& face, uint8_t style, int32_t size) {
  size = std::clamp(size, 1, kMaxFontSize);
  if (!measure_ || face != measureFace_ || size != measureSize_ || style != measureStyle_) {
    measure_ = fonts_.OpenFace(ResolveFace(face), size, style);
    measureFace_ = face;
    measureSize_ = size;
    measureStyle_ = style;
  }
  if (!measure_) return {};
  return measure_->AbcWidths(code);
}

// --- primitives ----------------------------------------------------------------------

namespace glyphops {
namespace {

struct Masks {
  uint32_t r, g, b;
  int bpp;
};

bool ColourMasks(int32_t bits, Masks& m) {
  switch (bits) {
    case 15: m = {0x7C00, 0x03E0, 0x001F, 2}; return true;
    case 16: m = {0xF800, 0x07E0, 0x001F, 2}; return true;
    case 32: m = {0xFF0000, 0x00FF00, 0x0000FF, 4}; return true;
    default: return false;
  }
}

inline uint32_t Load(const uint8_t* p, int bpp) {
  if (bpp == 2) return uint32_t(p[0]) | uint32_t(p[1]) << 8;
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void Store(uint8_t* p, int bpp, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  if (bpp == 4) {
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
  }
}
// (f * c + (255 - f) * old) / 256 in each channel; the 32-bit fourth byte stays.
inline uint32_t Mix(const Masks& m, uint32_t f, uint32_t c, uint32_t old) {
  auto ch = [&](uint32_t mask) {
    return uint32_t((uint64_t(f) * (c & mask) + uint64_t(255 - f) * (old & mask)) >> 8) & mask;
  };
  const uint32_t keep = m.bpp == 4 ? old & 0xFF000000u : 0;
  return ch(m.r) | ch(m.g) | ch(m.b) | keep;
}

// The part of the glyph at (x, y) that lies inside the surface's clip area.
bool Place(const TFontPixel& g, TCustomDIBX& s, int32_t x, int32_t y, TRect& r) {
  if (g.IsEmpty()) return false;
  r = IntersectRect(TRect{x, y, x + g.Image.Width(), y + g.Image.Height()}, s.ClipArea());
  return !r.IsEmpty();
}

bool CoverView(TCustomDIBX& s, TPixelView& v) { return s.View(v) && !v.IsEmpty() && v.BitCount == 8; }

template <class Op>
void ForColour(const TFontPixel& g, TCustomDIBX& colour, int32_t x, int32_t y, Op op) {
  TPixelView v, gv;
  Masks m;
  TRect r;
  if (!colour.View(v) || v.IsEmpty() || !ColourMasks(v.BitCount, m) || !Place(g, colour, x, y, r)) return;
  g.Image.View(gv);
  for (int32_t py = r.Top; py < r.Bottom; ++py) {
    const uint8_t* src = gv.Row(py - y) - x;
    uint8_t* dst = v.Row(py);
    for (int32_t px = r.Left; px < r.Right; ++px) {
      const uint32_t c = src[px];
      if (c == 0) continue;
      uint8_t* p = dst + int64_t(px) * m.bpp;
      Store(p, m.bpp, op(m, c, Load(p, m.bpp)));
    }
  }
}

template <class Op>
void ForCoverage(const TFontPixel& g, TCustomDIBX& coverage, int32_t x, int32_t y, Op op) {
  TPixelView v, gv;
  TRect r;
  if (!CoverView(coverage, v) || !Place(g, coverage, x, y, r)) return;
  g.Image.View(gv);
  for (int32_t py = r.Top; py < r.Bottom; ++py) {
    const uint8_t* src = gv.Row(py - y) - x;
    uint8_t* dst = v.Row(py);
    for (int32_t px = r.Left; px < r.Right; ++px)
      if (src[px]) dst[px] = op(src[px], dst[px]);
  }
}

}  // namespace

void DrawSolid(const TFontPixel& g, TCustomDIBX& colour, int32_t x, int32_t y, uint32_t c) {
  ForColour(g, colour, x, y, [c](const Masks&, uint32_t, uint32_t) { return c; });
}

void DrawTwoTone(const TFontPixel& g, TCustomDIBX& colour, int32_t x, int32_t y, uint32_t background, uint32_t c) {
  ForColour(g, colour, x, y, [&](const Masks& m, uint32_t cov, uint32_t old) {
    if (cov == 255) return c;
    auto ch = [&](uint32_t mask) {
      return uint32_t((uint64_t(cov) * (c & mask) + uint64_t(255 - cov) * (background & mask)) >> 8) & mask;
    };
    return ch(m.r) | ch(m.g) | ch(m.b) | (m.bpp == 4 ? old & 0xFF000000u : 0);
  });
}

void DrawOver(const TFontPixel& g, TCustomDIBX& colour, TCustomDIBX& coverage, int32_t x, int32_t y, uint32_t c) {
  TPixelView v, a, gv;
  Masks m;
  TRect r;
  if (!colour.View(v) || v.IsEmpty() || !ColourMasks(v.BitCount, m) || !CoverView(coverage, a)) return;
  if (!Place(g, colour, x, y, r)) return;
  r = IntersectRect(r, coverage.ClipArea());
  if (r.IsEmpty()) return;
  g.Image.View(gv);
  for (int32_t py = r.Top; py < r.Bottom; ++py) {
    const uint8_t* src = gv.Row(py - y) - x;
    uint8_t* dst = v.Row(py);
    uint8_t* cov = a.Row(py);
    for (int32_t px = r.Left; px < r.Right; ++px) {
      const uint32_t k = src[px];
      if (k == 0) continue;
      uint8_t* p = dst + int64_t(px) * m.bpp;
      if (k == 255) {
        Store(p, m.bpp, c);
        cov[px] = 255;
        continue;
      }
      const uint32_t old = cov[px];
      const uint32_t na = old + k * (255 - old) / 255;
      const uint32_t f = na == 0 ? 255 : k * 255 / na;
      cov[px] = uint8_t(na);
      Store(p, m.bpp, Mix(m, f, c, Load(p, m.bpp)));
    }
  }
}

void DrawBorder(const TFontPixel& g, TCustomDIBX& colour, TCustomDIBX& coverage, uint32_t c, int32_t width, int32_t x,
                int32_t y) {
  width = std::clamp(width, 0, kMaxBorderWidth);
  for (int32_t j = -width; j <= width; ++j)
    for (int32_t i = -width; i <= width; ++i)
      if (i != 0 || j != 0) DrawOver(g, colour, coverage, x + i, y + j, c);
}

void MaskUnion(const TFontPixel& g, TCustomDIBX& coverage, int32_t x, int32_t y) {
  ForCoverage(g, coverage, x, y, [](uint8_t, uint8_t) { return uint8_t(255); });
}

void MaskMax(const TFontPixel& g, TCustomDIBX& coverage, int32_t x, int32_t y) {
  ForCoverage(g, coverage, x, y, [](uint8_t c, uint8_t a) { return std::max(c, a); });
}

void MaskCopy(const TFontPixel& g, TCustomDIBX& coverage, int32_t x, int32_t y) {
  ForCoverage(g, coverage, x, y, [](uint8_t c, uint8_t) { return c; });
}

void FillBand(TCustomDIBX& colour, TCustomDIBX& coverage, const TRect& r, uint32_t c) {
  if (r.IsEmpty()) return;
  TPixelView v;
  Masks m;
  if (colour.View(v) && !v.IsEmpty() && ColourMasks(v.BitCount, m)) colour.FillRect(r, c);
  if (CoverView(coverage, v)) coverage.FillRect(r, 255);
}

}  // namespace glyphops

// --- DrawChar ------------------------------------------------------------------------

namespace {
TRect Union(const TRect& a, const TRect& b) {
  if (a.IsEmpty()) return b;
  if (b.IsEmpty()) return a;
  return TRect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
               std::max(a.Bottom, b.Bottom)};
}

// n / d to the nearest integer, halves to even (d > 0).
int64_t RoundDivEven(int64_t n, int64_t d) {
  if (d < 0) n = -n, d = -d;
  int64_t q = n / d, r = n % d;
  if (r < 0) r += d, --q;  // floor division
  const int64_t twice = 2 * r;
  if (twice > d || (twice == d && (q & 1))) ++q;
  return q;
}
}  // namespace

TRect TFontPixelManager::DrawChar(const TFontPixel& g, TCustomDIBX& colour, TCustomDIBX& coverage, const TRect& cell,
                                  uint32_t shadowColor, uint32_t borderColor, uint32_t textColor, bool joinsNext,
                                  bool joinsPrev, int32_t shadowWidth, int32_t borderWidth) {
  using namespace glyphops;
  if (g.IsEmpty()) return {};
  const int32_t b = std::clamp(borderWidth, 0, kMaxBorderWidth);
  const int32_t d = std::clamp(shadowWidth, 0, kMaxBorderWidth);
  const int32_t iw = g.Image.Width(), ih = g.Image.Height();
  const int32_t W = cell.Width(), H = cell.Height();

  // Horizontal placement: a glyph narrower than its cell is centred the way its A, B and C
  // widths say.
  int32_t s = 0;
  const int32_t extra = std::min(W, g.Size) - iw;
  if (g.LeftOffset + g.TrailingAdvance < extra) {
    const TAbcWidths abc = AbcWidths(g.Code, g.Face, g.Style, g.Size);
    const int64_t total = int64_t(abc.A) + abc.B + abc.C;
    if (abc.A + abc.C != 0 && total != 0)
      s = int32_t(RoundDivEven((int64_t(abc.A) + abc.B / 2) * extra, total));
    else
      s = extra / 2;
    s = std::max(0, s - g.LeftOffset);
  }
  const int32_t L = cell.Left + g.LeftOffset + s, T = cell.Top + g.TopOffset;
  TRect result{L, T, L + iw + 2 * b + d, T + ih + 2 * b + d};
  auto band = [&](int32_t left, int32_t top, int32_t right, int32_t height, uint32_t c) {
    const TRect r{left, top, right, top + height};
    if (r.IsEmpty()) return;
    FillBand(colour, coverage, r, c);
    result = Union(result, r);
  };
  const bool under = (g.Style & FS_UNDERLINE) && g.UnderlineThickness > 0;
  const bool strike = (g.Style & FS_STRIKEOUT) && g.StrikeoutThickness > 0;

  if (b == 0 && d == 0) {
    DrawSolid(g, colour, L, T, textColor);
    MaskMax(g, coverage, L, T);
    // The bands are filled in the text colour as well, so whoever draws from the colour
    // surface alone sees them right.
    if (under) band(cell.Left, cell.Bottom - g.UnderlineThickness, cell.Right, g.UnderlineThickness, textColor);
    if (strike) band(cell.Left, cell.Top + g.StrikeoutTop, cell.Right, g.StrikeoutThickness, textColor);
    return result;
  }
  if (d > 0) {
    const int32_t left = cell.Left + (joinsPrev ? 0 : d);
    if (under) {
      const int32_t h = 2 * b + g.UnderlineThickness;
      band(left, cell.Top + H - h, cell.Right, h, shadowColor);
    }
    if (b == 0) {
      MaskCopy(g, coverage, L + d, T + d);
      DrawSolid(g, colour, L + d, T + d, shadowColor);
    } else {
      DrawBorder(g, colour, coverage, shadowColor, b, L + b + d, T + b + d);
    }
    if (strike) band(left, cell.Top + d + g.StrikeoutTop, cell.Right, 2 * b + g.StrikeoutThickness, shadowColor);
  }
  const int32_t X = L + b, Y = T + b;
  const int32_t right = cell.Right - (joinsNext ? 0 : d);
  if (under) {
    const int32_t top = cell.Top + H - d - b - g.UnderlineThickness;
    band(cell.Left, top, right, g.UnderlineThickness, textColor);
    if (b > 0) {
      band(cell.Left, top - b, right, b, borderColor);
      band(cell.Left, top + g.UnderlineThickness, right, b, borderColor);
    }
  }
  if (b == 0) {
    DrawOver(g, colour, coverage, X, Y, textColor);
  } else {
    DrawBorder(g, colour, coverage, borderColor, b, X, Y);
    MaskUnion(g, coverage, X, Y);
    DrawTwoTone(g, colour, X, Y, borderColor, textColor);
  }
  if (strike) {
    const int32_t top = cell.Top + b + g.StrikeoutTop;
    band(cell.Left, top, right, g.StrikeoutThickness, textColor);
    if (b > 0) {
      band(cell.Left, top - b, right, b, borderColor);
      band(cell.Left, top + g.StrikeoutThickness, right, b, borderColor);
    }
  }
  (void)W;
  return result;
}

}  // namespace kest

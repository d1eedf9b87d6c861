// The drawing surface: clipping, fills, positioned blits, stretching, rotation, tiles,
// patterns, indexed and glyph blits, mask fills, pictures in and out.
#include "gfx/dibx.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "gfx/dibx_kernels.h"
#include "gfx/gfxerrors.h"
#include "gfx/piccodecs.h"
#include "gfx/zarns.h"
#include "vfs/streams.h"

namespace kest {

using dibx::Kernels;
using dibx::LayoutOf;
using dibx::TKernels;

std::array<uint16_t, 256> GreyPixel16;
std::array<uint32_t, 256> GreyPixel32;

void BuildGreyTables(int32_t screenBitCount) {
  for (uint32_t g = 0; g < 256; ++g) {
    GreyPixel16[g] = screenBitCount == 15 ? uint16_t(((g >> 3) << 10) | ((g >> 3) << 5) | (g >> 3))
                                          : uint16_t(((g >> 3) << 11) | ((g >> 2) << 5) | (g >> 3));
    GreyPixel32[g] = (g << 16) | (g << 8) | g;
  }
}

namespace {

// The tables exist from the start, in the 5-6-5 layout the picture panel first builds.
const bool kGreyTablesBuilt = (BuildGreyTables(16), true);

constexpr int32_t kMaxGlyphFactor = 16;

int32_t Clamp255(int32_t a) { return a < 0 ? 0 : (a > 255 ? 255 : a); }

// Floor division and modulo with a positive divisor.
int64_t FloorMod(int64_t a, int64_t m) {
  const int64_t r = a % m;
  return r < 0 ? r + m : r;
}

// Scratch rows reused by every operation (drawing happens in one thread).
struct TScratch {
  std::vector<uint8_t> a, b, c;
  std::vector<int32_t> cols;
};
TScratch& Scratch() {
  static thread_local TScratch s;
  return s;
}
uint8_t* Grow(std::vector<uint8_t>& v, size_t n) {
  if (v.size() < n) v.resize(n);
  return v.data();
}

// Copies n pixels of bpp bytes from s to d in reverse order.
void ReverseCopy(uint8_t* d, const uint8_t* s, int32_t n, int32_t bpp) {
  const uint8_t* p = s + int64_t(n - 1) * bpp;
  switch (bpp) {
    case 1:
      for (int32_t i = 0; i < n; ++i) d[i] = p[-i];
      break;
    case 4:
      for (int32_t i = 0; i < n; ++i) std::memcpy(d + 4 * i, p - 4 * i, 4);
      break;
    default:
      for (int32_t i = 0; i < n; ++i) std::memcpy(d + int64_t(i) * bpp, p - int64_t(i) * bpp, size_t(bpp));
  }
}

// Gathers pixels cols[0..n) of row s.
void Gather(uint8_t* d, const uint8_t* s, const int32_t* cols, int32_t n, int32_t bpp) {
  switch (bpp) {
    case 1:
      for (int32_t i = 0; i < n; ++i) d[i] = s[cols[i]];
      break;
    case 2:
      for (int32_t i = 0; i < n; ++i) std::memcpy(d + 2 * i, s + 2 * int64_t(cols[i]), 2);
      break;
    case 3:
      for (int32_t i = 0; i < n; ++i) std::memcpy(d + 3 * i, s + 3 * int64_t(cols[i]), 3);
      break;
    default:
      for (int32_t i = 0; i < n; ++i) std::memcpy(d + 4 * i, s + 4 * int64_t(cols[i]), 4);
  }
}

uint32_t LoadPixel(const uint8_t* p, int32_t bpp) {
  uint32_t v = 0;
  std::memcpy(&v, p, size_t(bpp));
  return v;
}
void StorePixel(uint8_t* p, int32_t bpp, uint32_t v) { std::memcpy(p, &v, size_t(bpp)); }

// Channel layout for the few operations without row loops of their own (glyphs, layout
// conversion).
struct TChannels {
  int n;
  int sh[3];
  uint32_t mx[3];
  uint32_t colour, keep;
};
TChannels ChannelsOf(int32_t bitCount) {
  switch (bitCount) {
    case 15: return {3, {10, 5, 0}, {31, 31, 31}, 0x7FFF, 0x8000};
    case 16: return {3, {11, 5, 0}, {31, 63, 31}, 0xFFFF, 0};
    case 24: return {3, {16, 8, 0}, {255, 255, 255}, 0xFFFFFF, 0};
    case 32: return {3, {16, 8, 0}, {255, 255, 255}, 0xFFFFFF, 0xFF000000};
    default: return {1, {0, 0, 0}, {255, 0, 0}, 0xFF, 0};
  }
}

bool SameLayout(const TPixelView& a, const TPixelView& b) { return a.BitCount == b.BitCount; }

// A source that shares its pixels with the destination is read from a copy, so that
// overlapping rows are never read after they were written.
struct TStableSource {
  std::vector<uint8_t> copy;
  void Fix(const TPixelView& d, TPixelView& s) {
    if (s.Bits != d.Bits) return;
    const size_t row = size_t(s.Width) * size_t(s.BytesPerPixel());
    copy.resize(row * size_t(s.Height));
    for (int32_t y = 0; y < s.Height; ++y) std::memcpy(copy.data() + row * size_t(y), s.Row(y), row);
    s.Bits = copy.data();
    s.Pitch = int32_t(row);
  }
};

// --- positioned plans -----------------------------------------------------------------

// Where a positioned blit lands: destination (x, y, w, h) and the source rectangle it
// reads (already cut to the source and the clip, mirror-aware).
struct TPlan {
  int32_t x, y, w, h;
  TRect src;
};

// Cuts srcRect to bounds (moving x, y by what the cut removes from the picture's near side)
// and then the destination to clip (removing source columns from the mirrored side).
bool PlanBlit(const TRect& clip, int32_t x, int32_t y, TRect s, const TRect& bounds, bool mx, bool my, TPlan& p) {
  int64_t X = x, Y = y;
  int64_t sl = s.Left, st = s.Top, sr = s.Right, sb = s.Bottom;
  if (sl < bounds.Left) {
    if (!mx) X += bounds.Left - sl;
    sl = bounds.Left;
  }
  if (sr > bounds.Right) {
    if (mx) X += sr - bounds.Right;
    sr = bounds.Right;
  }
  if (st < bounds.Top) {
    if (!my) Y += bounds.Top - st;
    st = bounds.Top;
  }
  if (sb > bounds.Bottom) {
    if (my) Y += sb - bounds.Bottom;
    sb = bounds.Bottom;
  }
  if (sr <= sl || sb <= st) return false;
  int64_t dl = X, dt = Y, dr = X + (sr - sl), db = Y + (sb - st);
  if (dl < clip.Left) {
    const int64_t c = clip.Left - dl;
    dl += c;
    if (!mx) sl += c; else sr -= c;
  }
  if (dr > clip.Right) {
    const int64_t c = dr - clip.Right;
    dr -= c;
    if (!mx) sr -= c; else sl += c;
  }
  if (dt < clip.Top) {
    const int64_t c = clip.Top - dt;
    dt += c;
    if (!my) st += c; else sb -= c;
  }
  if (db > clip.Bottom) {
    const int64_t c = db - clip.Bottom;
    db -= c;
    if (!my) sb -= c; else st += c;
  }
  if (dr <= dl || db <= dt) return false;
  p = TPlan{int32_t(dl), int32_t(dt), int32_t(dr - dl), int32_t(db - dt),
            TRect{int32_t(sl), int32_t(st), int32_t(sr), int32_t(sb)}};
  return true;
}

// Runs fn(dstRow, srcRow, maskRow, n) for every row of a positioned blit; source (and mask)
// rows arrive left to right in the order they are to be drawn.
template <class Fn>
void RunPlan(const TPixelView& d, const TPlan& p, const TPixelView* s, const TPixelView* m, bool mx, bool my,
             Fn fn) {
  TScratch& sc = Scratch();
  const int32_t bpp = d.BytesPerPixel();
  uint8_t* srev = (s && mx) ? Grow(sc.a, size_t(p.w) * size_t(bpp)) : nullptr;
  uint8_t* mrev = (m && mx) ? Grow(sc.b, size_t(p.w)) : nullptr;
  for (int32_t j = 0; j < p.h; ++j) {
    const int32_t sy = my ? p.src.Bottom - 1 - j : p.src.Top + j;
    const uint8_t* srow = nullptr;
    const uint8_t* mrow = nullptr;
    if (s) {
      srow = s->At(p.src.Left, sy);
      if (mx) ReverseCopy(srev, srow, p.w, bpp), srow = srev;
    }
    if (m) {
      mrow = m->At(p.src.Left, sy);
      if (mx) ReverseCopy(mrev, mrow, p.w, 1), mrow = mrev;
    }
    fn(d.At(p.x, p.y + j), srow, mrow, p.w);
  }
}

// --- stretching ---------------------------------------------------------------------------

// The source column (or row) of each destination column (or row) of a stretch: stepping
// in 16.16 fixed point from the start the clip cut leaves; -1 where it falls outside lim.
// Answers false when nothing is drawn.
struct TStretchAxis {
  int32_t first = 0, count = 0;  // destination start and length after the clip
};
bool StretchAxis(int32_t dLo, int32_t dHi, int32_t sLo, int32_t sHi, int32_t cLo, int32_t cHi, bool mirror,
                 int32_t limLo, int32_t limHi, std::vector<int32_t>& map, TStretchAxis& ax) {
  const int64_t dw = int64_t(dHi) - dLo, sw = int64_t(sHi) - sLo;
  if (dw <= 0 || sw <= 0) return false;
  const int64_t lo = std::max<int64_t>(dLo, cLo), hi = std::min<int64_t>(dHi, cHi);
  if (hi <= lo) return false;
  const double step = double(sw) / double(dw);
  const int64_t cut = lo - dLo;
  const double adv = double(cut) * step;
  if (adv >= double(sw)) return false;  // the clip cuts away the whole source
  const double whole = std::trunc(adv);
  const int64_t start = int64_t(whole) * 65536 + int64_t((adv - whole) * 65536.0);
  const int64_t stepFx = int64_t(step * 65536.0);
  map.resize(size_t(hi - lo));
  for (int64_t i = 0; i < hi - lo; ++i) {
    int64_t off = (start + i * stepFx) >> 16;
    if (off >= sw) off = sw - 1;  // rounding at the far edge never leaves the rectangle
    const int64_t c = mirror ? sHi - 1 - off : sLo + off;
    map[size_t(i)] = (c < limLo || c >= limHi) ? -1 : int32_t(c);
  }
  ax.first = int32_t(lo);
  ax.count = int32_t(hi - lo);
  return true;
}

// Calls fn(dstPtr, srcRow, cols, n) for every run of valid columns of every valid row.
template <class Fn>
void RunStretch(const TPixelView& d, const TRect& clip, const TRect& dr, const TRect& sr, const TRect& lim, bool mx,
                bool my, Fn fn) {
  TScratch& sc = Scratch();
  std::vector<int32_t> rows;
  TStretchAxis ax, ay;
  if (!StretchAxis(dr.Left, dr.Right, sr.Left, sr.Right, clip.Left, clip.Right, mx, lim.Left, lim.Right, sc.cols,
                   ax))
    return;
  if (!StretchAxis(dr.Top, dr.Bottom, sr.Top, sr.Bottom, clip.Top, clip.Bottom, my, lim.Top, lim.Bottom, rows, ay))
    return;
  // Valid columns form one run (the map is monotonic).
  int32_t i0 = 0, i1 = ax.count;
  while (i0 < i1 && sc.cols[size_t(i0)] < 0) ++i0;
  while (i1 > i0 && sc.cols[size_t(i1 - 1)] < 0) --i1;
  if (i0 >= i1) return;
  for (int32_t j = 0; j < ay.count; ++j) {
    const int32_t syy = rows[size_t(j)];
    if (syy < 0) continue;
    fn(d.At(ax.first + i0, ay.first + j), syy, sc.cols.data() + i0, i1 - i0, j);
  }
}

// --- rotation -----------------------------------------------------------------------------

struct TRotation {
  TRect box;                                  // destination pixels to visit
  int64_t u0, v0;                             // 16.16 source position of box's top-left pixel
  int64_t duCol, dvCol, duRow, dvRow;         // 16.16 steps per column and row
};

bool PlanRotation(const TRect& clip, int32_t x, int32_t y, const TRect& srcRect, int32_t angle, int32_t px,
                  int32_t py, int32_t scaleX, int32_t scaleY, TRotation& r) {
  if (scaleX <= 0 || scaleY <= 0 || srcRect.IsEmpty()) return false;
  const double th = double(angle) * 2.0 * std::numbers::pi / 256.0;
  const double sx = scaleX / 256.0, sy = scaleY / 256.0;
  const double c = std::cos(-th), s = std::sin(-th);
  r.duCol = int64_t(c / sx * 65536.0);
  r.dvCol = int64_t(s / sy * 65536.0);
  r.duRow = int64_t(-s / sx * 65536.0);
  r.dvRow = int64_t(c / sy * 65536.0);
  const double w = srcRect.Width(), h = srcRect.Height();
  const double xs[2] = {-px * sx, w * sx - px * sx - 1}, ys[2] = {-py * sy, h * sy - py * sy - 1};
  const double ct = std::cos(th), st = std::sin(th);
  double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
  for (double cx : xs)
    for (double cy : ys) {
      const double X = cx * ct - cy * st + x, Y = cx * st + cy * ct + y;
      minX = std::min(minX, X), maxX = std::max(maxX, X), minY = std::min(minY, Y), maxY = std::max(maxY, Y);
    }
  constexpr double kLim = 1 << 30;
  if (!(minX > -kLim && maxX < kLim && minY > -kLim && maxY < kLim)) return false;
  TRect box{int32_t(std::trunc(minX)), int32_t(std::trunc(minY)), int32_t(std::trunc(maxX)) + 1,
            int32_t(std::trunc(maxY)) + 1};
  box = IntersectRect(box, clip);
  if (box.IsEmpty()) return false;
  r.box = box;
  const int64_t dx = box.Left - int64_t(x), dy = box.Top - int64_t(y);
  r.u0 = int64_t(px) * 65536 + dx * r.duCol + dy * r.duRow;
  r.v0 = int64_t(py) * 65536 + dx * r.dvCol + dy * r.dvRow;
  return true;
}

// For every destination row, gathers the source pixels (and mask bytes) of the runs that
// fall inside lim, and calls fn(dstPtr, pixels, maskBytes, n) per run.
template <int B, class Fn>
void RunRotationB(const TPixelView& d, const TRotation& r, const TPixelView& s, const TPixelView* m,
                  const TRect& lim, const TRect& srcRect, bool mx, bool my, Fn& fn) {
  TScratch& sc = Scratch();
  const int32_t w = r.box.Width();
  uint8_t* px = Grow(sc.a, size_t(w) * B);
  uint8_t* mk = m ? Grow(sc.b, size_t(w)) : nullptr;
  const int64_t L = lim.Left, R = lim.Right, T = lim.Top, Bt = lim.Bottom;
  const int64_t mirrorU = int64_t(srcRect.Left) + srcRect.Right - 1, mirrorV = int64_t(srcRect.Top) + srcRect.Bottom - 1;
  const uint8_t* sBits = s.Bits;
  const int64_t sPitch = s.Pitch;
  const uint8_t* mBits = m ? m->Bits : nullptr;
  const int64_t mPitch = m ? m->Pitch : 0;
  for (int32_t j = 0; j < r.box.Height(); ++j) {
    int64_t U = r.u0 + j * r.duRow, V = r.v0 + j * r.dvRow;
    uint8_t* drow = d.At(r.box.Left, r.box.Top + j);
    int32_t run = -1;
    for (int32_t i = 0; i < w; ++i, U += r.duCol, V += r.dvCol) {
      int64_t u = U >> 16, v = V >> 16;
      if (mx) u = mirrorU - u;
      if (my) v = mirrorV - v;
      if (u >= L && u < R && v >= T && v < Bt) {
        if (run < 0) run = i;
        std::memcpy(px + int64_t(i) * B, sBits + v * sPitch + u * B, B);
        if (mk) mk[i] = mBits[v * mPitch + u];
      } else if (run >= 0) {
        fn(drow + int64_t(run) * B, px + int64_t(run) * B, mk ? mk + run : nullptr, i - run);
        run = -1;
      }
    }
    if (run >= 0) fn(drow + int64_t(run) * B, px + int64_t(run) * B, mk ? mk + run : nullptr, w - run);
  }
}

template <class Fn>
void RunRotation(const TPixelView& d, const TRotation& r, const TPixelView& s, const TPixelView* m,
                 const TRect& lim, const TRect& srcRect, bool mx, bool my, Fn fn) {
  switch (d.BytesPerPixel()) {
    case 1: return RunRotationB<1>(d, r, s, m, lim, srcRect, mx, my, fn);
    case 2: return RunRotationB<2>(d, r, s, m, lim, srcRect, mx, my, fn);
    case 3: return RunRotationB<3>(d, r, s, m, lim, srcRect, mx, my, fn);
    default: return RunRotationB<4>(d, r, s, m, lim, srcRect, mx, my, fn);
  }
}

// The source (and mask) rectangle a blit may read: the rectangle cut to the source and
// to the mask.
TRect ReadableRect(const TRect& srcRect, const TPixelView& s, const TPixelView* m) {
  TRect r = IntersectRect(srcRect, TRect{0, 0, s.Width, s.Height});
  if (m) r = IntersectRect(r, TRect{0, 0, m->Width, m->Height});
  return r;
}

// The row loop of a source blend mode chosen by an alpha parameter with two meanings.
enum class TMode { None, Copy, Alpha, Add };
TMode ModeOf(int32_t alpha, int32_t& amount) {
  if (alpha <= 0 || alpha >= 512) return TMode::None;
  if (alpha == 255) return TMode::Copy;
  if (alpha < 255) return amount = alpha, TMode::Alpha;
  amount = alpha - 256;
  return amount == 0 ? TMode::None : TMode::Add;
}

bool IsBmpPath(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".bmp";
}

}  // namespace

// ===========================================================================================
// TCustomDIBX: storage helpers

TCustomDIBX::TCustomDIBX() = default;
TCustomDIBX::~TCustomDIBX() = default;

void TCustomDIBX::SetBitCount(int32_t) {}

uint32_t TCustomDIBX::RedMask() const {
  switch (BitCount()) {
    case 15: return 0x7C00;
    case 16: return 0xF800;
    case 24:
    case 32: return 0xFF0000;
    default: return 0;
  }
}
uint32_t TCustomDIBX::GreenMask() const {
  switch (BitCount()) {
    case 15: return 0x03E0;
    case 16: return 0x07E0;
    case 24:
    case 32: return 0x00FF00;
    default: return 0;
  }
}
uint32_t TCustomDIBX::BlueMask() const {
  switch (BitCount()) {
    case 15:
    case 16: return 0x001F;
    case 24:
    case 32: return 0x0000FF;
    default: return 0;
  }
}
int32_t TCustomDIBX::GreenShift() const {
  const int32_t b = BitCount();
  return b == 15 || b == 16 ? 5 : (b >= 24 ? 8 : 0);
}
int32_t TCustomDIBX::RedShift() const {
  switch (BitCount()) {
    case 15: return 10;
    case 16: return 11;
    case 24:
    case 32: return 16;
    default: return 0;
  }
}

int32_t TCustomDIBX::Pitch() const {
  TPixelView v;
  return View(v) ? v.Pitch : 0;
}

uint32_t TCustomDIBX::GetPixel(int32_t x, int32_t y) const {
  TPixelView v;
  if (!View(v) || x < 0 || y < 0 || x >= v.Width || y >= v.Height) return 0;
  return LoadPixel(v.At(x, y), v.BytesPerPixel());
}

void TCustomDIBX::SetPixel(int32_t x, int32_t y, uint32_t value) {
  TPixelView v;
  if (!View(v) || x < 0 || y < 0 || x >= v.Width || y >= v.Height) return;
  StorePixel(v.At(x, y), v.BytesPerPixel(), value);
}

uint8_t* TCustomDIBX::Lock(int32_t x, int32_t y) {
  TPixelView v;
  if (!View(v) || x < 0 || y < 0 || x >= v.Width || y >= v.Height) return nullptr;
  return v.At(x, y);
}

// --- clipping and colours ---------------------------------------------------------------

void TCustomDIBX::ResetClip() { ClipRect = TRect{}; }

void TCustomDIBX::AddClip(const TRect& r) {
  const TRect c = IntersectRect(r, BoundsRect());
  if (c.IsEmpty()) return;
  if (ClipRect.Right == 0) {
    ClipRect = c;
  } else {
    ClipRect = TRect{std::min(ClipRect.Left, c.Left), std::min(ClipRect.Top, c.Top),
                     std::max(ClipRect.Right, c.Right), std::max(ClipRect.Bottom, c.Bottom)};
  }
}

TRect TCustomDIBX::ClipArea() const {
  if (ClipRect.Right == 0) return BoundsRect();
  return IntersectRect(ClipRect, BoundsRect());
}

// The top bits of each 8-bit channel go into the channel's field. The 24-bit layout maps
// like the 32-bit one (its pixel value is 0x00RRGGBB as well); 8-bit surfaces take the
// value as an index unchanged.
uint32_t TCustomDIBX::MapColor(TColorRef c) const {
  if (c == -1) return uint32_t(-1);
  const uint32_t r = ColorRefR(c), g = ColorRefG(c), b = ColorRefB(c);
  switch (BitCount()) {
    case 15: return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
    case 16: return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    case 24:
    case 32: return (r << 16) | (g << 8) | b;
    default: return uint32_t(c);
  }
}

bool TCustomDIBX::DestView(TPixelView& v, TRect& clip) {
  if (!View(v) || v.IsEmpty() || LayoutOf(v.BitCount) < 0) return false;
  clip = ClipArea();
  return !clip.IsEmpty();
}

// --- fills --------------------------------------------------------------------------------

void TCustomDIBX::Clear(uint32_t value) { FillRect(BoundsRect(), value); }

namespace {
template <class Fn>
void ForFillRows(const TPixelView& v, const TRect& r, Fn fn) {
  for (int32_t y = r.Top; y < r.Bottom; ++y) fn(v.At(r.Left, y), r.Width());
}
}  // namespace

void TCustomDIBX::FillRect(const TRect& r, uint32_t value) {
  TPixelView v;
  TRect clip;
  if (!DestView(v, clip)) return;
  const TRect c = IntersectRect(r, clip);
  if (c.IsEmpty()) return;
  const TKernels& k = Kernels(LayoutOf(v.BitCount));
  ForFillRows(v, c, [&](uint8_t* d, int32_t n) { k.Fill(d, n, value); });
}

void TCustomDIBX::FillRectAlpha(const TRect& r, uint32_t value, int32_t alpha) {
  alpha = Clamp255(alpha);
  if (alpha == 0) return;
  TPixelView v;
  TRect clip;
  if (!DestView(v, clip)) return;
  const TRect c = IntersectRect(r, clip);
  if (c.IsEmpty()) return;
  const TKernels& k = Kernels(LayoutOf(v.BitCount));
  ForFillRows(v, c, [&](uint8_t* d, int32_t n) { k.FillAlpha(d, n, value, uint32_t(alpha)); });
}

void TCustomDIBX::FillRectAdd(const TRect& r, uint32_t value) {
  TPixelView v;
  TRect clip;
  if (!DestView(v, clip)) return;
  const TRect c = IntersectRect(r, clip);
  if (c.IsEmpty()) return;
  const TKernels& k = Kernels(LayoutOf(v.BitCount));
  ForFillRows(v, c, [&](uint8_t* d, int32_t n) { k.FillAdd(d, n, value); });
}

void TCustomDIBX::FillRectSub(const TRect& r, uint32_t value) {
  TPixelView v;
  TRect clip;
  if (!DestView(v, clip)) return;
  const TRect c = IntersectRect(r, clip);
  if (c.IsEmpty()) return;
  const TKernels& k = Kernels(LayoutOf(v.BitCount));
  ForFillRows(v, c, [&](uint8_t* d, int32_t n) { k.FillSub(d, n, value); });
}

namespace {
// The four bands of an outline; they never overlap, so blending outlines touch every
// pixel once even when the thickness exceeds half the rectangle.
template <class Fn>
void FrameBands(const TRect& r, int32_t t, Fn fn) {
  if (t <= 0 || r.IsEmpty()) return;
  const int32_t th = std::min(t, r.Height()), tw = std::min(t, r.Width());
  const int32_t innerTop = r.Top + th, innerBottom = std::max(innerTop, r.Bottom - t);
  fn(TRect{r.Left, r.Top, r.Right, innerTop});
  if (innerBottom < r.Bottom) fn(TRect{r.Left, innerBottom, r.Right, r.Bottom});
  if (innerBottom > innerTop) {
    const int32_t innerLeft = r.Left + tw, innerRight = std::max(innerLeft, r.Right - t);
    fn(TRect{r.Left, innerTop, innerLeft, innerBottom});
    if (innerRight < r.Right) fn(TRect{innerRight, innerTop, r.Right, innerBottom});
  }
}
}  // namespace

void TCustomDIBX::FrameRect(const TRect& r, int32_t t, uint32_t value) {
  FrameBands(r, t, [&](const TRect& b) { FillRect(b, value); });
}
void TCustomDIBX::FrameRectAlpha(const TRect& r, int32_t t, uint32_t value, int32_t alpha) {
  if (alpha <= 0) return;
  FrameBands(r, t, [&](const TRect& b) { FillRectAlpha(b, value, alpha); });
}
void TCustomDIBX::FrameRectAdd(const TRect& r, int32_t t, uint32_t value) {
  FrameBands(r, t, [&](const TRect& b) { FillRectAdd(b, value); });
}

// --- positioned blits --------------------------------------------------------------------

void TCustomDIBX::Assign(const TCustomDIBX& src) {
  TPixelView d, s;
  TRect clip;
  if (&src == this || !src.View(s) || s.IsEmpty() || !DestView(d, clip)) return;
  if (SameLayout(d, s)) return Draw(0, 0, src.BoundsRect(), src, false);
  // Layouts differ: the colours are carried over pixel by pixel.
  TDIBSurface tmp = src.ToImage();
  TDIBX conv(tmp.Width(), tmp.Height(), d.BitCount);
  conv.FromImage(tmp);
  Draw(0, 0, conv.BoundsRect(), conv, false);
}

void TCustomDIBX::Draw(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, bool key, bool mx,
                       bool my) {
  TPixelView d, s;
  TRect clip;
  if (!DestView(d, clip) || !src.View(s) || !SameLayout(d, s)) return;
  TStableSource stable;
  stable.Fix(d, s);
  TPlan p;
  if (!PlanBlit(clip, x, y, srcRect, TRect{0, 0, s.Width, s.Height}, mx, my, p)) return;
  const int32_t bpp = d.BytesPerPixel();
  if (key && src.TransparentColor != -1) {
    const TKernels& k = Kernels(LayoutOf(d.BitCount));
    const uint32_t kv = uint32_t(src.TransparentColor);
    RunPlan(d, p, &s, nullptr, mx, my, [&](uint8_t* dr, const uint8_t* sr, const uint8_t*, int32_t n) {
      k.CopyKey(dr, sr, n, kv);
    });
  } else {
    RunPlan(d, p, &s, nullptr, mx, my, [&](uint8_t* dr, const uint8_t* sr, const uint8_t*, int32_t n) {
      std::memmove(dr, sr, size_t(n) * size_t(bpp));
    });
  }
}

void TCustomDIBX::DrawMask(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src,
                           const TCustomDIBX& mask, bool mx, bool my) {
  TPixelView d, s, m;
  TRect clip;
  if (!DestView(d, clip) || !src.View(s) || !SameLayout(d, s) || !mask.View(m) || m.BitCount != 8) return;
  TStableSource stable;
  stable.Fix(d, s);
  TPlan p;
  if (!PlanBlit(clip, x, y, srcRect, ReadableRect(TRect{0, 0, s.Width, s.Height}, s, &m), mx, my, p)) return;
  const TKernels& k = Kernels(LayoutOf(d.BitCount));
  RunPlan(d, p, &s, &m, mx, my,
          [&](uint8_t* dr, const uint8_t* sr, const uint8_t* mr, int32_t n) { k.Mask(dr, sr, mr, n); });
}

void TCustomDIBX::DrawAlpha(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, int32_t alpha,
                            bool key, bool mx, bool my) {
  alpha = Clamp255(alpha);
  if (alpha == 0) return;
  TPixelView d, s;
  TRect clip;
  if (!DestView(d, clip) || !src.View(s) || !SameLayout(d, s)) return;
  TStableSource stable;
  stable.Fix(d, s);
  TPlan p;
  if (!PlanBlit(clip, x, y, srcRect, TRect{0, 0, s.Width, s.Height}, mx, my, p)) return;
  const TKernels& k = Kernels(LayoutOf(d.BitCount));
  const bool keyed = key && src.TransparentColor != -1;
  const uint32_t kv = uint32_t(src.TransparentColor);
  RunPlan(d, p, &s, nullptr, mx, my, [&](uint8_t* dr, const uint8_t* sr, const uint8_t*, int32_t n) {
    k.Alpha(dr, sr, n, uint32_t(alpha), keyed, kv);
  });
}

void TCustomDIBX::DrawMaskAlpha(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src,
                                const TCustomDIBX& mask, int32_t alpha, bool mx, bool my) {
  alpha = Clamp255(alpha);
  if (alpha == 0) return;
  TPixelView d, s, m;
  TRect clip;
  if (!DestView(d, clip) || !src.View(s) || !SameLayout(d, s) || !mask.View(m) || m.BitCount != 8) return;
  TStableSource stable;
  stable.Fix(d, s);
  TPlan p;
  if (!PlanBlit(clip, x, y, srcRect, ReadableRect(TRect{0, 0, s.Width, s.Height}, s, &m), mx, my, p)) return;
  const TKernels& k = Kernels(LayoutOf(d.BitCount));
  RunPlan(d, p, &s, &m, mx, my, [&](uint8_t* dr, const uint8_t* sr, const uint8_t* mr, int32_t n) {
    k.MaskAlpha(dr, sr, mr, n, uint32_t(alpha));
  });
}

void TCustomDIBX::DrawAdd(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, int32_t weight,
                          bool mx, bool my) {
  weight = Clamp255(weight);
  if (weight == 0) return;
  TPixelView d, s;
  TRect clip;
  if (!DestView(d, clip) || !src.View(s) || !SameLayout(d, s)) return;
  TStableSource stable;
  stable.Fix(d, s);
  TPlan p;
  if (!PlanBlit(clip, x, y, srcRect, TRect{0, 0, s.Width, s.Height}, mx, my, p)) return;
  const TKernels& k = Kernels(LayoutOf(d.BitCount));
  RunPlan(d, p, &s, nullptr, mx, my, [&](uint8_t* dr, const uint8_t* sr, const uint8_t*, int32_t n) {
    k.Add(dr, sr, n, uint32_t(weight), false, 0);
  });
}

void TCustomDIBX::DrawMaskAdd(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src,
                              const TCustomDIBX& mask, int32_t weight, bool mx, bool my) {
  weight = Clamp255(weight);
  if (weight == 0) return;
  TPixelView d, s, m;
  TRect clip;
  if (!DestView(d, clip) || !src.View(s) || !SameLayout(d, s) || !mask.View(m) || m.BitCount != 8) return;
  TStableSource stable;
  stable.Fix(d, s);
  TPlan p;
  if (!PlanBlit(clip, x, y, srcRect, ReadableRect(TRect{0, 0, s.Width, s.Height}, s, &m), mx, my, p)) return;
  const TKernels& k = Kernels(LayoutOf(d.BitCount));
  RunPlan(d, p, &s, &m, mx, my, [&](uint8_t* dr, const uint8_t* sr, const uint8_t* mr, int32_t n) {
    k.MaskAdd(dr, sr, mr, n, uint32_t(weight));
  });
}

// --- rotation -----------------------------------------------------------------------------

void TCustomDIBX::DrawRotate(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, int32_t angle,
                             int32_t pivotX, int32_t pivotY, int32_t scaleX, int32_t scaleY, int32_t alpha, bool key,
                             bool mx, bool my) {
  int32_t amount = 0;
  const TMode mode = ModeOf(alpha, amount);
  if (mode == TMode::None) return;
  TPixelView d, s;
  TRect clip;
  if (!DestView(d, clip) || !src.View(s) || !SameLayout(d, s)) return;
  TStableSource stable;
  stable.Fix(d, s);
  TRotation r;
  if (!PlanRotation(clip, x, y, srcRect, angle, pivotX, pivotY, scaleX, scaleY, r)) return;
  const TRect lim = ReadableRect(srcRect, s, nullptr);
  if (lim.IsEmpty()) return;
  const TKernels& k = Kernels(LayoutOf(d.BitCount));
  const bool keyed = key && src.TransparentColor != -1;
  const uint32_t kv = uint32_t(src.TransparentColor);
  const int32_t bpp = d.BytesPerPixel();
  RunRotation(d, r, s, nullptr, lim, srcRect, mx, my, [&](uint8_t* dr, const uint8_t* sr, const uint8_t*, int32_t n) {
    switch (mode) {
      case TMode::Copy:
        if (keyed) k.CopyKey(dr, sr, n, kv); else std::memcpy(dr, sr, size_t(n) * size_t(bpp));
        break;
      case TMode::Alpha: k.Alpha(dr, sr, n, uint32_t(amount), keyed, kv); break;
      default: k.Add(dr, sr, n, uint32_t(amount), keyed, kv); break;
    }
  });
}

void TCustomDIBX::DrawRotateMask(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src,
                                 const TCustomDIBX& mask, int32_t angle, int32_t pivotX, int32_t pivotY,
                                 int32_t scaleX, int32_t scaleY, int32_t alpha, bool mx, bool my) {
  int32_t amount = 0;
  const TMode mode = ModeOf(alpha, amount);
  if (mode == TMode::None) return;
  TPixelView d, s, m;
  TRect clip;
  if (!DestView(d, clip) || !src.View(s) || !SameLayout(d, s) || !mask.View(m) || m.BitCount != 8) return;
  TStableSource stable;
  stable.Fix(d, s);
  TRotation r;
  if (!PlanRotation(clip, x, y, srcRect, angle, pivotX, pivotY, scaleX, scaleY, r)) return;
  const TRect lim = ReadableRect(srcRect, s, &m);
  if (lim.IsEmpty()) return;
  const TKernels& k = Kernels(LayoutOf(d.BitCount));
  RunRotation(d, r, s, &m, lim, srcRect, mx, my, [&](uint8_t* dr, const uint8_t* sr, const uint8_t* mr, int32_t n) {
    switch (mode) {
      case TMode::Copy: k.Mask(dr, sr, mr, n); break;
      case TMode::Alpha: k.MaskAlpha(dr, sr, mr, n, uint32_t(amount)); break;
      default: k.MaskAdd(dr, sr, mr, n, uint32_t(amount)); break;
    }
  });
}

// --- stretching -----------------------------------------------------------------------------

namespace {
// Shared body of the stretch family: fn(dstPtr, srcPixels, maskBytes, n).
template <class Fn>
void StretchBody(const TPixelView& d, const TRect& clip, const TRect& dr, const TRect& sr, const TPixelView& s,
                 const TPixelView* m, bool mx, bool my, Fn fn) {
  const TRect lim = ReadableRect(sr, s, m);
  if (lim.IsEmpty()) return;
  TScratch& sc = Scratch();
  const int32_t bpp = d.BytesPerPixel();
  int32_t lastRow = -1;
  RunStretch(d, clip, dr, sr, lim, mx, my, [&](uint8_t* dp, int32_t sy, const int32_t* cols, int32_t n, int32_t) {
    uint8_t* px = Grow(sc.a, size_t(n) * size_t(bpp));
    uint8_t* mk = m ? Grow(sc.b, size_t(n)) : nullptr;
    if (sy != lastRow) {
      Gather(px, s.Row(sy), cols, n, bpp);
      if (mk) Gather(mk, m->Row(sy), cols, n, 1);
      lastRow = sy;
    }
    fn(dp, px, mk, n);
  });
}
}  // namespace

void TCustomDIBX::StretchDraw(const TRect& dr, const TRect& sr, const TCustomDIBX& src, int32_t alpha, bool key,
                              bool mx, bool my) {
  alpha = Clamp255(alpha);
  if (alpha == 0) return;
  TPixelView d, s;
  TRect clip;
  if (!DestView(d, clip) || !src.View(s) || !SameLayout(d, s)) return;
  TStableSource stable;
  stable.Fix(d, s);
  const TKernels& k = Kernels(LayoutOf(d.BitCount));
  const bool keyed = key && src.TransparentColor != -1;
  const uint32_t kv = uint32_t(src.TransparentColor);
  const int32_t bpp = d.BytesPerPixel();
  StretchBody(d, clip, dr, sr, s, nullptr, mx, my, [&](uint8_t* dp, const uint8_t* px, const uint8_t*, int32_t n) {
    if (alpha == 255) {
      if (keyed) k.CopyKey(dp, px, n, kv); else std::memcpy(dp, px, size_t(n) * size_t(bpp));
    } else {
      k.Alpha(dp, px, n, uint32_t(alpha), keyed, kv);
    }
  });
}

void TCustomDIBX::StretchDrawMask(const TRect& dr, const TRect& sr, const TCustomDIBX& src, const TCustomDIBX& mask,
                                  int32_t alpha, bool mx, bool my) {
  alpha = Clamp255(alpha);
  if (alpha == 0) return;
  TPixelView d, s, m;
  TRect clip;
  if (!DestView(d, clip) || !src.View(s) || !SameLayout(d, s) || !mask.View(m) || m.BitCount != 8) return;
  TStableSource stable;
  stable.Fix(d, s);
  const TKernels& k = Kernels(LayoutOf(d.BitCount));
  StretchBody(d, clip, dr, sr, s, &m, mx, my, [&](uint8_t* dp, const uint8_t* px, const uint8_t* mk, int32_t n) {
    if (alpha == 255) k.Mask(dp, px, mk, n); else k.MaskAlpha(dp, px, mk, n, uint32_t(alpha));
  });
}

void TCustomDIBX::StretchDrawAdd(const TRect& dr, const TRect& sr, const TCustomDIBX& src, int32_t weight, bool key,
                                 bool mx, bool my) {
  weight = Clamp255(weight);
  if (weight == 0) return;
  TPixelView d, s;
  TRect clip;
  if (!DestView(d, clip) || !src.View(s) || !SameLayout(d, s)) return;
  TStableSource stable;
  stable.Fix(d, s);
  const TKernels& k = Kernels(LayoutOf(d.BitCount));
  const bool keyed = key && src.TransparentColor != -1;
  const uint32_t kv = uint32_t(src.TransparentColor);
  StretchBody(d, clip, dr, sr, s, nullptr, mx, my, [&](uint8_t* dp, const uint8_t* px, const uint8_t*, int32_t n) {
    k.Add(dp, px, n, uint32_t(weight), keyed, kv);
  });
}

void TCustomDIBX::StretchDrawMaskAdd(const TRect& dr, const TRect& sr, const TCustomDIBX& src,
                                     const TCustomDIBX& mask, int32_t weight, bool mx, bool my) {
  weight = Clamp255(weight);
  if (weight == 0) return;
  TPixelView d, s, m;
  TRect clip;
  if (!DestView(d, clip) || !src.View(s) || !SameLayout(d, s) || !mask.View(m) || m.BitCount != 8) return;
  TStableSource stable;
  stable.Fix(d, s);
  const TKernels& k = Kernels(LayoutOf(d.BitCount));
  StretchBody(d, clip, dr, sr, s, &m, mx, my, [&](uint8_t* dp, const uint8_t* px, const uint8_t* mk, int32_t n) {
    k.MaskAdd(dp, px, mk, n, uint32_t(weight));
  });
}

// --- glyphs -------------------------------------------------------------------------------

namespace {
// Per channel (n_1*c_1 + ... + (total - sum n)*d) / total, or with add: min(max, d + sum/total).
uint32_t GlyphPixel(const TChannels& ch, uint32_t d, const uint32_t* colours, const int32_t* counts, int32_t kinds,
                    int32_t total, bool add) {
  uint32_t r = d & ch.keep;
  int32_t used = 0;
  for (int32_t i = 0; i < kinds; ++i) used += counts[i];
  for (int c = 0; c < ch.n; ++c) {
    const uint32_t dc = (d >> ch.sh[c]) & ch.mx[c];
    uint32_t sum = 0;
    for (int32_t i = 0; i < kinds; ++i) sum += uint32_t(counts[i]) * ((colours[i] >> ch.sh[c]) & ch.mx[c]);
    uint32_t v;
    if (add) v = std::min(ch.mx[c], dc + sum / uint32_t(total));
    else v = (sum + uint32_t(total - used) * dc) / uint32_t(total);
    r |= v << ch.sh[c];
  }
  return r;
}

// Walks the destination pixels of a glyph blit: fn(dstPtr, blockLeft, blockTop) with the
// glyph block of factor x factor bits under each pixel (blocks beyond the glyph read as
// background).
template <class Fn>
void GlyphWalk(const TPixelView& d, const TRect& clip, int32_t x, int32_t y, const TRect& sr, int32_t f, bool mx,
               bool my, Fn fn) {
  const int32_t w = sr.Width() / f, h = sr.Height() / f;
  if (w <= 0 || h <= 0) return;
  TPlan p;
  // Plan on block units: the "source" is the grid of blocks.
  if (!PlanBlit(clip, x, y, TRect{0, 0, w, h}, TRect{0, 0, w, h}, mx, my, p)) return;
  const int32_t bpp = d.BytesPerPixel();
  for (int32_t j = 0; j < p.h; ++j) {
    const int32_t by = my ? p.src.Bottom - 1 - j : p.src.Top + j;
    uint8_t* dp = d.At(p.x, p.y + j);
    for (int32_t i = 0; i < p.w; ++i, dp += bpp) {
      const int32_t bx = mx ? p.src.Right - 1 - i : p.src.Left + i;
      fn(dp, sr.Left + bx * f, sr.Top + by * f);
    }
  }
}
}  // namespace

void TCustomDIBX::DrawGlyph(int32_t x, int32_t y, const TRect& sr, const TBitImage& g, int32_t factor, uint32_t color,
                            int32_t alpha, bool mx, bool my) {
  alpha = Clamp255(alpha);
  if (alpha == 0 || factor <= 0 || factor > kMaxGlyphFactor || !g.IsValid() || g.BitsPerPixel != 1) return;
  TPixelView d;
  TRect clip;
  if (!DestView(d, clip)) return;
  const TChannels ch = ChannelsOf(d.BitCount);
  const int32_t bpp = d.BytesPerPixel(), total = factor * factor;
  GlyphWalk(d, clip, x, y, sr, factor, mx, my, [&](uint8_t* dp, int32_t gx, int32_t gy) {
    int32_t n = 0;
    for (int32_t v = gy; v < gy + factor; ++v)
      for (int32_t u = gx; u < gx + factor; ++u)
        if (u >= 0 && v >= 0 && u < g.Width && v < g.Height && g.Get(u, v) == 0) ++n;
    if (alpha < 255) n = n * alpha / 256;
    if (n == 0) return;
    const uint32_t dv = LoadPixel(dp, bpp);
    if (n == total) {
      StorePixel(dp, bpp, (dv & ch.keep) | (color & ch.colour));
      return;
    }
    StorePixel(dp, bpp, GlyphPixel(ch, dv, &color, &n, 1, total, false));
  });
}

// The three colours are weighted by how many bits of each value cover the pixel, the
// background by the rest; alpha below 255 scales every count by alpha / 256, and alpha
// above 255 adds the weighted colours (weight alpha - 256) instead of blending.
void TCustomDIBX::DrawGlyphColors(int32_t x, int32_t y, const TRect& sr, const TBitImage& g, int32_t factor,
                                  const std::array<uint32_t, 3>& colors, int32_t alpha, bool mx, bool my) {
  if (alpha <= 0 || alpha >= 512 || alpha == 256 || factor <= 0 || factor > kMaxGlyphFactor || !g.IsValid() ||
      g.BitsPerPixel != 2)
    return;
  TPixelView d;
  TRect clip;
  if (!DestView(d, clip)) return;
  const TChannels ch = ChannelsOf(d.BitCount);
  const int32_t bpp = d.BytesPerPixel(), total = factor * factor;
  const bool add = alpha > 255;
  const int32_t weight = add ? alpha - 256 : alpha;
  GlyphWalk(d, clip, x, y, sr, factor, mx, my, [&](uint8_t* dp, int32_t gx, int32_t gy) {
    int32_t n[3] = {0, 0, 0};
    for (int32_t v = gy; v < gy + factor; ++v)
      for (int32_t u = gx; u < gx + factor; ++u)
        if (u >= 0 && v >= 0 && u < g.Width && v < g.Height) {
          const uint32_t k = g.Get(u, v);
          if (k) ++n[k - 1];
        }
    if (add || weight < 255)
      for (int32_t& c : n) c = c * weight / 256;
    if (n[0] + n[1] + n[2] == 0) return;
    StorePixel(dp, bpp, GlyphPixel(ch, LoadPixel(dp, bpp), colors.data(), n, 3, total, add));
  });
}

// --- tiles ----------------------------------------------------------------------------------

namespace {
// Calls fn(x, y) for the top-left corner of every tile that meets the visible part of r.
template <class Fn>
void ForTiles(const TRect& r, const TRect& visible, int32_t tw, int32_t th, int32_t offX, int32_t offY, int32_t gapX,
              int32_t gapY, Fn fn) {
  const int64_t stepX = int64_t(tw) + gapX, stepY = int64_t(th) + gapY;
  if (tw <= 0 || th <= 0 || stepX <= 0 || stepY <= 0 || r.IsEmpty() || visible.IsEmpty()) return;
  const int64_t x0 = int64_t(r.Left) - FloorMod(offX, tw), y0 = int64_t(r.Top) - FloorMod(offY, th);
  // Skip the tiles that end before the visible area.
  auto first = [](int64_t origin, int64_t size, int64_t step, int64_t edge) {
    const int64_t k = edge - size + 1 - origin;  // tiles with origin + n*step + size > edge
    return k <= 0 ? origin : origin + (k + step - 1) / step * step;
  };
  for (int64_t ty = first(y0, th, stepY, visible.Top); ty < visible.Bottom; ty += stepY)
    for (int64_t tx = first(x0, tw, stepX, visible.Left); tx < visible.Right; tx += stepX) fn(int32_t(tx), int32_t(ty));
}

// Narrows a surface's clip to r for the life of the object.
class TClipNarrow {
 public:
  TClipNarrow(TCustomDIBX& s, const TRect& r) : s_(s), saved_(s.ClipRect) {
    const TRect c = IntersectRect(s.ClipArea(), r);
    ok_ = !c.IsEmpty();
    s.ClipRect = c;
  }
  ~TClipNarrow() { s_.ClipRect = saved_; }
  bool Ok() const { return ok_; }

 private:
  TCustomDIBX& s_;
  TRect saved_;
  bool ok_;
};
}  // namespace

#define KEST_TILE_BODY(CALL)                                                                  \
  TClipNarrow narrow(*this, r);                                                             \
  if (!narrow.Ok()) return;                                                                 \
  ForTiles(r, ClipArea(), sr.Width(), sr.Height(), offsetX, offsetY, gapX, gapY, [&](int32_t tx, int32_t ty) { CALL; })

void TCustomDIBX::TileDraw(const TRect& r, const TRect& sr, const TCustomDIBX& src, int32_t offsetX, int32_t offsetY,
                           int32_t gapX, int32_t gapY, bool key, bool mx, bool my) {
  KEST_TILE_BODY(Draw(tx, ty, sr, src, key, mx, my));
}
void TCustomDIBX::TileDrawAlpha(const TRect& r, const TRect& sr, const TCustomDIBX& src, int32_t offsetX,
                                int32_t offsetY, int32_t gapX, int32_t gapY, int32_t alpha, bool key, bool mx,
                                bool my) {
  if (alpha <= 0) return;
  KEST_TILE_BODY(DrawAlpha(tx, ty, sr, src, alpha, key, mx, my));
}
void TCustomDIBX::TileDrawAdd(const TRect& r, const TRect& sr, const TCustomDIBX& src, int32_t offsetX,
                              int32_t offsetY, int32_t gapX, int32_t gapY, int32_t weight, bool mx, bool my) {
  if (weight <= 0) return;
  KEST_TILE_BODY(DrawAdd(tx, ty, sr, src, weight, mx, my));
}
void TCustomDIBX::TileDrawMask(const TRect& r, const TRect& sr, const TCustomDIBX& src, const TCustomDIBX& mask,
                               int32_t offsetX, int32_t offsetY, int32_t gapX, int32_t gapY, bool mx, bool my) {
  KEST_TILE_BODY(DrawMask(tx, ty, sr, src, mask, mx, my));
}
void TCustomDIBX::TileDrawMaskAlpha(const TRect& r, const TRect& sr, const TCustomDIBX& src, const TCustomDIBX& mask,
                                    int32_t offsetX, int32_t offsetY, int32_t gapX, int32_t gapY, int32_t alpha,
                                    bool mx, bool my) {
  if (alpha <= 0) return;
  KEST_TILE_BODY(DrawMaskAlpha(tx, ty, sr, src, mask, alpha, mx, my));
}
void TCustomDIBX::TileDrawMaskAdd(const TRect& r, const TRect& sr, const TCustomDIBX& src, const TCustomDIBX& mask,
                                  int32_t offsetX, int32_t offsetY, int32_t gapX, int32_t gapY, int32_t weight,
                                  bool mx, bool my) {
  if (weight <= 0) return;
  KEST_TILE_BODY(DrawMaskAdd(tx, ty, sr, src, mask, weight, mx, my));
}
#undef KEST_TILE_BODY

void TCustomDIBX::TileStretchDraw(const TRect& r, const TRect& sr, const TCustomDIBX& src, int32_t tileW,
                                  int32_t tileH, int32_t offsetX, int32_t offsetY, int32_t gapX, int32_t gapY,
                                  int32_t alpha, bool key, bool mx, bool my) {
  if (alpha <= 0 || alpha >= 512 || sr.IsEmpty()) return;
  TClipNarrow narrow(*this, r);
  if (!narrow.Ok()) return;
  ForTiles(r, ClipArea(), tileW, tileH, offsetX, offsetY, gapX, gapY, [&](int32_t tx, int32_t ty) {
    const TRect dr{tx, ty, tx + tileW, ty + tileH};
    if (alpha > 255) StretchDrawAdd(dr, sr, src, alpha - 256, key, mx, my);
    else StretchDraw(dr, sr, src, alpha, key, mx, my);
  });
}

void TCustomDIBX::TileStretchDrawMask(const TRect& r, const TRect& sr, const TCustomDIBX& src,
                                      const TCustomDIBX& mask, int32_t tileW, int32_t tileH, int32_t offsetX,
                                      int32_t offsetY, int32_t gapX, int32_t gapY, int32_t alpha, bool mx, bool my) {
  if (alpha <= 0 || alpha >= 512 || sr.IsEmpty()) return;
  TClipNarrow narrow(*this, r);
  if (!narrow.Ok()) return;
  ForTiles(r, ClipArea(), tileW, tileH, offsetX, offsetY, gapX, gapY, [&](int32_t tx, int32_t ty) {
    const TRect dr{tx, ty, tx + tileW, ty + tileH};
    if (alpha > 255) StretchDrawMaskAdd(dr, sr, src, mask, alpha - 256, mx, my);
    else StretchDrawMask(dr, sr, src, mask, alpha, mx, my);
  });
}

// --- patterns -------------------------------------------------------------------------------

void TCustomDIBX::PatternFillRects(const std::vector<TRect>& rects, const TCustomDIBX& pattern, int32_t offsetX,
                                   int32_t offsetY) {
  for (const TRect& r : rects) PatternFill(r, pattern, offsetX, offsetY, false, false);
}

void TCustomDIBX::PatternFill(const TRect& r, const TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY, bool mx,
                              bool my) {
  TPixelView d, s;
  TRect clip;
  if (!DestView(d, clip) || !pattern.View(s) || s.IsEmpty() || !SameLayout(d, s)) return;
  TStableSource stable;
  stable.Fix(d, s);
  const TRect c = IntersectRect(r, clip);
  if (c.IsEmpty()) return;
  const int32_t bpp = d.BytesPerPixel();
  TScratch& sc = Scratch();
  uint8_t* row = Grow(sc.a, size_t(c.Width()) * size_t(bpp));
  for (int32_t y = c.Top; y < c.Bottom; ++y) {
    int32_t py = int32_t(FloorMod(int64_t(y) - r.Top + offsetY, s.Height));
    if (my) py = s.Height - 1 - py;
    const uint8_t* srow = s.Row(py);
    int32_t px = int32_t(FloorMod(int64_t(c.Left) - r.Left + offsetX, s.Width));
    for (int32_t i = 0; i < c.Width();) {
      // One stretch of the pattern row, up to its end.
      const int32_t n = std::min(c.Width() - i, s.Width - px);
      if (!mx) std::memcpy(row + int64_t(i) * bpp, srow + int64_t(px) * bpp, size_t(n) * size_t(bpp));
      else ReverseCopy(row + int64_t(i) * bpp, srow + int64_t(s.Width - px - n) * bpp, n, bpp);
      i += n;
      px = 0;
    }
    std::memcpy(d.At(c.Left, y), row, size_t(c.Width()) * size_t(bpp));
  }
}

namespace {
// The pattern column (or row) under each destination column (or row) of a scaled pattern:
// 16.16 steps of 256 / scale (at most the pattern size), starting at the offset's place
// within one scaled period.
void PatternAxis(int64_t lo, int64_t hi, int64_t origin, int32_t offset, int32_t scale, int32_t size, bool mirror,
                 std::vector<int32_t>& map) {
  const int64_t period = int64_t(size) << 16;
  const int64_t step = std::min<int64_t>((int64_t(256) << 16) / scale, period);
  const __int128 at = (__int128(offset) + (lo - origin)) * step % period;
  const int64_t start = int64_t(at < 0 ? at + period : at);
  map.resize(size_t(hi - lo));
  int64_t pos = start;
  for (int64_t i = 0; i < hi - lo; ++i) {
    const int32_t c = int32_t(pos >> 16);
    map[size_t(i)] = mirror ? size - 1 - c : c;
    pos += step;
    if (pos >= period) pos -= period;
  }
}

template <class Fn>
void PatternScaledBody(const TPixelView& d, const TRect& clip, const TRect& r, const TPixelView& s,
                       const TPixelView* m, int32_t offX, int32_t offY, int32_t scX, int32_t scY, bool mx, bool my,
                       Fn fn) {
  if (scX <= 0 || scY <= 0 || s.IsEmpty()) return;
  if (m && (m->Width < s.Width || m->Height < s.Height)) return;
  const TRect c = IntersectRect(r, clip);
  if (c.IsEmpty()) return;
  TScratch& sc = Scratch();
  std::vector<int32_t> rows;
  PatternAxis(c.Left, c.Right, r.Left, offX, scX, s.Width, mx, sc.cols);
  PatternAxis(c.Top, c.Bottom, r.Top, offY, scY, s.Height, my, rows);
  const int32_t bpp = d.BytesPerPixel(), n = c.Width();
  uint8_t* px = Grow(sc.a, size_t(n) * size_t(bpp));
  uint8_t* mk = m ? Grow(sc.b, size_t(n)) : nullptr;
  int32_t last = -1;
  for (int32_t j = 0; j < c.Height(); ++j) {
    const int32_t sy = rows[size_t(j)];
    if (sy != last) {
      Gather(px, s.Row(sy), sc.cols.data(), n, bpp);
      if (mk) Gather(mk, m->Row(sy), sc.cols.data(), n, 1);
      last = sy;
    }
    fn(d.At(c.Left, c.Top + j), px, mk, n);
  }
}
}  // namespace

void TCustomDIBX::PatternFillScaled(const TRect& r, const TCustomDIBX& pattern, int32_t offX, int32_t offY,
                                    int32_t scX, int32_t scY, int32_t alpha, bool key, bool mx, bool my) {
  int32_t amount = 0;
  TMode mode = ModeOf(alpha, amount);
  if (alpha >= 512) mode = TMode::Add, amount = 255;  // the weight is capped at 255
  if (mode == TMode::None) return;
  TPixelView d, s;
  TRect clip;
  if (!DestView(d, clip) || !pattern.View(s) || !SameLayout(d, s)) return;
  TStableSource stable;
  stable.Fix(d, s);
  const TKernels& k = Kernels(LayoutOf(d.BitCount));
  const bool keyed = key && pattern.TransparentColor != -1;
  const uint32_t kv = uint32_t(pattern.TransparentColor);
  const int32_t bpp = d.BytesPerPixel();
  PatternScaledBody(d, clip, r, s, nullptr, offX, offY, scX, scY, mx, my,
                    [&](uint8_t* dp, const uint8_t* px, const uint8_t*, int32_t n) {
                      switch (mode) {
                        case TMode::Copy:
                          if (keyed) k.CopyKey(dp, px, n, kv); else std::memcpy(dp, px, size_t(n) * size_t(bpp));
                          break;
                        case TMode::Alpha: k.Alpha(dp, px, n, uint32_t(amount), keyed, kv); break;
                        default: k.Add(dp, px, n, uint32_t(amount), keyed, kv); break;
                      }
                    });
}

void TCustomDIBX::PatternFillScaledMask(const TRect& r, const TCustomDIBX& pattern, const TCustomDIBX& mask,
                                        int32_t offX, int32_t offY, int32_t scX, int32_t scY, int32_t alpha, bool mx,
                                        bool my) {
  int32_t amount = 0;
  TMode mode = ModeOf(alpha, amount);
  if (alpha >= 512) mode = TMode::Add, amount = 255;
  if (mode == TMode::None) return;
  TPixelView d, s, m;
  TRect clip;
  if (!DestView(d, clip) || !pattern.View(s) || !SameLayout(d, s) || !mask.View(m) || m.BitCount != 8) return;
  TStableSource stable;
  stable.Fix(d, s);
  const TKernels& k = Kernels(LayoutOf(d.BitCount));
  PatternScaledBody(d, clip, r, s, &m, offX, offY, scX, scY, mx, my,
                    [&](uint8_t* dp, const uint8_t* px, const uint8_t* mk, int32_t n) {
                      switch (mode) {
                        case TMode::Copy: k.Mask(dp, px, mk, n); break;
                        case TMode::Alpha: k.MaskAlpha(dp, px, mk, n, uint32_t(amount)); break;
                        default: k.MaskAdd(dp, px, mk, n, uint32_t(amount)); break;
                      }
                    });
}

// --- indexed sources ------------------------------------------------------------------------

namespace {
// Converts a row of indices to table colours and calls fn(dstPtr, pixels, n) for every run
// of indices above the key.
template <class Fn>
void IndexedRuns(uint8_t* dp, const uint8_t* idx, int32_t n, int32_t key, const TColorTable& table, int32_t bpp,
                 uint8_t* px, Fn fn) {
  int32_t i = 0;
  while (i < n) {
    while (i < n && int32_t(idx[i]) <= key) ++i;
    const int32_t run = i;
    while (i < n && int32_t(idx[i]) > key) {
      StorePixel(px + int64_t(i) * bpp, bpp, table[idx[i]]);
      ++i;
    }
    if (i > run) fn(dp + int64_t(run) * bpp, px + int64_t(run) * bpp, i - run);
  }
}
}  // namespace

// The rows of an 8-bit source, mirrored as asked, mapped through the colour table and
// handed run by run to `op` (destination, mapped pixels, count) with the row's kernels.
template <class Op>
void TCustomDIBX::DrawIndexedRows(int32_t x, int32_t y, const TRect& sr, const TCustomDIBX& src,
                                  const TColorTable& table, bool mx, bool my, Op op) {
  TPixelView d, s;
  TRect clip;
  if (!DestView(d, clip) || !src.View(s) || s.BitCount != 8) return;
  TStableSource stable;
  stable.Fix(d, s);
  TPlan p;
  if (!PlanBlit(clip, x, y, sr, TRect{0, 0, s.Width, s.Height}, mx, my, p)) return;
  const TKernels& k = Kernels(LayoutOf(d.BitCount));
  const int32_t bpp = d.BytesPerPixel();
  uint8_t* px = Grow(Scratch().c, size_t(p.w) * size_t(bpp));
  std::vector<uint8_t> idxRow(size_t(p.w));
  for (int32_t j = 0; j < p.h; ++j) {
    const int32_t sy = my ? p.src.Bottom - 1 - j : p.src.Top + j;
    const uint8_t* srow = s.At(p.src.Left, sy);
    if (mx) ReverseCopy(idxRow.data(), srow, p.w, 1);
    else std::memcpy(idxRow.data(), srow, size_t(p.w));
    IndexedRuns(d.At(p.x, p.y + j), idxRow.data(), p.w, src.TransparentColor, table, bpp, px,
                [&](uint8_t* dr, const uint8_t* sp, int32_t n) { op(k, dr, sp, n, bpp); });
  }
}

void TCustomDIBX::DrawIndexed(int32_t x, int32_t y, const TRect& sr, const TCustomDIBX& src, const TColorTable& table,
                              int32_t alpha, bool mx, bool my) {
  alpha = Clamp255(alpha);
  if (alpha == 0) return;
  DrawIndexedRows(x, y, sr, src, table, mx, my,
                  [alpha](const TKernels& k, uint8_t* dr, const uint8_t* sp, int32_t n, int32_t bpp) {
                    if (alpha == 255) std::memcpy(dr, sp, size_t(n) * size_t(bpp));
                    else k.Alpha(dr, sp, n, uint32_t(alpha), false, 0);
                  });
}

void TCustomDIBX::DrawIndexedAdd(int32_t x, int32_t y, const TRect& sr, const TCustomDIBX& src,
                                 const TColorTable& table, int32_t weight, bool mx, bool my) {
  weight = Clamp255(weight);
  if (weight == 0) return;
  DrawIndexedRows(x, y, sr, src, table, mx, my,
                  [weight](const TKernels& k, uint8_t* dr, const uint8_t* sp, int32_t n, int32_t) {
                    k.Add(dr, sp, n, uint32_t(weight), false, 0);
                  });
}

void TCustomDIBX::StretchDrawIndexed(const TRect& dr, const TRect& sr, const TCustomDIBX& src,
                                     const TColorTable& table, int32_t alpha, bool mx, bool my) {
  alpha = Clamp255(alpha);
  if (alpha == 0) return;
  TPixelView d, s;
  TRect clip;
  if (!DestView(d, clip) || !src.View(s) || s.BitCount != 8) return;
  TStableSource stable;
  stable.Fix(d, s);
  const TRect lim = ReadableRect(sr, s, nullptr);
  if (lim.IsEmpty()) return;
  const TKernels& k = Kernels(LayoutOf(d.BitCount));
  const int32_t bpp = d.BytesPerPixel();
  std::vector<uint8_t> idxRow;
  RunStretch(d, clip, dr, sr, lim, mx, my, [&](uint8_t* dp, int32_t sy, const int32_t* cols, int32_t n, int32_t) {
    idxRow.resize(size_t(n));
    Gather(idxRow.data(), s.Row(sy), cols, n, 1);
    uint8_t* px = Grow(Scratch().c, size_t(n) * size_t(bpp));
    IndexedRuns(dp, idxRow.data(), n, src.TransparentColor, table, bpp, px,
                [&](uint8_t* dq, const uint8_t* sp, int32_t m) {
                  if (alpha == 255) std::memcpy(dq, sp, size_t(m) * size_t(bpp));
                  else k.Alpha(dq, sp, m, uint32_t(alpha), false, 0);
                });
  });
}

void TCustomDIBX::FillMask(int32_t x, int32_t y, const TRect& sr, const TCustomDIBX& mask, uint32_t color,
                           int32_t alpha, bool mx, bool my) {
  alpha = Clamp255(alpha);
  if (alpha == 0) return;
  TPixelView d, m;
  TRect clip;
  if (!DestView(d, clip) || !mask.View(m) || m.BitCount != 8) return;
  // The source rectangle must lie inside the mask.
  if (sr.IsEmpty() || sr.Left < 0 || sr.Top < 0 || sr.Right > m.Width || sr.Bottom > m.Height) return;
  TPlan p;
  if (!PlanBlit(clip, x, y, sr, TRect{0, 0, m.Width, m.Height}, mx, my, p)) return;
  const TKernels& k = Kernels(LayoutOf(d.BitCount));
  RunPlan(d, p, nullptr, &m, mx, my, [&](uint8_t* dr, const uint8_t*, const uint8_t* mr, int32_t n) {
    k.FillMask(dr, mr, n, color, uint32_t(alpha));
  });
}

// --- pictures in and out ----------------------------------------------------------------------

TDIBSurface TCustomDIBX::ToImage() const {
  TDIBSurface img;
  TPixelView v;
  if (!View(v) || v.IsEmpty() || LayoutOf(v.BitCount) < 0) return img;
  img.SetSize(v.Width, v.Height, v.BitCount);
  const size_t rowBytes = size_t(v.Width) * size_t(v.BytesPerPixel());
  for (int32_t y = 0; y < v.Height; ++y) std::memcpy(img.Row(y), v.Row(y), rowBytes);
  if (v.BitCount == 8) {
    const auto pal = GetPaletteEntries(0, 256);
    for (size_t i = 0; i < pal.size(); ++i)
      img.Palette()[i] = (uint32_t(pal[i].Red) << 16) | (uint32_t(pal[i].Green) << 8) | pal[i].Blue;
  }
  return img;
}

void TCustomDIBX::FromImage(const TDIBSurface& image) {
  TPixelView v;
  if (!View(v) || v.Width != image.Width() || v.Height != image.Height() || image.IsEmpty()) return;
  const TDIBSurface* from = &image;
  TDIBSurface conv;
  if (image.BitCount() != v.BitCount) {
    conv.Assign(image);
    conv.FreeMask();
    conv.ConvertBitCount(v.BitCount);
    from = &conv;
  }
  const size_t rowBytes = size_t(v.Width) * size_t(v.BytesPerPixel());
  for (int32_t y = 0; y < v.Height; ++y) std::memcpy(v.Row(y), from->Row(y), rowBytes);
  if (v.BitCount == 8) {
    std::vector<TPaletteEntry> pal(256);
    for (size_t i = 0; i < 256; ++i) {
      const uint32_t e = from->Palette()[i];
      pal[i] = TPaletteEntry{uint8_t(e >> 16), uint8_t(e >> 8), uint8_t(e), 0};
    }
    SetPaletteEntries(0, pal);
  }
}

bool TCustomDIBX::LoadFromFile(const std::string& path) {
  if (!IsBmpPath(path)) return false;
  std::vector<uint8_t> bytes;
  try {
    bytes = ReadWholeFile(path);
  } catch (const EKest&) {
    return false;
  }
  if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  return LoadFromBytes(bytes.data(), bytes.size(), 0);
}

bool TCustomDIBX::LoadFromStream(TStream& stream, int32_t id) {
  const int64_t left = stream.Size() - stream.Position();
  if (left <= 0 || left > kMaxImageBytes) return false;
  std::vector<uint8_t> bytes(static_cast<size_t>(left));
  try {
    stream.ReadBuffer(bytes.data(), left);
  } catch (const std::exception&) {
    return false;
  }
  return LoadFromBytes(bytes.data(), bytes.size(), id);
}

bool TCustomDIBX::LoadFromBytes(const uint8_t* data, size_t size, int32_t id) {
  TDIBSurface img;
  try {
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
      LoadBmp(data, size, img);
    } else if (size >= 4 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G') {
      LoadPng(data, size, img);
    } else if (size >= 4 && std::memcmp(data, "Zarn", 4) == 0) {
      TBlobStream stream(data, int64_t(size));
      TZarnFrameList frames(id);
      frames.LoadFromStream(stream, true);
      if (frames.Count() == 0) return false;
      img = std::move(frames.Frame(0).Image);
    } else {
      return false;
    }
  } catch (const std::exception&) {  // damaged, truncated, or too large for memory
    return false;
  }
  img.FreeMask();  // transparency is dropped: the surface holds colours only
  if (img.IsEmpty()) return false;
  const int32_t bits = LayoutOf(BitCount()) >= 0 ? BitCount() : 32;
  SetSize(img.Width(), img.Height(), bits);
  if (Width() != img.Width() || Height() != img.Height()) return false;
  FromImage(img);
  return true;
}

bool TCustomDIBX::SaveToFile(const std::string& path) const {
  if (!IsBmpPath(path)) return false;
  TDIBSurface img = ToImage();
  if (img.IsEmpty()) return false;
  if (img.BitCount() != 24) img.ConvertBitCount(24);
  try {
    WriteWholeFile(path, SaveBmp(img));
  } catch (const EKest&) {
    return false;
  }
  return true;
}

std::vector<TPaletteEntry> TCustomDIBX::GetPaletteEntries(int32_t, int32_t) const { return {}; }
void TCustomDIBX::SetPaletteEntries(int32_t, const std::vector<TPaletteEntry>&) {}

void TCustomDIBX::StretchToDC(TCustomDIBX& dst, const TRect& dstRect, const TRect& srcRect) const {
  dst.StretchDraw(dstRect, srcRect, *this, 255, false);
}

// ===========================================================================================
// TDIBX

TDIBX::TDIBX() : owned_(std::make_unique<TDIBSurface>()), image_(owned_.get()) { image_->SetSize(1, 1, 15); }
TDIBX::TDIBX(int32_t w, int32_t h, int32_t bits) : owned_(std::make_unique<TDIBSurface>()), image_(owned_.get()) {
  image_->SetSize(w, h, bits);
}
TDIBX::TDIBX(TDIBSurface& borrowed) : image_(&borrowed) {}
TDIBX::TDIBX(TDIBX&& o) noexcept : owned_(std::move(o.owned_)), image_(o.image_) {
  ClipRect = o.ClipRect;
  TransparentColor = o.TransparentColor;
  o.owned_ = std::make_unique<TDIBSurface>();
  o.image_ = o.owned_.get();
}
TDIBX::~TDIBX() = default;

void TDIBX::SetBitCount(int32_t bitCount) {
  if (bitCount != image_->BitCount() && LayoutOf(bitCount) >= 0) image_->ConvertBitCount(bitCount);
}

void TDIBX::SetSize(int32_t w, int32_t h, int32_t bits) {
  if (LayoutOf(bits) < 0) throw EKestBadData(gfxmsg::kBadDepth);
  image_->SetSize(w, h, bits);
}

bool TDIBX::View(TPixelView& out) const {
  if (image_->IsEmpty() || LayoutOf(image_->BitCount()) < 0) return false;
  out = TPixelView{const_cast<uint8_t*>(image_->Bits()), image_->Pitch(), image_->Width(), image_->Height(),
                   image_->BitCount()};
  return true;
}

void TDIBX::Release() { image_->SetSize(0, 0, LayoutOf(image_->BitCount()) >= 0 ? image_->BitCount() : 15); }

void TDIBX::Assign(const TCustomDIBX& src) {
  const TDIBX* o = dynamic_cast<const TDIBX*>(&src);
  if (o && o != this && o->Width() == Width() && o->Height() == Height() && o->Pitch() == Pitch() &&
      o->BitCount() == BitCount() && !image_->IsEmpty()) {
    std::memcpy(image_->Bits(), o->image_->Bits(), size_t(std::abs(Pitch())) * size_t(Height()));
    return;
  }
  TCustomDIBX::Assign(src);
}

std::vector<TPaletteEntry> TDIBX::GetPaletteEntries(int32_t start, int32_t count) const {
  std::vector<TPaletteEntry> out;
  if (start < 0 || start >= 256 || count <= 0) return out;
  count = std::min(count, 256 - start);
  for (int32_t i = start; i < start + count; ++i) {
    const uint32_t e = image_->Palette()[size_t(i)];
    out.push_back(TPaletteEntry{uint8_t(e >> 16), uint8_t(e >> 8), uint8_t(e), 0});
  }
  return out;
}

void TDIBX::SetPaletteEntries(int32_t start, const std::vector<TPaletteEntry>& entries) {
  if (start < 0 || start >= 256) return;
  const size_t n = std::min(entries.size(), size_t(256 - start));
  for (size_t i = 0; i < n; ++i)
    image_->Palette()[size_t(start) + i] =
        (uint32_t(entries[i].Red) << 16) | (uint32_t(entries[i].Green) << 8) | entries[i].Blue;
}

void TDIBX::FromImage(const TDIBSurface& image) {
  if (image.Width() != Width() || image.Height() != Height()) return;
  if (image.BitCount() == BitCount()) {
    for (int32_t y = 0; y < Height(); ++y)
      std::memcpy(image_->Row(y), image.Row(y), size_t(std::min(image.Pitch(), image_->Pitch())));
    image_->Palette() = image.Palette();
    return;
  }
  TCustomDIBX::FromImage(image);
}

// ===========================================================================================
// TViewDIBX

void TViewDIBX::SetSize(int32_t w, int32_t h, int32_t bits) {
  if (w != view_.Width || h != view_.Height || bits != view_.BitCount) throw EKestBadData(gfxmsg::kBadSize);
}

bool TViewDIBX::View(TPixelView& out) const {
  if (view_.IsEmpty() || LayoutOf(view_.BitCount) < 0) return false;
  out = view_;
  return true;
}

}  // namespace kest

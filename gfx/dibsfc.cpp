#include "gfx/dibsfc.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "gfx/gfxerrors.h"
#include "gfx/quantise.h"

namespace kest {

bool ValidBitCount(int32_t b) {
  return b == 1 || b == 4 || b == 8 || b == 15 || b == 16 || b == 24 || b == 32;
}

TDIBSurface::TDIBSurface() = default;
TDIBSurface::~TDIBSurface() = default;
TDIBSurface::TDIBSurface(TDIBSurface&&) noexcept = default;
TDIBSurface& TDIBSurface::operator=(TDIBSurface&&) noexcept = default;

void TDIBSurface::SetSize(int32_t width, int32_t height, int32_t bitCount) {
  if (!ValidBitCount(bitCount))
    throw EKestBadData(gfxmsg::kBadDepth);
  if (width < 0 || height < 0 || width > kMaxImageSide || height > kMaxImageSide ||
      PaddedRowBytes(width, bitCount) * height > kMaxImageBytes)
    throw EKestBadData(gfxmsg::kBadSize);
  if (width == 0 || height == 0) width = height = 0;
  width_ = width;
  height_ = height;
  storageBits_ = StorageBits(bitCount);
  pitch_ = int32_t(PaddedRowBytes(width, bitCount));
  if (bitCount == 15) {
    redMask_ = 0x7C00, greenMask_ = 0x03E0, blueMask_ = 0x001F;
  } else if (bitCount == 16) {
    redMask_ = 0xF800, greenMask_ = 0x07E0, blueMask_ = 0x001F;
  } else {
    redMask_ = 0xFF0000, greenMask_ = 0x00FF00, blueMask_ = 0x0000FF;
  }
  bits_.assign(size_t(pitch_) * size_t(height_), 0);
  if (mask_) mask_->SetSize(width_, height_, 8);
}

int32_t TDIBSurface::BitCount() const {
  if (storageBits_ == 16 && greenMask_ == 0x3E0) return 15;
  return storageBits_;
}

int32_t TDIBSurface::PaletteSize() const { return storageBits_ <= 8 && storageBits_ > 0 ? 1 << storageBits_ : 0; }

uint32_t TDIBSurface::GetPixel(int32_t x, int32_t y) const {
  const uint8_t* r = Row(y);
  switch (storageBits_) {
    case 1: return (r[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? r[x >> 1] & 15 : r[x >> 1] >> 4;
    case 8: return r[x];
    case 16: return uint32_t(r[x * 2]) | (uint32_t(r[x * 2 + 1]) << 8);
    case 24: return uint32_t(r[x * 3]) | (uint32_t(r[x * 3 + 1]) << 8) | (uint32_t(r[x * 3 + 2]) << 16);
    case 32: {
      uint32_t v;
      std::memcpy(&v, r + x * 4, 4);
      return v;
    }
  }
  return 0;
}

void TDIBSurface::SetPixel(int32_t x, int32_t y, uint32_t v) {
  uint8_t* r = Row(y);
  switch (storageBits_) {
    case 1: {
      const uint8_t bit = uint8_t(0x80 >> (x & 7));
      r[x >> 3] = (v & 1) ? (r[x >> 3] | bit) : (r[x >> 3] & ~bit);
      break;
    }
    case 4:
      if (x & 1) r[x >> 1] = uint8_t((r[x >> 1] & 0xF0) | (v & 15));
      else r[x >> 1] = uint8_t((r[x >> 1] & 0x0F) | ((v & 15) << 4));
      break;
    case 8: r[x] = uint8_t(v); break;
    case 16: r[x * 2] = uint8_t(v), r[x * 2 + 1] = uint8_t(v >> 8); break;
    case 24: r[x * 3] = uint8_t(v), r[x * 3 + 1] = uint8_t(v >> 8), r[x * 3 + 2] = uint8_t(v >> 16); break;
    case 32: std::memcpy(r + x * 4, &v, 4); break;
  }
}

TColorRef TDIBSurface::PixelToColor(uint32_t p) const {
  switch (BitCount()) {
    case 15:
      return MakeColorRef(uint8_t(((p >> 10) & 31) << 3), uint8_t(((p >> 5) & 31) << 3), uint8_t((p & 31) << 3));
    case 16:
      return MakeColorRef(uint8_t(((p >> 11) & 31) << 3), uint8_t(((p >> 5) & 63) << 2), uint8_t((p & 31) << 3));
    case 24:
    case 32: return MakeColorRef(uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p));
    default: return PaletteEntryToColor(palette_[p & 255]);
  }
}

static int NearestEntry(const std::array<uint32_t, 256>& pal, int n, int r, int g, int b) {
  int best = 0;
  int bestD = 1 << 30;
  for (int i = 0; i < n; ++i) {
    const int dr = int((pal[i] >> 16) & 255) - r, dg = int((pal[i] >> 8) & 255) - g, db = int(pal[i] & 255) - b;
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestD) bestD = d, best = i;
  }
  return best;
}

uint32_t TDIBSurface::MapColor(TColorRef c) const {
  const uint32_t r = ColorRefR(c), g = ColorRefG(c), b = ColorRefB(c);
  switch (BitCount()) {
    case 15: return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
    case 16: return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    case 24:
    case 32: return (r << 16) | (g << 8) | b;
    default: return uint32_t(NearestEntry(palette_, PaletteSize(), int(r), int(g), int(b)));
  }
}

void TDIBSurface::Fill(uint32_t p) {
  if (IsEmpty()) return;
  for (int32_t x = 0; x < width_; ++x) SetPixel(x, 0, p);
  for (int32_t y = 1; y < height_; ++y) std::memcpy(Row(y), Row(0), size_t(pitch_));
}

// --- rows as 24-bit colours -------------------------------------------------------------

void TDIBSurface::ReadRowBGR(int32_t y, uint8_t* o) const {
  const uint8_t* r = Row(y);
  switch (BitCount()) {
    case 24: std::memcpy(o, r, size_t(width_) * 3); return;
    case 32:
      for (int32_t x = 0; x < width_; ++x) o[x * 3] = r[x * 4], o[x * 3 + 1] = r[x * 4 + 1], o[x * 3 + 2] = r[x * 4 + 2];
      return;
    case 15:
    case 16: {
      const bool five = BitCount() == 15;
      for (int32_t x = 0; x < width_; ++x) {
        const uint32_t p = uint32_t(r[x * 2]) | (uint32_t(r[x * 2 + 1]) << 8);
        o[x * 3] = uint8_t((p & 31) << 3);
        if (five) o[x * 3 + 1] = uint8_t(((p >> 5) & 31) << 3), o[x * 3 + 2] = uint8_t(((p >> 10) & 31) << 3);
        else o[x * 3 + 1] = uint8_t(((p >> 5) & 63) << 2), o[x * 3 + 2] = uint8_t(((p >> 11) & 31) << 3);
      }
      return;
    }
    default:
      for (int32_t x = 0; x < width_; ++x) {
        const uint32_t e = palette_[GetPixel(x, y)];
        o[x * 3] = uint8_t(e), o[x * 3 + 1] = uint8_t(e >> 8), o[x * 3 + 2] = uint8_t(e >> 16);
      }
  }
}

void TDIBSurface::WriteRowBGR(int32_t y, const uint8_t* in) {
  uint8_t* r = Row(y);
  switch (BitCount()) {
    case 24: std::memcpy(r, in, size_t(width_) * 3); return;
    case 32:
      for (int32_t x = 0; x < width_; ++x)
        r[x * 4] = in[x * 3], r[x * 4 + 1] = in[x * 3 + 1], r[x * 4 + 2] = in[x * 3 + 2], r[x * 4 + 3] = 0;
      return;
    case 15:
    case 16: {
      const bool five = BitCount() == 15;
      for (int32_t x = 0; x < width_; ++x) {
        const uint32_t b = in[x * 3], g = in[x * 3 + 1], rr = in[x * 3 + 2];
        const uint32_t p = five ? ((rr >> 3) << 10) | ((g >> 3) << 5) | (b >> 3) : ((rr >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
        r[x * 2] = uint8_t(p), r[x * 2 + 1] = uint8_t(p >> 8);
      }
      return;
    }
    default: {
      // Nearest palette entries, remembered per colour for the row.
      std::unordered_map<uint32_t, uint8_t> seen;
      const int n = PaletteSize();
      for (int32_t x = 0; x < width_; ++x) {
        const uint32_t key = uint32_t(in[x * 3]) | (uint32_t(in[x * 3 + 1]) << 8) | (uint32_t(in[x * 3 + 2]) << 16);
        auto it = seen.find(key);
        uint8_t idx;
        if (it != seen.end()) idx = it->second;
        else idx = seen[key] = uint8_t(NearestEntry(palette_, n, in[x * 3 + 2], in[x * 3 + 1], in[x * 3]));
        SetPixel(x, y, idx);
      }
    }
  }
}

// --- copies --------------------------------------------------------------------------

bool TDIBSurface::ClipCopy(const TRect& clip, int32_t& x, int32_t& y, TRect& s) {
  if (x < clip.Left) {
    s.Left += clip.Left - x;
    x = clip.Left;
  }
  if (s.Right - s.Left > clip.Right - x) s.Right = s.Left + (clip.Right - x);
  if (y < clip.Top) {
    s.Top += clip.Top - y;
    y = clip.Top;
  }
  if (s.Bottom - s.Top > clip.Bottom - y) s.Bottom = s.Top + (clip.Bottom - y);
  return !s.IsEmpty();
}

void TDIBSurface::CopyRect(int32_t x, int32_t y, TRect s, const TDIBSurface& src) {
  if (&src == this) {
    TDIBSurface copy;
    copy.Assign(src);
    copy.FreeMask();
    CopyRect(x, y, s, copy);
    return;
  }
  if (IsEmpty() || src.IsEmpty()) return;
  // Cut to the source's bounds, moving the destination along.
  if (s.Left < 0) x -= s.Left, s.Left = 0;
  if (s.Top < 0) y -= s.Top, s.Top = 0;
  s.Right = std::min(s.Right, src.width_);
  s.Bottom = std::min(s.Bottom, src.height_);
  if (s.IsEmpty()) return;
  const TRect clip = Clip.IsEmpty() ? ClientRect() : IntersectRect(Clip, ClientRect());
  if (clip.IsEmpty() || !ClipCopy(clip, x, y, s)) return;
  const int32_t w = s.Width(), h = s.Height();
  if (BitCount() == src.BitCount() && storageBits_ >= 8) {
    const size_t bpp = size_t(BytesPerPixel());
    for (int32_t j = 0; j < h; ++j)
      std::memcpy(Row(y + j) + size_t(x) * bpp, src.Row(s.Top + j) + size_t(s.Left) * bpp, size_t(w) * bpp);
  } else if (BitCount() == src.BitCount()) {
    for (int32_t j = 0; j < h; ++j)
      for (int32_t i = 0; i < w; ++i) SetPixel(x + i, y + j, src.GetPixel(s.Left + i, s.Top + j));
  } else if (storageBits_ >= 16) {
    // Different colour layouts: channel arithmetic, pixel by pixel.
    for (int32_t j = 0; j < h; ++j)
      for (int32_t i = 0; i < w; ++i) SetPixel(x + i, y + j, MapColor(src.PixelToColor(src.GetPixel(s.Left + i, s.Top + j))));
  } else {
    // Into a palette: the nearest entries, found once per colour.
    std::unordered_map<uint32_t, uint32_t> seen;
    for (int32_t j = 0; j < h; ++j)
      for (int32_t i = 0; i < w; ++i) {
        const uint32_t p = src.GetPixel(s.Left + i, s.Top + j);
        auto it = seen.find(p);
        if (it == seen.end()) it = seen.emplace(p, MapColor(src.PixelToColor(p))).first;
        SetPixel(x + i, y + j, it->second);
      }
  }
}

void TDIBSurface::Assign(const TDIBSurface& o) {
  if (&o == this) return;
  width_ = o.width_, height_ = o.height_, storageBits_ = o.storageBits_, pitch_ = o.pitch_;
  redMask_ = o.redMask_, greenMask_ = o.greenMask_, blueMask_ = o.blueMask_;
  bits_ = o.bits_;
  palette_ = o.palette_;
  if (o.mask_) {
    if (!mask_) mask_ = std::make_unique<TDIBSurface>();
    mask_->Assign(*o.mask_);
  } else {
    mask_.reset();
  }
}

void TDIBSurface::AssignDrawn(const TDIBSurface& o) {
  if (&o == this) return;
  FreeMask();
  SetSize(o.width_, o.height_, o.BitCount());
  palette_ = o.palette_;
  const TRect saved = Clip;
  Clip = TRect{};
  CopyRect(0, 0, o.ClientRect(), o);
  Clip = saved;
  if (o.mask_) {
    mask_ = std::make_unique<TDIBSurface>();
    mask_->Assign(*o.mask_);
  }
}

void TDIBSurface::CropFrom(const TDIBSurface& o, TRect r, bool withMask) {
  if (&o == this) {
    TDIBSurface copy;
    copy.Assign(o);
    CropFrom(copy, r, withMask);
    return;
  }
  r = IntersectRect(r, o.ClientRect());
  FreeMask();
  SetSize(r.Width(), r.Height(), o.BitCount());
  palette_ = o.palette_;
  const TRect saved = Clip;
  Clip = TRect{};
  CopyRect(0, 0, r, o);
  Clip = saved;
  if (withMask && o.mask_) {
    EnsureMask();
    mask_->CopyRect(0, 0, r, *o.mask_);
  }
}

void TDIBSurface::Crop(TRect r) { CropFrom(*this, r, true); }

TRect TDIBSurface::ContentBounds(int32_t key) const {
  if (key == -1 || IsEmpty()) return ClientRect();
  const uint32_t k = uint32_t(key);
  auto rowHas = [&](int32_t y) {
    for (int32_t x = 0; x < width_; ++x)
      if (GetPixel(x, y) != k) return true;
    return false;
  };
  auto colHas = [&](int32_t x, int32_t top, int32_t bottom) {
    for (int32_t y = top; y < bottom; ++y)
      if (GetPixel(x, y) != k) return true;
    return false;
  };
  int32_t top = 0;
  while (top < height_ && !rowHas(top)) ++top;
  if (top == height_) return TRect{};
  int32_t bottom = height_;
  while (!rowHas(bottom - 1)) --bottom;
  int32_t left = 0;
  while (!colHas(left, top, bottom)) ++left;
  int32_t right = width_;
  while (!colHas(right - 1, top, bottom)) --right;
  return TRect{left, top, right, bottom};
}

void TDIBSurface::Trim(int32_t key) {
  TRect r = ContentBounds(key);
  if (r == ClientRect()) return;
  if (r.IsEmpty()) r = TRect{0, 0, 1, 1};
  Crop(r);
}

void TDIBSurface::MirrorH() {
  for (int32_t y = 0; y < height_; ++y)
    for (int32_t x = 0, e = width_ - 1; x < e; ++x, --e) {
      const uint32_t a = GetPixel(x, y);
      SetPixel(x, y, GetPixel(e, y));
      SetPixel(e, y, a);
    }
  if (mask_) mask_->MirrorH();
}

void TDIBSurface::MirrorV() {
  std::vector<uint8_t> tmp(static_cast<size_t>(pitch_));
  for (int32_t y = 0, e = height_ - 1; y < e; ++y, --e) {
    std::memcpy(tmp.data(), Row(y), tmp.size());
    std::memcpy(Row(y), Row(e), tmp.size());
    std::memcpy(Row(e), tmp.data(), tmp.size());
  }
  if (mask_) mask_->MirrorV();
}

// --- mask ------------------------------------------------------------------------------

TDIBSurface& TDIBSurface::EnsureMask() {
  if (!mask_) {
    mask_ = std::make_unique<TDIBSurface>();
    mask_->SetSize(width_, height_, 8);
  } else if (mask_->width_ != width_ || mask_->height_ != height_ || mask_->storageBits_ != 8) {
    mask_->SetSize(width_, height_, 8);
  }
  return *mask_;
}

void TDIBSurface::FillMaskOpaque() {
  EnsureMask();
  std::fill(mask_->bits_.begin(), mask_->bits_.end(), uint8_t(255));
}

void TDIBSurface::SetMaskRows(const TDIBSurface& rows) {
  EnsureMask();
  if (rows.storageBits_ != 8) return;
  const int32_t h = std::min(height_, rows.height_);
  const size_t n = size_t(std::min(width_, rows.width_));
  for (int32_t y = 0; y < h; ++y) std::memcpy(mask_->Row(y), rows.Row(y), n);
}

void TDIBSurface::SetMaskRect(int32_t x, int32_t y, TRect srcRect, const TDIBSurface& src) {
  EnsureMask();
  if (src.storageBits_ != 8) return;
  mask_->CopyRect(x, y, srcRect, src);
}

void TDIBSurface::FreeMask() { mask_.reset(); }

void TDIBSurface::AttachMask(std::unique_ptr<TDIBSurface> m) {
  if (m && (m->width_ != width_ || m->height_ != height_ || m->storageBits_ != 8)) {
    m->SetSize(width_, height_, 8);
  }
  mask_ = std::move(m);
}

// --- colours ---------------------------------------------------------------------------

std::vector<uint32_t> TDIBSurface::CollectColours() const {
  std::vector<uint32_t> out;
  if (BitCount() == 15 || IsEmpty()) return out;
  std::unordered_set<uint32_t> seen;
  std::vector<uint8_t> row(size_t(width_) * 3);
  for (int32_t y = 0; y < height_; ++y) {
    ReadRowBGR(y, row.data());
    for (int32_t x = 0; x < width_; ++x) {
      const uint32_t e = uint32_t(row[x * 3]) | (uint32_t(row[x * 3 + 1]) << 8) | (uint32_t(row[x * 3 + 2]) << 16);
      if (seen.insert(e).second) out.push_back(e);
    }
  }
  return out;
}

int32_t TDIBSurface::ColourCount() const { return int32_t(CollectColours().size()); }

// --- resizing --------------------------------------------------------------------------

namespace {

// Area-averaging reduction of an image of ch channels (1 or 3). key: a 3-byte colour
// blue, green, red to leave out, or none.
void Reduce(const uint8_t* src, int32_t sw, int32_t sh, int32_t ch, uint8_t* dst, int32_t w, int32_t h,
            const uint8_t* key) {
  const double sx = double(sw) / w, sy = double(sh) / h;
  std::vector<double> sum(static_cast<size_t>(ch));
  for (int32_t y = 0; y < h; ++y) {
    const double y0 = y * sy, y1 = (y + 1) * sy - 0.000001;
    const int32_t ja = int32_t(y0), jb = std::min(sh - 1, int32_t(y1));
    for (int32_t x = 0; x < w; ++x) {
      const double x0 = x * sx, x1 = (x + 1) * sx - 0.000001;
      const int32_t ia = int32_t(x0), ib = std::min(sw - 1, int32_t(x1));
      std::fill(sum.begin(), sum.end(), 0.0);
      int64_t n = 0, k = 0;
      for (int32_t j = ja; j <= jb; ++j) {
        const double fy = std::min(y1, double(j + 1)) - std::max(y0, double(j));
        for (int32_t i = ia; i <= ib; ++i) {
          ++n;
          const uint8_t* p = src + (size_t(j) * size_t(sw) + size_t(i)) * size_t(ch);
          if (key && p[0] == key[0] && p[1] == key[1] && p[2] == key[2]) continue;
          ++k;
          const double f = (std::min(x1, double(i + 1)) - std::max(x0, double(i))) * fy;
          for (int32_t c = 0; c < ch; ++c) sum[size_t(c)] += p[c] * f;
        }
      }
      uint8_t* o = dst + (size_t(y) * size_t(w) + size_t(x)) * size_t(ch);
      const double e = double(k) * sx * sy / double(std::max<int64_t>(1, n));
      for (int32_t c = 0; c < ch; ++c) {
        if (e <= 0) {
          o[c] = key ? key[c] : 0;
        } else {
          const double v = std::nearbyint(sum[size_t(c)] / e);  // halves to even
          o[c] = uint8_t(std::clamp(v, 0.0, 255.0));
        }
      }
    }
  }
}

// Bilinear enlargement; positions beyond the edges take the edge pixels. Neighbours of
// the key colour are left out of the weights (a pixel whose four neighbours are all key
// stays key), so that keyed edges do not bleed a fringe of the key colour.
void Enlarge(const uint8_t* src, int32_t sw, int32_t sh, int32_t ch, uint8_t* dst, int32_t w, int32_t h,
             const uint8_t* key) {
  const double sx = double(sw) / w, sy = double(sh) / h;
  for (int32_t y = 0; y < h; ++y) {
    double fy = (y + 0.5) * sy - 0.5;
    fy = std::clamp(fy, 0.0, double(sh - 1));
    const int32_t j0 = int32_t(fy), j1 = std::min(sh - 1, j0 + 1);
    const double ty = fy - j0;
    for (int32_t x = 0; x < w; ++x) {
      double fx = (x + 0.5) * sx - 0.5;
      fx = std::clamp(fx, 0.0, double(sw - 1));
      const int32_t i0 = int32_t(fx), i1 = std::min(sw - 1, i0 + 1);
      const double tx = fx - i0;
      const uint8_t* q[4] = {src + (size_t(j0) * sw + i0) * ch, src + (size_t(j0) * sw + i1) * ch,
                             src + (size_t(j1) * sw + i0) * ch, src + (size_t(j1) * sw + i1) * ch};
      double wgt[4] = {(1 - tx) * (1 - ty), tx * (1 - ty), (1 - tx) * ty, tx * ty};
      double total = 0;
      for (int k = 0; k < 4; ++k) {
        if (key && q[k][0] == key[0] && q[k][1] == key[1] && q[k][2] == key[2]) wgt[k] = 0;
        total += wgt[k];
      }
      uint8_t* o = dst + (size_t(y) * w + x) * ch;
      for (int32_t c = 0; c < ch; ++c) {
        if (total <= 0) {
          o[c] = key ? key[c] : 0;
          continue;
        }
        double v = 0;
        for (int k = 0; k < 4; ++k) v += q[k][c] * wgt[k];
        o[c] = uint8_t(std::clamp(std::nearbyint(v / total), 0.0, 255.0));
      }
    }
  }
}

void ResizeChannels(const uint8_t* src, int32_t sw, int32_t sh, int32_t ch, uint8_t* dst, int32_t w, int32_t h,
                    const uint8_t* key) {
  if (w > sw || h > sh) Enlarge(src, sw, sh, ch, dst, w, h, key);
  else Reduce(src, sw, sh, ch, dst, w, h, key);
}

}  // namespace

void TDIBSurface::Resize(int32_t w, int32_t h, bool keep, TColorRef key, bool smooth) {
  if (w == width_ && h == height_) return;
  if (w <= 0 || h <= 0 || w > kMaxImageSide || h > kMaxImageSide || IsEmpty() ||
      PaddedRowBytes(w, 32) * h > kMaxImageBytes)
    throw EKestBadData(gfxmsg::kBadSize);
  std::unique_ptr<TDIBSurface> mask = std::move(mask_);
  if (mask) {
    // The mask holds coverage values, not palette indices: resized value by value.
    std::vector<uint8_t> src(size_t(width_) * height_), dst(size_t(w) * h);
    for (int32_t y = 0; y < height_; ++y) std::memcpy(src.data() + size_t(y) * width_, mask->Row(y), size_t(width_));
    if (smooth) {
      ResizeChannels(src.data(), width_, height_, 1, dst.data(), w, h, nullptr);
    } else {
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
          dst[size_t(y) * w + x] = src[size_t(int64_t(y) * height_ / h) * width_ + size_t(int64_t(x) * width_ / w)];
    }
    mask->SetSize(w, h, 8);
    for (int32_t y = 0; y < h; ++y) std::memcpy(mask->Row(y), dst.data() + size_t(y) * w, size_t(w));
  }
  const int32_t oldBits = BitCount();
  if (!smooth) {
    TDIBSurface copy;
    copy.Assign(*this);
    SetSize(w, h, oldBits);
    palette_ = copy.palette_;
    for (int32_t y = 0; y < h; ++y) {
      const int32_t sy = int32_t(int64_t(y) * copy.height_ / h);
      for (int32_t x = 0; x < w; ++x) SetPixel(x, y, copy.GetPixel(int32_t(int64_t(x) * copy.width_ / w), sy));
    }
    mask_ = std::move(mask);
    return;
  }
  std::vector<uint8_t> src(size_t(width_) * height_ * 3), dst(size_t(w) * h * 3);
  for (int32_t y = 0; y < height_; ++y) ReadRowBGR(y, src.data() + size_t(y) * width_ * 3);
  uint8_t keyBytes[3] = {ColorRefB(key), ColorRefG(key), ColorRefR(key)};
  ResizeChannels(src.data(), width_, height_, 3, dst.data(), w, h, key >= 0 ? keyBytes : nullptr);
  const auto oldPalette = palette_;
  SetSize(w, h, keep ? oldBits : 24);
  palette_ = oldPalette;
  // Palette layouts map to the nearest entries of their former palette; the other layouts
  // are converted colour by colour.
  for (int32_t y = 0; y < h; ++y) WriteRowBGR(y, dst.data() + size_t(y) * w * 3);
  mask_ = std::move(mask);
}

// --- bit depth ---------------------------------------------------------------------------

void TDIBSurface::ConvertBitCount(int32_t b, int32_t maxColours, bool dither) {
  if (!ValidBitCount(b))
    throw EKestBadData(gfxmsg::kBadDepth);
  const int32_t cur = BitCount();
  if (cur == b && (b > 8 || maxColours >= (1 << b))) return;
  std::unique_ptr<TDIBSurface> mask = std::move(mask_);
  const int32_t w = width_, h = height_;
  TDIBSurface old(std::move(*this));  // this image is allocated anew below
  if (cur <= 8 && b <= 8 && b >= cur && maxColours >= (1 << cur)) {
    // The palette already fits: the indices are kept, in the wider storage.
    SetSize(w, h, b);
    palette_ = old.palette_;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) SetPixel(x, y, old.GetPixel(x, y));
    mask_ = std::move(mask);
    return;
  }
  if (b > 8) {
    SetSize(w, h, b);
    std::vector<uint8_t> row(size_t(w) * 3);
    for (int32_t y = 0; y < h; ++y) {
      old.ReadRowBGR(y, row.data());
      WriteRowBGR(y, row.data());
    }
    mask_ = std::move(mask);
    return;
  }
  const int limit = std::clamp(maxColours, 1, 1 << b);
  std::vector<uint8_t> px(size_t(w) * size_t(h) * 3);
  for (int32_t y = 0; y < h; ++y) old.ReadRowBGR(y, px.data() + size_t(y) * size_t(w) * 3);
  // Distinct colours in the order first met (any layout, 15 bits included).
  std::unordered_map<uint32_t, uint8_t> index;
  std::vector<uint32_t> colours;
  for (size_t i = 0; i < size_t(w) * size_t(h) && int(colours.size()) <= limit; ++i) {
    const uint32_t e = uint32_t(px[i * 3]) | (uint32_t(px[i * 3 + 1]) << 8) | (uint32_t(px[i * 3 + 2]) << 16);
    if (index.emplace(e, uint8_t(colours.size())).second) colours.push_back(e);
  }
  SetSize(w, h, b);
  palette_.fill(0);  // the fixed default entry: black
  if (int(colours.size()) <= limit) {
    std::copy(colours.begin(), colours.end(), palette_.begin());
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t* q = px.data() + (size_t(y) * size_t(w) + size_t(x)) * 3;
        SetPixel(x, y, index[uint32_t(q[0]) | (uint32_t(q[1]) << 8) | (uint32_t(q[2]) << 16)]);
      }
  } else {
    // Our own median cut; 1 bit is chosen directly (two colours), without a 16-colour step.
    const std::vector<uint32_t> chosen = ChoosePalette(px.data(), size_t(w) * size_t(h), limit);
    std::copy(chosen.begin(), chosen.end(), palette_.begin());
    std::vector<uint8_t> idx;
    MapToPalette(px.data(), w, h, palette_, int(chosen.size()), dither, idx);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) SetPixel(x, y, idx[size_t(y) * size_t(w) + size_t(x)]);
  }
  mask_ = std::move(mask);
}

// --- blending loops ----------------------------------------------------------------------

namespace {

void RequireSameLayout(const TDIBSurface& d, const TDIBSurface& s) {
  if (d.Width() != s.Width() || d.Height() != s.Height() || d.BitCount() != s.BitCount())
    throw EKestBadData(gfxmsg::kBadSize);
}

constexpr uint8_t kDoor[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

inline uint32_t Blend16(uint32_t s, uint32_t d, uint32_t a, uint32_t div, bool five) {
  const uint32_t gm = five ? 31 : 63, rs = five ? 10 : 11;
  const uint32_t sb = s & 31, sg = (s >> 5) & gm, sr = (s >> rs) & 31;
  const uint32_t db = d & 31, dg = (d >> 5) & gm, dr = (d >> rs) & 31;
  const uint32_t ia = 255 - a;
  const uint32_t b = (a * sb + ia * db) / div, g = (a * sg + ia * dg) / div, r = (a * sr + ia * dr) / div;
  return (r << rs) | (g << 5) | b;
}

}  // namespace

void DrawKeyedCopy(TDIBSurface& dst, const TDIBSurface& src, int32_t key) {
  RequireSameLayout(dst, src);
  if (key == -1) {
    std::memcpy(dst.Bits(), src.Bits(), dst.ByteSize());
    return;
  }
  const uint32_t k = uint32_t(key);
  const int32_t w = dst.Width(), h = dst.Height(), bpp = dst.BytesPerPixel();
  for (int32_t y = 0; y < h; ++y) {
    if (dst.StorageBitCount() < 8) {
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t p = src.GetPixel(x, y);
        if (p != k) dst.SetPixel(x, y, p);
      }
      continue;
    }
    const uint8_t* s = src.Row(y);
    uint8_t* d = dst.Row(y);
    for (int32_t x = 0; x < w; ++x, s += bpp, d += bpp) {
      uint32_t p = 0;
      std::memcpy(&p, s, size_t(bpp));
      if (p != k) std::memcpy(d, s, size_t(bpp));
    }
  }
}

void DrawKeyedBlend(TDIBSurface& dst, const TDIBSurface& src, int32_t key, int32_t alpha) {
  RequireSameLayout(dst, src);
  if (alpha <= 0) return;
  // Full opacity is a keyed copy: the /256 of the 32-bit blend would darken every pixel
  // by one step otherwise.
  if (alpha >= 255) return DrawKeyedCopy(dst, src, key);
  const uint32_t a = uint32_t(alpha), ia = 255 - a;
  const int32_t w = dst.Width(), h = dst.Height();
  const int32_t bits = dst.BitCount();
  const bool keyed = key != -1;
  const uint32_t k = uint32_t(key);
  if (bits <= 8) {
    const int level = alpha / 16;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        if (level <= 14 && kDoor[y & 3][x & 3] > level) continue;
        const uint32_t p = src.GetPixel(x, y);
        if (!keyed || p != k) dst.SetPixel(x, y, p);
      }
    return;
  }
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = src.Row(y);
    uint8_t* d = dst.Row(y);
    switch (bits) {
      case 15:
      case 16:
        for (int32_t x = 0; x < w; ++x) {
          const uint32_t sp = uint32_t(s[x * 2]) | (uint32_t(s[x * 2 + 1]) << 8);
          if (keyed && sp == k) continue;
          const uint32_t dp = uint32_t(d[x * 2]) | (uint32_t(d[x * 2 + 1]) << 8);
          const uint32_t r = Blend16(sp, dp, a, 255, bits == 15);
          d[x * 2] = uint8_t(r), d[x * 2 + 1] = uint8_t(r >> 8);
        }
        break;
      case 24:
        for (int32_t x = 0; x < w; ++x) {
          const uint8_t* sp = s + x * 3;
          if (keyed && (uint32_t(sp[0]) | (uint32_t(sp[1]) << 8) | (uint32_t(sp[2]) << 16)) == k) continue;
          uint8_t* dp = d + x * 3;
          for (int c = 0; c < 3; ++c) dp[c] = uint8_t((a * sp[c] + ia * dp[c]) / 255);
        }
        break;
      case 32:
        for (int32_t x = 0; x < w; ++x) {
          const uint8_t* sp = s + x * 4;
          uint32_t raw;
          std::memcpy(&raw, sp, 4);
          if (keyed && raw == k) continue;  // the raw value, fourth byte included
          uint8_t* dp = d + x * 4;
          for (int c = 0; c < 3; ++c) dp[c] = uint8_t((a * sp[c] + ia * dp[c]) / 256);
          dp[3] = 0;
        }
        break;
    }
  }
}

void DrawMaskBlend(TDIBSurface& dst, const TDIBSurface& src, const TDIBSurface& mask) {
  RequireSameLayout(dst, src);
  if (mask.Width() != dst.Width() || mask.Height() != dst.Height() || mask.StorageBitCount() != 8)
    throw EKestBadData(gfxmsg::kBadSize);
  const int32_t w = dst.Width(), h = dst.Height(), bits = dst.BitCount();
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* m = mask.Row(y);
    if (bits <= 8) {
      for (int32_t x = 0; x < w; ++x)
        if (m[x] >= 128) dst.SetPixel(x, y, src.GetPixel(x, y));
      continue;
    }
    const uint8_t* s = src.Row(y);
    uint8_t* d = dst.Row(y);
    const int32_t bpp = dst.BytesPerPixel();
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t a = m[x];
      if (a == 0) continue;
      if (a == 255) {
        std::memcpy(d + x * bpp, s + x * bpp, size_t(bpp));
        continue;
      }
      if (bpp == 2) {
        const uint32_t sp = uint32_t(s[x * 2]) | (uint32_t(s[x * 2 + 1]) << 8);
        const uint32_t dp = uint32_t(d[x * 2]) | (uint32_t(d[x * 2 + 1]) << 8);
        const uint32_t r = Blend16(sp, dp, a, 256, bits == 15);
        d[x * 2] = uint8_t(r), d[x * 2 + 1] = uint8_t(r >> 8);
      } else {
        // Every byte, the uninterpreted fourth one of 32 bits too.
        for (int c = 0; c < bpp; ++c) d[x * bpp + c] = uint8_t((a * s[x * bpp + c] + (255 - a) * d[x * bpp + c]) / 256);
      }
    }
  }
}

}  // namespace kest

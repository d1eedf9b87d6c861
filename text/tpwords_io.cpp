// The typesetter's stored forms (the glyph stream and the settings record) and its drawing.
#include <algorithm>
#include <cstring>

#include "common/sjis.h"
#include "text/fontpixels.h"
#include "text/tpwords.h"

namespace kest {

namespace {

// "グリフの並びが壊れています" (the glyph stream is damaged)
const char* const kMsgBadStream = "\x83\x4F\x83\x8A\x83\x74\x82\xCC\x95\xC0\x82\xD1\x82\xAA\x89\xF3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB7";

class TReader {
 public:
  TReader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  void Need(size_t k) const {
    if (k > n_ - at_) throw EKestBadData(kMsgBadStream);
  }
  uint8_t Byte() {
    Need(1);
    return p_[at_++];
  }
  int32_t Int() {
    Need(4);
    const uint32_t v = uint32_t(p_[at_]) | uint32_t(p_[at_ + 1]) << 8 | uint32_t(p_[at_ + 2]) << 16 |
                       uint32_t(p_[at_ + 3]) << 24;
    at_ += 4;
    return int32_t(v);
  }
  uint16_t Word() {
    Need(2);
    const uint16_t v = uint16_t(p_[at_] | p_[at_ + 1] << 8);
    at_ += 2;
    return v;
  }
  std::string Str() {
    const int32_t len = Int();
    if (len < 0) throw EKestBadData(kMsgBadStream);
    Need(size_t(len));
    std::string s(reinterpret_cast<const char*>(p_ + at_), size_t(len));
    at_ += size_t(len);
    return s;
  }
  // A count of items of at least minBytes each that the rest can hold.
  int32_t Count(size_t minBytes) {
    const int32_t c = Int();
    if (c < 0 || size_t(c) > (n_ - at_) / std::max<size_t>(1, minBytes)) throw EKestBadData(kMsgBadStream);
    return c;
  }
  size_t Pos() const { return at_; }
  size_t Left() const { return n_ - at_; }
  const uint8_t* Here() const { return p_ + at_; }
  void Skip(size_t k) {
    Need(k);
    at_ += k;
  }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t at_ = 0;
};

void PutInt(std::vector<uint8_t>& o, int32_t v) {
  for (int i = 0; i < 4; ++i) o.push_back(uint8_t(uint32_t(v) >> (8 * i)));
}
void PutStr(std::vector<uint8_t>& o, const std::string& s) {
  PutInt(o, int32_t(s.size()));
  o.insert(o.end(), s.begin(), s.end());
}

}  // namespace

void TTpWord::LoadGlyphs(const uint8_t* data, size_t size) {
  TReader r(data, size);
  int32_t version = 0;
  if (size >= 9 && std::memcmp(data, "TpWord", 6) == 0) {
    for (int i = 6; i < 9; ++i) {
      if (data[i] < '0' || data[i] > '9') throw EKestBadData(kMsgBadStream);
      version = version * 10 + (data[i] - '0');
    }
    r.Skip(9);
  }
  // Decorations; their stored counts are not trusted (recomputed from use).
  const int32_t nd = r.Count(4 * 4 + 2 + 1 + 8);
  std::vector<TDecorate> decs(static_cast<size_t>(nd));
  for (auto& d : decs) {
    r.Int();  // reference count
    d.Color = r.Int();
    d.BorderColor = r.Int();
    d.Size = std::clamp(r.Int(), 0, kMaxFontSize);
    d.Style = r.Byte() & 15;
    d.NoBreak = r.Byte() ? 1 : 0;
    if (version > 99) d.BorderWidth = r.Int();
    else d.BorderWidth = r.Byte() ? 1 : 0;
    if (d.BorderWidth != -1) d.BorderWidth = std::clamp(d.BorderWidth, 0, kMaxBorderWidth);
    d.FontName = r.Str();
    d.Ruby = r.Str();
    if (version >= 100) {
      d.ShadowWidth = r.Int();
      if (d.ShadowWidth != -1) d.ShadowWidth = std::clamp(d.ShadowWidth, 0, kMaxBorderWidth);
      d.ShadowColor = r.Int();
    }
  }
  auto decIndex = [&]() -> const TDecorate& {
    const int32_t i = r.Int();
    if (i < 0 || i >= nd) throw EKestBadData(kMsgBadStream);
    return decs[size_t(i)];
  };
  const int32_t ng = r.Count(1);
  struct Pending {
    std::unique_ptr<TWdGlyph> g;
    const TDecorate* d = nullptr;
  };
  std::vector<Pending> out;
  out.reserve(size_t(ng));
  for (int32_t k = 0; k < ng; ++k) {
    const uint8_t kind = r.Byte();
    Pending p;
    switch (kind) {
      case 1: {
        auto c = std::make_unique<TWdChar>();
        c->Link = r.Str();
        c->Wait = r.Int();
        c->Code = r.Word();
        p.d = &decIndex();
        p.g = std::move(c);
        break;
      }
      case 9: {
        auto im = std::make_unique<TWdImg>();
        im->Link = r.Str();
        im->Wait = r.Int();
        im->FileName = r.Str();
        const uint8_t a = r.Byte();
        im->VAlign = a == 3 || a == 4 ? a : 5;
        p.g = std::move(im);
        break;
      }
      case 2: case 3: case 4: case 5: case 6: case 7: case 10: {
        auto o = std::make_unique<TWdOpe>(TWdKind(kind));
        if (kind == 2) {
          const uint8_t a = r.Byte();
          o->Align = a == 2 || a == 3 ? a : 1;
        } else if (kind == 3) {
          o->Clear = r.Byte() ? 1 : 0;
        } else if (kind == 6) {
          o->Value = r.Str();
          if (!o->Value.empty() && o->Value[0] == '\x01') o->End = true, o->Value.erase(0, 1);
        } else if (kind == 7 || kind == 10) {
          p.d = &decIndex();
          if (version > 100) {
            o->Wait = r.Int();
            o->Link = r.Str();
          }
          if (version >= 102) {
            o->Value = r.Str();
          } else {
            // Older streams hold the expression compiled.
            size_t used = 0;
            o->Compiled = LoadCompiledExpression(r.Here(), r.Left(), used);
            r.Skip(used);
          }
        }
        p.g = std::move(o);
        break;
      }
      default:
        throw EKestBadData(kMsgBadStream);
    }
    out.push_back(std::move(p));
  }
  // The stream is sound: the glyphs join the list.
  for (auto& p : out) {
    if (auto* c = dynamic_cast<TWdChar*>(p.g.get())) c->Decor = decor_.Acquire(*p.d);
    if (auto* o = dynamic_cast<TWdOpe*>(p.g.get()); o && p.d) o->Decor = decor_.Acquire(*p.d);
    MeasureGlyph(*p.g);
    glyphs_.push_back(std::move(p.g));
  }
}

std::vector<uint8_t> TTpWord::SaveGlyphs(int32_t first, int32_t last) const {
  const int32_t n = GlyphCount();
  if (last < 0 || last >= n) last = n - 1;
  first = std::max(0, first);
  std::vector<const TWdGlyph*> list;
  for (int32_t i = first; i <= last; ++i)
    if (glyphs_[size_t(i)]->Countable()) list.push_back(glyphs_[size_t(i)].get());
  std::vector<const TDecorate*> decs;
  auto index = [&](const TDecorate* d) {
    static const TDecorate none;
    if (!d) d = &none;
    for (size_t i = 0; i < decs.size(); ++i)
      if (decs[i]->SameValues(*d)) return int32_t(i);
    decs.push_back(d);
    return int32_t(decs.size() - 1);
  };
  std::vector<uint8_t> body;
  PutInt(body, int32_t(list.size()));
  for (const TWdGlyph* g : list) {
    body.push_back(uint8_t(g->Kind));
    switch (g->Kind) {
      case TWdKind::Char: {
        auto* c = static_cast<const TWdChar*>(g);
        PutStr(body, c->Link);
        PutInt(body, c->Wait);
        body.push_back(uint8_t(c->Code));
        body.push_back(uint8_t(c->Code >> 8));
        PutInt(body, index(c->Decor));
        break;
      }
      case TWdKind::Img: {
        auto* im = static_cast<const TWdImg*>(g);
        PutStr(body, im->Link);
        PutInt(body, im->Wait);
        PutStr(body, im->FileName);
        body.push_back(im->VAlign);
        break;
      }
      default: {
        auto* o = static_cast<const TWdOpe*>(g);
        if (g->Kind == TWdKind::Align) body.push_back(o->Align);
        else if (g->Kind == TWdKind::Return) body.push_back(o->Clear);
        else if (g->Kind == TWdKind::Event) PutStr(body, o->End ? "\x01" + o->Value : o->Value);
        else if (g->Kind == TWdKind::Var || g->Kind == TWdKind::HistChar) {
          PutInt(body, index(o->Decor));
          PutInt(body, o->Wait);
          PutStr(body, o->Link);
          PutStr(body, o->Value);
        }
      }
    }
  }
  std::vector<uint8_t> out{'T', 'p', 'W', 'o', 'r', 'd', '1', '1', '0'};
  PutInt(out, int32_t(decs.size()));
  for (const TDecorate* d : decs) {
    PutInt(out, std::max(1, d->RefCount));
    PutInt(out, d->Color);
    PutInt(out, d->BorderColor);
    PutInt(out, d->Size);
    out.push_back(d->Style);
    out.push_back(d->NoBreak);
    PutInt(out, d->BorderWidth);
    PutStr(out, d->FontName);
    PutStr(out, d->Ruby);
    PutInt(out, d->ShadowWidth);
    PutInt(out, d->ShadowColor);
  }
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

void TTpWord::SaveSettings(std::vector<uint8_t>& o) const {
  PutInt(o, S.OriginX), PutInt(o, S.OriginY), PutInt(o, S.FontSize);
  PutStr(o, S.FontName);
  PutInt(o, S.TextColor), PutInt(o, S.Height), PutInt(o, S.Width), PutInt(o, S.Quality), PutInt(o, S.LineSpacing);
  o.push_back(S.Paging);
  PutInt(o, S.LinkColor), PutInt(o, S.HoverColor), PutInt(o, S.FadeTime), PutInt(o, S.BorderColor),
      PutInt(o, S.Opacity);
  o.push_back(S.Paused);
  PutInt(o, S.CaretX), PutInt(o, S.CaretY), PutInt(o, S.Speed);
  o.push_back(S.EventsOn);
  PutInt(o, S.ShadowColor), PutInt(o, S.BorderWidth), PutInt(o, S.ShadowWidth);
}

size_t TTpWord::LoadSettings(const uint8_t* data, size_t size, int32_t version) {
  TReader r(data, size);
  TTpSettings s = S;
  s.OriginX = r.Int(), s.OriginY = r.Int(), s.FontSize = std::clamp(r.Int(), 1, kMaxFontSize);
  s.FontName = r.Str();
  s.TextColor = r.Int(), s.Height = r.Int(), s.Width = r.Int(), s.Quality = std::clamp(r.Int(), 0, 3);
  s.LineSpacing = r.Int();
  s.Paging = r.Byte() ? 1 : 0;
  s.LinkColor = r.Int(), s.HoverColor = r.Int(), s.FadeTime = r.Int(), s.BorderColor = r.Int();
  s.Opacity = std::clamp(r.Int(), 0, 511);
  s.Paused = r.Byte() ? 1 : 0;
  s.CaretX = r.Int(), s.CaretY = r.Int(), s.Speed = r.Int();
  s.EventsOn = r.Byte() ? 1 : 0;
  if (version >= 110) s.ShadowColor = r.Int();
  if (version > 110) {
    s.BorderWidth = std::clamp(r.Int(), 0, kMaxBorderWidth);
    s.ShadowWidth = std::clamp(r.Int(), 0, kMaxBorderWidth);
  }
  S = s;
  return r.Pos();
}

// --- drawing -----------------------------------------------------------------------------

namespace {

TRect Union(const TRect& a, const TRect& b) {
  if (a.IsEmpty()) return b;
  if (b.IsEmpty()) return a;
  return TRect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
               std::max(a.Bottom, b.Bottom)};
}

// The work surfaces' picture composed onto the targets at (x, y) with an alpha: the "over"
// of a straight-alpha layer, as the glyph primitives compose.
void ComposeOver(const TCustomDIBX& wc, const TCustomDIBX& wa, const TRect& part, TCustomDIBX& colour,
                 TCustomDIBX& coverage, int32_t dx, int32_t dy, int32_t alpha) {
  const uint32_t masks[3] = {colour.RedMask(), colour.GreenMask(), colour.BlueMask()};
  const TRect clip = IntersectRect(colour.ClipArea(), coverage.ClipArea());
  for (int32_t y = part.Top; y < part.Bottom; ++y)
    for (int32_t x = part.Left; x < part.Right; ++x) {
      const int32_t tx = x + dx, ty = y + dy;
      if (tx < clip.Left || ty < clip.Top || tx >= clip.Right || ty >= clip.Bottom) continue;
      const uint32_t k = wa.GetPixel(x, y) * uint32_t(alpha) / 255;
      if (k == 0) continue;
      const uint32_t a = coverage.GetPixel(tx, ty);
      const uint32_t na = a + k * (255 - a) / 255;
      const uint32_t f = na == 0 ? 255 : k * 255 / na;
      const uint32_t c = wc.GetPixel(x, y), old = colour.GetPixel(tx, ty);
      uint32_t v = colour.BitCount() == 32 ? old & 0xFF000000u : 0;
      for (uint32_t m : masks) v |= uint32_t((uint64_t(f) * (c & m) + uint64_t(255 - f) * (old & m)) >> 8) & m;
      colour.SetPixel(tx, ty, v);
      coverage.SetPixel(tx, ty, na);
    }
}

}  // namespace

TRect TTpWord::Draw(TWdPage& page, TCustomDIBX& colour, TCustomDIBX& coverage) {
  TFontPixelManager& fonts = Fonts ? *Fonts : TFontPixelManager::Instance();
  fonts.SetQuality(S.Quality);
  TRect changed;
  const TRect visible = colour.ClipArea();
  TDIBX workC(1, 1, colour.BitCount() == 15 || colour.BitCount() == 16 || colour.BitCount() == 32 ? colour.BitCount() : 32);
  TDIBX workA(1, 1, 8);

  auto drawGlyph = [&](const TFontPixel& fp, const TRect& cell, int32_t alpha, uint32_t sc, uint32_t bc, uint32_t tc,
                       bool jn, bool jp, int32_t d, int32_t b) {
    if (alpha >= 255) {
      changed = Union(changed, fonts.DrawChar(fp, colour, coverage, cell, sc, bc, tc, jn, jp, d, b));
      return;
    }
    if (alpha <= 0) return;
    // Partly faded in: drawn apart, then composed with its alpha.
    const int32_t margin = 2 * b + d + 2;
    const int32_t w = cell.Width() + fp.Image.Width() + margin + fp.LeftOffset + fp.Size;
    const int32_t h = cell.Height() + fp.Image.Height() + margin + fp.TopOffset;
    workC.SetSize(w, h, workC.BitCount());
    workA.SetSize(w, h, 8);
    workC.Clear(0);
    workA.Clear(0);
    const TRect local{0, 0, cell.Width(), cell.Height()};
    const TRect r = fonts.DrawChar(fp, workC, workA, local, sc, bc, tc, jn, jp, d, b);
    const TRect part = IntersectRect(r, workA.BoundsRect());
    ComposeOver(workC, workA, part, colour, coverage, cell.Left, cell.Top, alpha);
    changed = Union(changed, TRect{part.Left + cell.Left, part.Top + cell.Top, part.Right + cell.Left,
                                   part.Bottom + cell.Top});
  };

  for (auto& rowp : page.Rows) {
    TWdRow& row = *rowp;
    const int32_t ry = S.OriginY + row.Y - page.ScrollOffset;
    if (ry >= visible.Bottom || ry + row.Height <= visible.Top) continue;  // rows outside are skipped
    const int32_t rx = S.OriginX + row.X;
    for (size_t gi = 0; gi < row.Glyphs.size(); ++gi) {
      TWdGlyph* g = row.Glyphs[gi];
      if (g->Kind == TWdKind::Img) {
        auto* im = static_cast<TWdImg*>(g);
        if (!im->Image || im->Alpha <= 0) continue;
        const int32_t x = rx + g->X, y = ry + g->Y;
        const TRect src = im->Image->BoundsRect();
        const int32_t op = std::clamp(S.Opacity, 0, 511);
        if (op >= 256) {
          colour.DrawAdd(x, y, src, *im->Image, (op - 256) * im->Alpha / 255);
        } else {
          const int32_t a = op * im->Alpha / 255;
          if (a >= 255) colour.Draw(x, y, src, *im->Image, false);
          else if (a > 0) colour.DrawAlpha(x, y, src, *im->Image, a, false);
        }
        coverage.FillRect(IntersectRect(TRect{x, y, x + src.Right, y + src.Bottom}, coverage.ClipArea()), 255);
        changed = Union(changed, TRect{x, y, x + src.Right, y + src.Bottom});
        continue;
      }
      if (g->Kind != TWdKind::Char && g->Kind != TWdKind::VarChar) continue;
      auto* c = static_cast<TWdChar*>(g);
      if (c->Alpha <= 0) continue;
      const TDecorate* d = c->Decor;
      const int32_t size = SizeOf(d), b = BorderOf(d), sh = ShadowOf(d);
      std::string face = d && !d->FontName.empty() ? d->FontName : S.FontName;
      if (face.empty()) face = kDefaultFaceName;
      uint8_t style = d ? d->Style & 15 : 0;
      if (!c->Link.empty()) style |= FS_UNDERLINE;
      TColorRef tc = c->Hovered ? S.HoverColor
                                : d && d->Color != -1 ? d->Color : !c->Link.empty() ? S.LinkColor : S.TextColor;
      const TColorRef bc = d && d->BorderColor != -1 ? d->BorderColor : S.BorderColor;
      const TColorRef scol = d && d->ShadowColor != -1 ? d->ShadowColor : S.ShadowColor;
      auto joins = [&](size_t k) {
        if (k >= row.Glyphs.size()) return false;
        const TWdGlyph* o = row.Glyphs[k];
        if (o->Kind != TWdKind::Char && o->Kind != TWdKind::VarChar) return false;
        const TDecorate* od = static_cast<const TWdChar*>(o)->Decor;
        return BorderOf(od) == b && ShadowOf(od) == sh &&
               (od && od->BorderColor != -1 ? od->BorderColor : S.BorderColor) == bc &&
               (od && od->ShadowColor != -1 ? od->ShadowColor : S.ShadowColor) == scol;
      };
      const bool jn = joins(gi + 1), jp = gi > 0 && joins(gi - 1);
      const int32_t rubyH = d && !d->Ruby.empty() ? std::max(1, size / 2) : 0;
      const int32_t x0 = rx + g->X, y0 = ry + g->Y;
      const TRect cell{x0, y0 + rubyH, x0 + g->Width, y0 + g->Height};
      auto fp = fonts.GetGlyph(c->Code, face, style, size);
      drawGlyph(*fp, cell, c->Alpha, colour.MapColor(scol), colour.MapColor(bc), colour.MapColor(tc), jn, jp, sh, b);
      // Ruby over the group, drawn once at its first glyph.
      if (rubyH > 0 && !(gi > 0 && RubyOfGroupStart(row, gi))) {
        size_t end = gi;
        int32_t gw = 0;
        while (end < row.Glyphs.size() && row.Glyphs[end]->Kind != TWdKind::Img) {
          const TWdGlyph* o = row.Glyphs[end];
          if ((o->Kind != TWdKind::Char && o->Kind != TWdKind::VarChar) || !static_cast<const TWdChar*>(o)->Decor ||
              static_cast<const TWdChar*>(o)->Decor->Ruby != d->Ruby)
            break;
          gw += o->Width;
          ++end;
        }
        std::vector<uint16_t> codes;
        for (size_t k = 0; k < d->Ruby.size();) {
          const size_t len = CharLen(d->Ruby, k);
          codes.push_back(len == 2 ? uint16_t(uint8_t(d->Ruby[k]) << 8 | uint8_t(d->Ruby[k + 1]))
                                   : uint8_t(d->Ruby[k]));
          k += len;
        }
        const int32_t rs = rubyH;
        const int32_t share = codes.empty() ? 0 : gw / int32_t(codes.size());
        for (size_t k = 0; k < codes.size(); ++k) {
          const int32_t centre = x0 + share * int32_t(k) + share / 2;
          const int32_t left = centre - (codes[k] < 256 ? rs / 4 : rs / 2);
          const TRect rc{left, y0, left + rs + 2 * b + sh, y0 + rs + 2 * b + sh};
          auto rp = fonts.GetGlyph(codes[k], face, uint8_t(style & ~(FS_UNDERLINE | FS_STRIKEOUT)), rs);
          drawGlyph(*rp, rc, c->Alpha, colour.MapColor(scol), colour.MapColor(bc), colour.MapColor(tc), true, true,
                    sh, b);
        }
      }
    }
  }
  return changed;
}

bool TTpWord::RubyOfGroupStart(const TWdRow& row, size_t gi) const {
  // Whether the glyph before gi belongs to the same ruby group (so gi is not its start).
  const TWdGlyph* p = row.Glyphs[gi - 1];
  const TWdGlyph* c = row.Glyphs[gi];
  if ((p->Kind != TWdKind::Char && p->Kind != TWdKind::VarChar)) return false;
  const TDecorate* pd = static_cast<const TWdChar*>(p)->Decor;
  const TDecorate* cd = static_cast<const TWdChar*>(c)->Decor;
  return pd && cd && !cd->Ruby.empty() && pd->Ruby == cd->Ruby;
}

}  // namespace kest

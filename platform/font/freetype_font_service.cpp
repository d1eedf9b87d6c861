#include "platform/font/freetype_font_service.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "common/sjis.h"

namespace kest {

char32_t CodeToUnicode(uint16_t code) {
  std::string bytes;
  if (code < 256) {
    bytes.push_back(char(code));
  } else {
    bytes.push_back(char(code >> 8));
    bytes.push_back(char(code & 0xFF));
  }
  const std::string u = Cp932ToUtf8(bytes);
  if (u.empty()) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(u.data());
  char32_t c;
  size_t n;
  if (p[0] < 0x80) {
    c = p[0];
    n = 1;
  } else if ((p[0] & 0xE0) == 0xC0) {
    c = p[0] & 0x1F;
    n = 2;
  } else if ((p[0] & 0xF0) == 0xE0) {
    c = p[0] & 0x0F;
    n = 3;
  } else {
    c = p[0] & 0x07;
    n = 4;
  }
  if (u.size() < n) return 0;
  for (size_t i = 1; i < n; ++i) c = (c << 6) | (p[i] & 0x3F);
  // Two characters (a replacement for each byte) mean the code has no mapping.
  if (u.size() != n || c == 0xFFFD) return 0;
  return c;
}

namespace {

constexpr int32_t kMinSize = 1;
constexpr int32_t kMaxSize = 2048;  // far above any title's text; bounds the work per glyph

struct FontFile {
  std::string path;
  int index = 0;
  bool operator<(const FontFile& o) const { return path != o.path ? path < o.path : index < o.index; }
};

// The FreeType library and the faces opened from it, shared by the service and every face.
struct FtShared {
  FT_Library lib = nullptr;
  std::map<FontFile, FT_Face> faces;
  ~FtShared() {
    for (auto& [file, face] : faces) FT_Done_Face(face);
    if (lib) FT_Done_FreeType(lib);
  }
  FT_Face Open(const FontFile& f) {
    auto it = faces.find(f);
    if (it != faces.end()) return it->second;
    FT_Face face = nullptr;
    if (FT_New_Face(lib, f.path.c_str(), f.index, &face) != 0) face = nullptr;
    if (face && !FT_IS_SCALABLE(face)) {
      FT_Done_Face(face);
      face = nullptr;
    }
    faces[f] = face;
    return face;
  }
};

int32_t RoundPx(double v) { return int32_t(std::lround(v)); }

class TFreeTypeFace : public IFontFace {
 public:
  TFreeTypeFace(std::shared_ptr<FtShared> shared, FT_Face face, int32_t size, uint8_t style, bool emSizing)
      : shared_(std::move(shared)), face_(face), style_(style) {
    FT_New_Size(face_, &size_);
    FT_Activate_Size(size_);
    const double upem = face_->units_per_EM ? face_->units_per_EM : 2048;
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
    double winAscent = os2 && os2->usWinAscent ? os2->usWinAscent : face_->ascender;
    double winDescent = os2 && (os2->usWinAscent || os2->usWinDescent) ? os2->usWinDescent : -face_->descender;
    if (winAscent + winDescent <= 0) {
      winAscent = upem * 0.88;
      winDescent = upem * 0.12;
    }
    const double emPx = emSizing ? size : size * upem / (winAscent + winDescent);
    FT_Set_Char_Size(face_, 0, FT_F26Dot6(std::lround(emPx * 64)), 72, 72);
    const double scale = emPx / upem;
    if (emSizing) {
      metrics_.Ascent = std::min(size, RoundPx(winAscent * scale));
      metrics_.Descent = size - metrics_.Ascent;
    } else {
      metrics_.Ascent = RoundPx(winAscent * scale);
      metrics_.Descent = std::max(0, size - metrics_.Ascent);
    }
    metrics_.UnderscoreSize = std::max(1, RoundPx(face_->underline_thickness * scale));
    metrics_.UnderscorePosition = RoundPx(face_->underline_position * scale);
    if (os2 && os2->yStrikeoutSize > 0) {
      metrics_.StrikeoutSize = std::max(1, RoundPx(os2->yStrikeoutSize * scale));
      metrics_.StrikeoutPosition = RoundPx(os2->yStrikeoutPosition * scale);
    } else {
      metrics_.StrikeoutSize = metrics_.UnderscoreSize;
      metrics_.StrikeoutPosition = RoundPx(metrics_.Ascent * 0.3);
    }
  }
  ~TFreeTypeFace() override {
    if (size_) FT_Done_Size(size_);
  }

  const TFontMetrics& Metrics() const override { return metrics_; }

  bool RenderGlyph(uint16_t code, int32_t maxLevel, TGlyphImage& out) override {
    out = TGlyphImage{};
    if (maxLevel != 1 && maxLevel != 4 && maxLevel != 16 && maxLevel != 64) return false;
    const bool mono = maxLevel == 1;
    FT_GlyphSlot slot = Load(code, mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    if (!slot) return false;
    if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return false;
    const FT_Bitmap& bm = slot->bitmap;
    out.MaxLevel = maxLevel;
    out.CellAdvance = Advance(slot);
    if (bm.width == 0 || bm.rows == 0 || !bm.buffer) return true;  // a blank
    if (mono ? bm.pixel_mode != FT_PIXEL_MODE_MONO : bm.pixel_mode != FT_PIXEL_MODE_GRAY) return false;
    out.Width = int32_t(bm.width);
    out.Height = int32_t(bm.rows);
    out.OriginX = slot->bitmap_left;
    out.OriginY = slot->bitmap_top;
    out.Levels.assign(size_t(out.Width) * size_t(out.Height), 0);
    const int pitch = bm.pitch;
    const int maxGray = bm.num_grays > 1 ? bm.num_grays - 1 : 255;
    for (int y = 0; y < out.Height; ++y) {
      // A negative pitch means the rows are stored bottom-up.
      const unsigned char* row =
          pitch >= 0 ? bm.buffer + size_t(y) * size_t(pitch) : bm.buffer + size_t(out.Height - 1 - y) * size_t(-pitch);
      uint8_t* dst = &out.Levels[size_t(y) * size_t(out.Width)];
      for (int x = 0; x < out.Width; ++x) {
        if (mono) {
          dst[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        } else {
          const int v = row[x] * 255 / maxGray;
          dst[x] = uint8_t(QuantizeLevel(v, maxLevel));
        }
      }
    }
    return true;
  }

  TAbcWidths AbcWidths(uint16_t code) override {
    TAbcWidths w;
    FT_GlyphSlot slot = Load(code, FT_LOAD_TARGET_NORMAL);
    if (!slot) return w;
    FT_Outline_Get_CBox(&slot->outline, &cbox_);
    const int32_t left = int32_t(cbox_.xMin >> 6);                    // floor
    const int32_t right = int32_t((cbox_.xMax + 63) >> 6);            // ceil
    const int32_t adv = Advance(slot);
    if (slot->outline.n_points == 0 || right <= left) {
      w.A = 0;
      w.B = 0;
      w.C = adv;
      return w;
    }
    w.A = left;
    w.B = right - left;
    w.C = adv - w.A - w.B;
    return w;
  }

  int32_t TextWidth(uint16_t code) override {
    FT_GlyphSlot slot = Load(code, FT_LOAD_TARGET_NORMAL);
    return slot ? Advance(slot) : 0;
  }

 private:
  FT_GlyphSlot Load(uint16_t code, FT_Int32 target) {
    FT_Activate_Size(size_);
    const char32_t u = CodeToUnicode(code);
    const FT_UInt gi = u ? FT_Get_Char_Index(face_, u) : 0;
    if (FT_Load_Glyph(face_, gi, FT_LOAD_NO_BITMAP | target) != 0) return nullptr;
    FT_GlyphSlot slot = face_->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return nullptr;
    if (style_ & FS_ITALIC) FT_GlyphSlot_Oblique(slot);
    if (style_ & FS_BOLD) FT_Outline_EmboldenXY(&slot->outline, 64, 0);
    return slot;
  }
  int32_t Advance(FT_GlyphSlot slot) const {
    return int32_t((slot->advance.x + 32) >> 6) + ((style_ & FS_BOLD) ? 1 : 0);
  }

  std::shared_ptr<FtShared> shared_;
  FT_Face face_;
  FT_Size size_ = nullptr;
  uint8_t style_;
  TFontMetrics metrics_;
  FT_BBox cbox_{};
};

class TFreeTypeFontService : public IFontService {
 public:
  explicit TFreeTypeFontService(TFontAliasTable aliases) : aliases_(std::move(aliases)) {
    shared_ = std::make_shared<FtShared>();
    if (FT_Init_FreeType(&shared_->lib) != 0) shared_->lib = nullptr;
    FcInit();
    ScanFonts();
  }

  bool HasFace(std::string_view face) override {
    if (aliases_.Find(face)) return true;
    return families_.count(Cp932ToUtf8(face)) != 0;
  }

  std::unique_ptr<IFontFace> OpenFace(std::string_view face, int32_t size, uint8_t style) override {
    if (!shared_->lib) return nullptr;
    size = std::clamp(size, kMinSize, kMaxSize);
    bool emSizing = false;
    FT_Face ft = Resolve(face, emSizing);
    if (!ft) ft = Resolve(TFontAliasTable::DefaultFace(), emSizing);
    if (!ft) ft = AnyFont(emSizing);
    if (!ft) return nullptr;
    return std::make_unique<TFreeTypeFace>(shared_, ft, size, style, emSizing);
  }

  std::vector<std::string> FaceNames(bool fixedPitchOnly) override {
    std::set<std::string, NoCaseLess> names;
    for (const auto& [family, info] : families_)
      if (!fixedPitchOnly || info.fixed) names.insert(Utf8ToCp932(family));
    for (const TFontAlias& a : aliases_.Entries()) {
      if (fixedPitchOnly && !a.FixedPitch) continue;
      for (const std::string& f : a.Families) {
        if (families_.count(f)) {
          names.insert(a.Face);
          break;
        }
      }
    }
    return {names.begin(), names.end()};
  }

 private:
  struct Family {
    FontFile file;
    bool fixed = false;
    bool regular = false;  // the file is the family's regular (upright, not bold) face
  };

  // Every scalable font's family names (each language's), with a file for each.
  void ScanFonts() {
    FcPattern* pat = FcPatternCreate();
    FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    FcObjectSet* os = FcObjectSetBuild(FC_FAMILY, FC_FILE, FC_INDEX, FC_SPACING, FC_STYLE, FC_WEIGHT, FC_SLANT, nullptr);
    FcFontSet* set = FcFontList(nullptr, pat, os);
    if (set) {
      for (int i = 0; i < set->nfont; ++i) {
        FcPattern* f = set->fonts[i];
        FcChar8* file = nullptr;
        if (FcPatternGetString(f, FC_FILE, 0, &file) != FcResultMatch) continue;
        int index = 0;
        FcPatternGetInteger(f, FC_INDEX, 0, &index);
        int spacing = FC_PROPORTIONAL;
        FcPatternGetInteger(f, FC_SPACING, 0, &spacing);
        int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
        FcPatternGetInteger(f, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(f, FC_SLANT, 0, &slant);
        const bool regular = weight <= FC_WEIGHT_MEDIUM && slant == FC_SLANT_ROMAN;
        FcChar8* fam = nullptr;
        for (int k = 0; FcPatternGetString(f, FC_FAMILY, k, &fam) == FcResultMatch; ++k) {
          const std::string name(reinterpret_cast<const char*>(fam));
          auto it = families_.find(name);
          // Prefer the regular face of a family as its file.
          if (it == families_.end() || (regular && !it->second.regular)) {
            Family info;
            info.file = {reinterpret_cast<const char*>(file), index};
            info.fixed = spacing == FC_MONO || spacing == FC_DUAL || spacing == FC_CHARCELL;
            info.regular = regular;
            families_[name] = info;
          }
        }
      }
      FcFontSetDestroy(set);
    }
    FcObjectSetDestroy(os);
    FcPatternDestroy(pat);
  }

  FT_Face Resolve(std::string_view face, bool& emSizing) {
    if (const TFontAlias* a = aliases_.Find(face)) {
      for (const std::string& fam : a->Families) {
        auto it = families_.find(fam);
        if (it == families_.end()) continue;
        if (FT_Face ft = shared_->Open(it->second.file)) {
          emSizing = true;
          return ft;
        }
      }
      return nullptr;
    }
    auto it = families_.find(Cp932ToUtf8(face));
    if (it == families_.end()) return nullptr;
    emSizing = false;
    return shared_->Open(it->second.file);
  }

  // Nothing the alias table names is installed: any Japanese font, else any font.
  FT_Face AnyFont(bool& emSizing) {
    for (const char* lang : {"ja", ""}) {
      FcPattern* pat = FcPatternCreate();
      if (*lang) FcPatternAddString(pat, FC_LANG, reinterpret_cast<const FcChar8*>(lang));
      FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
      FcConfigSubstitute(nullptr, pat, FcMatchPattern);
      FcDefaultSubstitute(pat);
      FcResult r;
      FcPattern* m = FcFontMatch(nullptr, pat, &r);
      FcPatternDestroy(pat);
      if (!m) continue;
      FcChar8* file = nullptr;
      int index = 0;
      FT_Face ft = nullptr;
      if (FcPatternGetString(m, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(m, FC_INDEX, 0, &index);
        ft = shared_->Open({reinterpret_cast<const char*>(file), index});
      }
      FcPatternDestroy(m);
      if (ft) {
        emSizing = true;
        return ft;
      }
    }
    return nullptr;
  }

  TFontAliasTable aliases_;
  std::shared_ptr<FtShared> shared_;
  std::map<std::string, Family> families_;
};

}  // namespace

std::unique_ptr<IFontService> CreateFreeTypeFontService(TFontAliasTable aliases) {
  return std::make_unique<TFreeTypeFontService>(std::move(aliases));
}

}  // namespace kest

#include "platform/font/fake_font_service.h"

namespace kest {

namespace {
class TFakeFace : public IFontFace {
 public:
  TFakeFace(TFakeFontService* owner, const TFakeFontService::Face* face, int32_t size)
      : owner_(owner), face_(face), size_(size) {}
  const TFontMetrics& Metrics() const override { return face_->Metrics; }
  bool RenderGlyph(uint16_t code, int32_t maxLevel, TGlyphImage& out) override {
    ++owner_->Renders;
    out = TGlyphImage{};
    auto it = face_->Glyphs.find(code);
    if (it == face_->Glyphs.end()) {
      out.MaxLevel = maxLevel;
      out.CellAdvance = Blank();
      return true;
    }
    const TFakeFontService::Glyph& g = it->second;
    if (g.AllFails || (g.GreyFails && maxLevel > 1)) return false;
    out.Width = g.Width;
    out.Height = g.Height;
    out.OriginX = g.OriginX;
    out.OriginY = g.OriginY;
    out.CellAdvance = g.CellAdvance;
    out.MaxLevel = maxLevel;
    out.Levels.resize(g.Coverage.size());
    for (size_t i = 0; i < g.Coverage.size(); ++i)
      out.Levels[i] = uint8_t(maxLevel == 1 ? (g.Coverage[i] >= 128) : QuantizeLevel(g.Coverage[i], maxLevel));
    return true;
  }
  TAbcWidths AbcWidths(uint16_t code) override {
    auto it = face_->Glyphs.find(code);
    if (it == face_->Glyphs.end()) return {0, 0, Blank()};
    return it->second.Abc;
  }
  int32_t TextWidth(uint16_t code) override {
    auto it = face_->Glyphs.find(code);
    return it == face_->Glyphs.end() ? Blank() : it->second.CellAdvance;
  }

 private:
  int32_t Blank() const { return face_->DefaultAdvance ? face_->DefaultAdvance : size_ / 2; }
  TFakeFontService* owner_;
  const TFakeFontService::Face* face_;
  int32_t size_;
};
}  // namespace

std::unique_ptr<IFontFace> TFakeFontService::OpenFace(std::string_view face, int32_t size, uint8_t style) {
  Opens.push_back({std::string(face), size, style});
  auto it = faces_.find(std::string(face));
  if (it == faces_.end()) it = faces_.find(default_);
  if (it == faces_.end()) return nullptr;
  return std::make_unique<TFakeFace>(this, &it->second, size);
}

}  // namespace kest

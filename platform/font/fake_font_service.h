// A font service for tests: faces and glyphs given by hand, rasterisation counted.
#pragma once
#include <map>
#include <memory>
#include <string>

#include "platform/font/font_service.h"

namespace kest {

class TFakeFontService : public IFontService {
 public:
  struct Glyph {
    int32_t Width = 0, Height = 0, OriginX = 0, OriginY = 0, CellAdvance = 0;
    std::vector<uint8_t> Coverage;  // 0..255 per pixel; quantised to the requested levels
    TAbcWidths Abc;
    bool GreyFails = false;  // rendering with more than one level fails
    bool AllFails = false;   // rendering fails in every format
  };
  struct Face {
    TFontMetrics Metrics;
    bool FixedPitch = false;
    std::map<uint16_t, Glyph> Glyphs;
    int32_t DefaultAdvance = 0;  // advance of characters without a glyph (0: half the size)
  };

  // The first face added is the default face.
  Face& AddFace(const std::string& name) {
    if (default_.empty()) default_ = name;
    return faces_[name];
  }

  bool HasFace(std::string_view face) override { return faces_.count(std::string(face)) != 0; }
  std::unique_ptr<IFontFace> OpenFace(std::string_view face, int32_t size, uint8_t style) override;
  std::vector<std::string> FaceNames(bool fixedPitchOnly) override {
    std::vector<std::string> r;
    for (auto& [n, f] : faces_)
      if (!fixedPitchOnly || f.FixedPitch) r.push_back(n);
    return r;
  }

  // What the service was asked: every OpenFace and RenderGlyph call.
  struct OpenCall { std::string face; int32_t size; uint8_t style; };
  std::vector<OpenCall> Opens;
  int Renders = 0;

 private:
  std::map<std::string, Face> faces_;
  std::string default_;
};

}  // namespace kest

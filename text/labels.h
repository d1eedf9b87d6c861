// Single-line labels (buttons, list boxes): each string rendered once into its own colour
// and coverage surfaces with one face, border and shadow.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/types.h"
#include "gfx/dibx.h"

namespace kest {

class TFontPixelManager;

class TTpLabelList {
 public:
  // "ＭＳ Ｐゴシック"
  std::string FontName = "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";
  int32_t FontSize = 12;
  uint8_t Style = 0;
  TColorRef Color = MakeColorRef(255, 255, 255);
  TColorRef BorderColor = MakeColorRef(128, 128, 128);
  TColorRef ShadowColor = 0;
  int32_t BorderWidth = 0, ShadowWidth = 0;
  int32_t Quality = 3;
  int32_t Opacity = 255;
  int32_t BitCount = 32;  // of the colour surfaces
  TFontPixelManager* Fonts = nullptr;  // the process-wide cache when null

  void Add(const std::string& text);
  void Clear() { items_.clear(); }
  size_t Count() const { return items_.size(); }
  const std::string& Text(size_t i) const { return items_[i].Text; }
  // Width of a label: the sum of its characters' advances (A + B + C, plus twice the border
  // and the shadow).
  int32_t Width(size_t i) { return Item(i).Width; }
  // One height for every label: size + 2 x border + shadow.
  int32_t Height() const;
  const TDIBX& ColourSurface(size_t i) { return *Item(i).Colour; }
  const TDIBX& CoverageSurface(size_t i) { return *Item(i).Coverage; }
  // Settings changed: every label is rendered again when next asked for.
  void Invalidate();

  // The stored form: int32 count, then each text as int32 length + bytes.
  void Save(std::vector<uint8_t>& out) const;
  // Replaces the list; a damaged form raises EKestBadData and changes nothing. Answers the
  // bytes read.
  size_t Load(const uint8_t* data, size_t size);

 private:
  struct Label {
    std::string Text;
    bool Ready = false;
    int32_t Width = 0;
    std::unique_ptr<TDIBX> Colour, Coverage;
  };
  Label& Item(size_t i);
  void Render(Label& l);
  std::vector<Label> items_;
};

}  // namespace kest

#include "text/labels.h"

#include <algorithm>

#include "common/sjis.h"
#include "text/fontpixels.h"

namespace kest {

namespace {
// "ラベルの並びが壊れています" (the label list is damaged)
const char* const kMsgBadLabels = "\x83\x89\x83\x78\x83\x8B\x82\xCC\x95\xC0\x82\xD1\x82\xAA\x89\xF3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB7";
}

void TTpLabelList::Add(const std::string& text) {
  items_.push_back(Label{});
  items_.back().Text = text;
}

int32_t TTpLabelList::Height() const {
  return std::clamp(FontSize, 1, kMaxFontSize) + 2 * std::clamp(BorderWidth, 0, kMaxBorderWidth) +
         std::clamp(ShadowWidth, 0, kMaxBorderWidth);
}

void TTpLabelList::Invalidate() {
  for (auto& l : items_) l.Ready = false;
}

TTpLabelList::Label& TTpLabelList::Item(size_t i) {
  Label& l = items_.at(i);
  if (!l.Ready) Render(l);
  return l;
}

void TTpLabelList::Render(Label& l) {
  TFontPixelManager& fonts = Fonts ? *Fonts : TFontPixelManager::Instance();
  fonts.SetQuality(Quality);
  const int32_t size = std::clamp(FontSize, 1, kMaxFontSize);
  const int32_t b = std::clamp(BorderWidth, 0, kMaxBorderWidth), d = std::clamp(ShadowWidth, 0, kMaxBorderWidth);
  const std::string& face = FontName.empty() ? std::string(kDefaultFaceName) : FontName;
  std::vector<uint16_t> codes;
  for (size_t k = 0; k < l.Text.size();) {
    const size_t n = CharLen(l.Text, k);
    codes.push_back(n == 2 ? uint16_t(uint8_t(l.Text[k]) << 8 | uint8_t(l.Text[k + 1])) : uint8_t(l.Text[k]));
    k += n;
  }
  std::vector<int32_t> adv;
  int64_t width = 0;
  for (uint16_t c : codes) {
    const TAbcWidths abc = fonts.AbcWidths(c, face, Style, size);
    // The outline fonts have no overhang.
    const int32_t a = std::clamp(abc.A + abc.B + abc.C, 0, 4 * kMaxFontSize) + 2 * b + d;
    adv.push_back(a);
    width += a;
  }
  l.Width = int32_t(std::min<int64_t>(width, 16384));
  const int32_t h = Height();
  const int32_t bits = BitCount == 15 || BitCount == 16 ? BitCount : 32;
  l.Colour = std::make_unique<TDIBX>(l.Width, h, bits);
  l.Coverage = std::make_unique<TDIBX>(l.Width, h, 8);
  l.Colour->Clear(0);
  l.Coverage->Clear(0);
  int32_t x = 0;
  const uint32_t tc = l.Colour->MapColor(Color), bc = l.Colour->MapColor(BorderColor),
                 sc = l.Colour->MapColor(ShadowColor);
  for (size_t k = 0; k < codes.size() && x < l.Width; ++k) {
    auto g = fonts.GetGlyph(codes[k], face, Style, size);
    const TRect cell{x, 0, x + adv[k], h};
    fonts.DrawChar(*g, *l.Colour, *l.Coverage, cell, sc, bc, tc, k + 1 < codes.size(), k > 0, d, b);
    x += adv[k];
  }
  l.Ready = true;
}

void TTpLabelList::Save(std::vector<uint8_t>& out) const {
  auto put = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
  };
  put(uint32_t(items_.size()));
  for (const auto& l : items_) {
    put(uint32_t(l.Text.size()));
    out.insert(out.end(), l.Text.begin(), l.Text.end());
  }
}

size_t TTpLabelList::Load(const uint8_t* data, size_t size) {
  size_t at = 0;
  auto get = [&]() -> uint32_t {
    if (size - at < 4) throw EKestBadData(kMsgBadLabels);
    const uint32_t v = uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
                       uint32_t(data[at + 3]) << 24;
    at += 4;
    return v;
  };
  const uint32_t n = get();
  if (n > (size - at) / 4) throw EKestBadData(kMsgBadLabels);
  std::vector<std::string> texts;
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t len = get();
    if (len > size - at) throw EKestBadData(kMsgBadLabels);
    texts.emplace_back(reinterpret_cast<const char*>(data + at), len);
    at += len;
  }
  items_.clear();
  for (auto& t : texts) Add(t);
  return at;
}

}  // namespace kest

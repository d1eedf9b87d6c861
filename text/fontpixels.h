// The glyph cache: characters rasterised once by the font service into 8-bit coverage
// images, and composed onto a colour surface plus a coverage surface with border, shadow,
// underline and strike-out.
#pragma once
#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "gfx/dibx.h"
#include "platform/font/font_service.h"

namespace kest {

// One cached glyph. Handed out shared: a glyph evicted from the cache stays valid for as
// long as a caller holds it.
struct TFontPixel {
  TDIBX Image{0, 0, 8};  // coverage, 0 x 0 for characters without visible pixels
  uint16_t Code = 0;
  std::string Face;
  int32_t Size = 0;
  uint8_t Style = 0;
  int32_t Quality = 0;
  int32_t LeftOffset = 0;
  int32_t TopOffset = 0;
  int32_t UnderlineThickness = 0;
  int32_t StrikeoutTop = 0;
  int32_t StrikeoutThickness = 0;
  int32_t TrailingAdvance = 0;

  bool IsEmpty() const { return Image.Width() <= 0 || Image.Height() <= 0; }
  // The pen advance: left offset + image width + trailing advance (the text width for
  // blanks).
  int32_t Advance() const { return IsEmpty() ? TrailingAdvance : LeftOffset + Image.Width() + TrailingAdvance; }
};
using TFontPixelPtr = std::shared_ptr<const TFontPixel>;

// Coverage of grey level k (0..the level count of the quality) at a quality 0..3.
uint8_t LevelCoverage(int32_t quality, int32_t level);
// Grey levels the font service is asked for at a quality: 1, 4, 16 or 64.
int32_t QualityMaxLevel(int32_t quality);

// Limits of what titles may ask for: font sizes 1..kMaxFontSize, border and shadow widths
// 0..kMaxBorderWidth (a border costs (2w + 1)^2 compositions a glyph).
constexpr int32_t kMaxFontSize = 512;
constexpr int32_t kMaxBorderWidth = 32;

// The face every unknown name falls back to: "ＭＳ ゴシック".
extern const char* const kDefaultFaceName;

class TFontPixelManager {
 public:
  static constexpr size_t kCapacity = 256;

  explicit TFontPixelManager(IFontService& fonts);
  ~TFontPixelManager();

  // The process-wide cache over the machine's font service (created on first use), or one
  // set by the caller (tests, tools); SetInstance(nullptr) goes back to the machine's.
  static TFontPixelManager& Instance();
  static void SetInstance(TFontPixelManager* manager);

  // 0..3, part of the cache key; out-of-range values are clamped.
  int32_t Quality() const { return quality_; }
  void SetQuality(int32_t q) { quality_ = q < 0 ? 0 : q > 3 ? 3 : q; }

  // The glyph of a character (a Shift-JIS code) from the cache, or rasterised now.
  TFontPixelPtr GetGlyph(uint16_t code, const std::string& face, uint8_t style, int32_t size);
  // A, B and C widths of a character in a face.
  TAbcWidths AbcWidths(uint16_t code, const std::string& face, uint8_t style, int32_t size);

  // Draws a glyph into its cell; colours are pixel values of the colour surface, the
  // coverage surface is 8-bit. Answers the changed rectangle (empty for a blank glyph).
  TRect DrawChar(const TFontPixel& glyph, TCustomDIBX& colour, TCustomDIBX& coverage, const TRect& cell,
                 uint32_t shadowColor, uint32_t borderColor, uint32_t textColor, bool joinsNext, bool joinsPrev,
                 int32_t shadowWidth, int32_t borderWidth);

  size_t Count() const { return mru_.size(); }
  // Whether a glyph of this key is cached (no reordering).
  bool IsCached(uint16_t code, const std::string& face, uint8_t style, int32_t size, int32_t quality) const;

 private:
  struct Entry;
  using List = std::list<std::shared_ptr<TFontPixel>>;
  void SelectFont(const std::string& face, int32_t size, uint8_t style);
  std::string ResolveFace(const std::string& face);
  void Rasterise(TFontPixel& g);

  IFontService& fonts_;
  int32_t quality_ = 3;
  List mru_;  // front = most recently used
  std::array<std::vector<List::iterator>, 256> buckets_;
  std::unique_ptr<IFontFace> font_;
  std::string fontFace_;
  int32_t fontSize_ = -1;
  uint8_t fontStyle_ = 0;
  std::unique_ptr<IFontFace> measure_;
  std::string measureFace_;
  int32_t measureSize_ = -1;
  uint8_t measureStyle_ = 0;
};

// The composition primitives, on a glyph's coverage placed at (x, y); the colour surface
// must be 15-, 16- or 32-bit and the coverage surface 8-bit, else nothing is drawn.
namespace glyphops {
void DrawSolid(const TFontPixel& g, TCustomDIBX& colour, int32_t x, int32_t y, uint32_t c);
void DrawTwoTone(const TFontPixel& g, TCustomDIBX& colour, int32_t x, int32_t y, uint32_t background, uint32_t c);
void DrawOver(const TFontPixel& g, TCustomDIBX& colour, TCustomDIBX& coverage, int32_t x, int32_t y, uint32_t c);
void DrawBorder(const TFontPixel& g, TCustomDIBX& colour, TCustomDIBX& coverage, uint32_t c, int32_t width, int32_t x,
                int32_t y);
void MaskUnion(const TFontPixel& g, TCustomDIBX& coverage, int32_t x, int32_t y);
void MaskMax(const TFontPixel& g, TCustomDIBX& coverage, int32_t x, int32_t y);
// Coverage copied (pixels of the glyph with coverage only).
void MaskCopy(const TFontPixel& g, TCustomDIBX& coverage, int32_t x, int32_t y);
// A band: colour and full coverage.
void FillBand(TCustomDIBX& colour, TCustomDIBX& coverage, const TRect& r, uint32_t c);
}  // namespace glyphops

}  // namespace kest

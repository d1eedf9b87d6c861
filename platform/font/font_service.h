// The outline-font service behind text drawing: faces by name, their metrics, and glyph
// bitmaps at the grey-level counts the glyph cache maps to coverage.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

// Style bits of a font request.
enum TFontStyleBits : uint8_t {
  FS_BOLD = 1,
  FS_ITALIC = 2,
  FS_UNDERLINE = 4,
  FS_STRIKEOUT = 8,
};

// Outline metrics of one face at one size, in pixels.
struct TFontMetrics {
  int32_t Ascent = 0;              // baseline below the cell top
  int32_t Descent = 0;             // cell bottom below the baseline
  int32_t UnderscoreSize = 0;      // underline thickness
  int32_t UnderscorePosition = 0;  // underline top above the baseline (negative: below)
  int32_t StrikeoutSize = 0;
  int32_t StrikeoutPosition = 0;   // strike-out top above the baseline
};

// One rasterised glyph: levels 0..MaxLevel, one byte a pixel, rows top-down.
struct TGlyphImage {
  int32_t Width = 0;        // black box
  int32_t Height = 0;
  int32_t OriginX = 0;      // black-box left relative to the pen position
  int32_t OriginY = 0;      // black-box top above the baseline
  int32_t CellAdvance = 0;  // pen advance
  int32_t MaxLevel = 0;     // 1, 4, 16 or 64
  std::vector<uint8_t> Levels;
};

// A, B and C widths of a character: A the space before the black box, B its width, C the
// space after it (A + B + C is the advance).
struct TAbcWidths {
  int32_t A = 0, B = 0, C = 0;
};

// One face at one height and style.
class IFontFace {
 public:
  virtual ~IFontFace() = default;
  virtual const TFontMetrics& Metrics() const = 0;
  // Rasterises a character (a Shift-JIS code: lead byte * 256 + trail byte, or a single
  // byte below 256) with maxLevel grey levels: 1 (a 1-bit bitmap), 4, 16 or 64. Answers false
  // when the service cannot produce that format for this character.
  virtual bool RenderGlyph(uint16_t code, int32_t maxLevel, TGlyphImage& out) = 0;
  virtual TAbcWidths AbcWidths(uint16_t code) = 0;
  // Advance of the character as text.
  virtual int32_t TextWidth(uint16_t code) = 0;
};

class IFontService {
 public:
  virtual ~IFontService() = default;
  // Whether a face of exactly this name (CP932, letter case counts) can be opened.
  virtual bool HasFace(std::string_view face) = 0;
  // Opens the face at a height (the font height of the request) and style; a face the
  // service does not know is opened as its default face. Null only when the machine has no
  // usable font at all.
  virtual std::unique_ptr<IFontFace> OpenFace(std::string_view face, int32_t size, uint8_t style) = 0;
  // Installed face names (CP932), sorted, without duplicates; fixedPitchOnly for fixed faces.
  virtual std::vector<std::string> FaceNames(bool fixedPitchOnly) = 0;
};

// Maps a 0..255 coverage of the rasteriser to 0..maxLevel (rounding to the nearest level).
constexpr int32_t QuantizeLevel(int32_t v255, int32_t maxLevel) {
  return (v255 * maxLevel + 127) / 255;
}

// The Unicode character of a Shift-JIS code (CP932 mapping), or 0 when it has none.
char32_t CodeToUnicode(uint16_t code);

}  // namespace kest

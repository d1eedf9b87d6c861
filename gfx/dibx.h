// The drawing surface: one fixed set of pixel operations over the raw layouts 8 (palette
// index), 15 (x-5-5-5), 16 (5-6-5), 24 (B, G, R) and 32 (B, G, R, ignored byte).
//
// Everything the player shows is composed with these operations. Their per-channel integer
// arithmetic (truncating divisions by 256, channels kept at their own bit widths) decides
// every pixel on screen, so the fast row loops of the 15/16/32-bit layouts are bit-identical
// to the scalar reference loops kept beside them (see dibx_kernels.h).
//
// Conventions shared by all operations:
//  - Colour values are pixel values of the destination layout (MapColor converts a colour
//    reference). A colour key is a pixel value of the source; -1 is no key.
//  - In the 32-bit layout the fourth byte is not interpreted: keys and the "source equals
//    destination" test compare the colour bits only, blends keep the destination's fourth
//    byte, copies and fills write it.
//  - Alpha 0 draws nothing, 1..254 blends, 255 is the alpha mode at full strength (or
//    opaque where an operation says so); 256..511 selects the additive mode with weight
//    alpha - 256 where an operation takes one parameter for both. Out-of-range values are
//    clamped.
//  - Every operation clips to the clip area itself; source rectangles are cut to the
//    source (and to the mask), so nothing outside any surface is ever read.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/types.h"
#include "gfx/dibsfc.h"
#include "gfx/geometry.h"

namespace kest {

class TStream;

// Raw access to the pixels of a surface. Pitch may be negative (bottom-up storage).
struct TPixelView {
  uint8_t* Bits = nullptr;
  int32_t Pitch = 0;
  int32_t Width = 0, Height = 0;
  int32_t BitCount = 0;  // 8, 15, 16, 24 or 32

  bool IsEmpty() const { return Bits == nullptr || Width <= 0 || Height <= 0; }
  int32_t BytesPerPixel() const { return (BitCount + 7) / 8; }
  uint8_t* Row(int32_t y) const { return Bits + int64_t(y) * Pitch; }
  uint8_t* At(int32_t x, int32_t y) const { return Row(y) + int64_t(x) * BytesPerPixel(); }
};

// A 1- or 2-bit image of glyph coverage (rows of Pitch bytes, most significant bits first).
struct TBitImage {
  const uint8_t* Bits = nullptr;
  int32_t Pitch = 0;
  int32_t Width = 0, Height = 0;
  int32_t BitsPerPixel = 1;  // 1 or 2

  // Rows hold their pixels (a glyph whose rows are too short is not drawn).
  bool IsValid() const {
    return Bits != nullptr && Width >= 0 && Height >= 0 && (BitsPerPixel == 1 || BitsPerPixel == 2) &&
           int64_t(Pitch) * 8 >= int64_t(Width) * BitsPerPixel;
  }
  uint32_t Get(int32_t x, int32_t y) const {
    const uint8_t b = Bits[int64_t(y) * Pitch + (int64_t(x) * BitsPerPixel >> 3)];
    return BitsPerPixel == 1 ? (b >> (7 - (x & 7))) & 1u : (b >> (6 - 2 * (x & 3))) & 3u;
  }
};

// A palette entry as the palette calls hand it out: red, green, blue, 0.
struct TPaletteEntry {
  uint8_t Red = 0, Green = 0, Blue = 0, Flags = 0;
  bool operator==(const TPaletteEntry&) const = default;
};

// The 256 pixel values DrawIndexed and its kin paint for the indices of an 8-bit source.
using TColorTable = std::array<uint32_t, 256>;

// Speed switch of the row loops: the best the processor offers, or the scalar reference
// (tests and benchmarks compare them).
enum class TSimdLevel { Scalar = 0, SSE2 = 1, AVX2 = 2 };
TSimdLevel BestSimdLevel();
TSimdLevel CurrentSimdLevel();
// Chooses the row loops (capped at what the processor supports); answers the level in use.
TSimdLevel SetSimdLevel(TSimdLevel level);

// Grey levels as pixels of the screen's layouts: the colour (g, g, g) in 16 bits (5-5-5
// when the screen is 15-bit, else 5-6-5) and in 32 bits.
extern std::array<uint16_t, 256> GreyPixel16;
extern std::array<uint32_t, 256> GreyPixel32;
// Rebuilds both tables for a screen of that bit count (the 5-6-5 table for anything but 15).
void BuildGreyTables(int32_t screenBitCount);

class TCustomDIBX {
 public:
  TCustomDIBX();
  virtual ~TCustomDIBX();
  TCustomDIBX(const TCustomDIBX&) = delete;
  TCustomDIBX& operator=(const TCustomDIBX&) = delete;

  // Area all drawing is limited to; a right edge of 0 means no clip (the whole surface).
  TRect ClipRect;
  // Colour key of this surface when it is a source: a pixel value, -1 = none.
  int32_t TransparentColor = -1;

  // --- storage --------------------------------------------------------------------------
  virtual bool IsEmpty() const { return Width() <= 0 || Height() <= 0; }
  virtual int32_t BitCount() const = 0;
  virtual void SetBitCount(int32_t bitCount);
  virtual uint32_t RedMask() const;
  virtual uint32_t GreenMask() const;
  virtual uint32_t BlueMask() const;
  virtual int32_t Pitch() const;
  virtual uint32_t GetPixel(int32_t x, int32_t y) const;
  virtual void SetPixel(int32_t x, int32_t y, uint32_t value);
  virtual int32_t BlueShift() const { return 0; }
  virtual int32_t GreenShift() const;
  virtual int32_t RedShift() const;
  virtual int32_t Height() const = 0;
  virtual int32_t Width() const = 0;
  virtual TCustomDIBX* Target() const { return nullptr; }
  virtual int32_t StorageBitCount() const { return BitCount() == 15 ? 16 : BitCount(); }
  virtual void SetSize(int32_t width, int32_t height, int32_t bitCount) = 0;
  // The address of pixel (x, y), or nullptr when the surface has no pixels of its own or
  // (x, y) lies outside. The view is the whole surface.
  virtual uint8_t* Lock(int32_t x, int32_t y);
  virtual void Unlock() {}
  virtual bool View(TPixelView& out) const = 0;
  TRect BoundsRect() const { return TRect{0, 0, Width(), Height()}; }

  // --- clipping and colours -------------------------------------------------------------
  virtual void ResetClip();
  virtual void AddClip(const TRect& r);
  // The clip area in effect: ClipRect limited to the surface, or the whole surface.
  virtual TRect ClipArea() const;
  virtual uint32_t MapColor(TColorRef color) const;

  // --- fills ----------------------------------------------------------------------------
  virtual void Clear(uint32_t value);
  virtual void FillRect(const TRect& r, uint32_t value);
  virtual void FillRectAlpha(const TRect& r, uint32_t value, int32_t alpha);
  virtual void FillRectAdd(const TRect& r, uint32_t value);
  virtual void FillRectSub(const TRect& r, uint32_t value);
  void FrameRect(const TRect& r, int32_t thickness, uint32_t value);
  void FrameRectAlpha(const TRect& r, int32_t thickness, uint32_t value, int32_t alpha);
  void FrameRectAdd(const TRect& r, int32_t thickness, uint32_t value);

  // --- positioned blits -----------------------------------------------------------------
  virtual void Assign(const TCustomDIBX& src);
  virtual void Draw(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, bool key,
                    bool mirrorX = false, bool mirrorY = false);
  virtual void DrawMask(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src,
                        const TCustomDIBX& mask, bool mirrorX = false, bool mirrorY = false);
  virtual void DrawAlpha(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, int32_t alpha,
                         bool key, bool mirrorX = false, bool mirrorY = false);
  virtual void DrawMaskAlpha(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src,
                             const TCustomDIBX& mask, int32_t alpha, bool mirrorX = false, bool mirrorY = false);
  virtual void DrawAdd(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, int32_t weight,
                       bool mirrorX = false, bool mirrorY = false);
  virtual void DrawMaskAdd(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src,
                           const TCustomDIBX& mask, int32_t weight, bool mirrorX = false, bool mirrorY = false);

  // --- rotation and stretching ----------------------------------------------------------
  // angle in 1/256 turn, pivot in source-surface coordinates, scales in 1/256; alpha 255
  // copies (with the key), 1..254 blends, 256..511 adds with weight alpha - 256.
  virtual void DrawRotate(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, int32_t angle,
                          int32_t pivotX, int32_t pivotY, int32_t scaleX, int32_t scaleY, int32_t alpha, bool key,
                          bool mirrorX = false, bool mirrorY = false);
  // The same through a mask: 255 mask mode, 1..254 mask x alpha, 256..511 mask add.
  virtual void DrawRotateMask(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src,
                              const TCustomDIBX& mask, int32_t angle, int32_t pivotX, int32_t pivotY, int32_t scaleX,
                              int32_t scaleY, int32_t alpha, bool mirrorX = false, bool mirrorY = false);
  // alpha 255 copies, else blends; the key applies in both.
  virtual void StretchDraw(const TRect& dstRect, const TRect& srcRect, const TCustomDIBX& src, int32_t alpha,
                           bool key, bool mirrorX = false, bool mirrorY = false);
  // alpha 255 is the plain mask mode (so a full-strength mask keeps its colours exact).
  virtual void StretchDrawMask(const TRect& dstRect, const TRect& srcRect, const TCustomDIBX& src,
                               const TCustomDIBX& mask, int32_t alpha, bool mirrorX = false, bool mirrorY = false);
  virtual void StretchDrawAdd(const TRect& dstRect, const TRect& srcRect, const TCustomDIBX& src, int32_t weight,
                              bool key, bool mirrorX = false, bool mirrorY = false);
  virtual void StretchDrawMaskAdd(const TRect& dstRect, const TRect& srcRect, const TCustomDIBX& src,
                                  const TCustomDIBX& mask, int32_t weight, bool mirrorX = false,
                                  bool mirrorY = false);

  // --- glyphs ---------------------------------------------------------------------------
  // A 1-bit glyph drawn at factor times the target size (a 0 bit is ink).
  virtual void DrawGlyph(int32_t x, int32_t y, const TRect& srcRect, const TBitImage& glyph, int32_t factor,
                         uint32_t color, int32_t alpha, bool mirrorX = false, bool mirrorY = false);
  // A 2-bit glyph whose values 1, 2, 3 select colors[0..2]; alpha above 255 adds.
  virtual void DrawGlyphColors(int32_t x, int32_t y, const TRect& srcRect, const TBitImage& glyph, int32_t factor,
                               const std::array<uint32_t, 3>& colors, int32_t alpha, bool mirrorX = false,
                               bool mirrorY = false);

  // --- tiles and patterns ---------------------------------------------------------------
  // The rectangle is covered from its top-left corner with copies of the source rectangle
  // gapX, gapY pixels apart, the first starting offsetX, offsetY into the source.
  void TileDraw(const TRect& r, const TRect& srcRect, const TCustomDIBX& src, int32_t offsetX, int32_t offsetY,
                int32_t gapX, int32_t gapY, bool key, bool mirrorX = false, bool mirrorY = false);
  void TileDrawAlpha(const TRect& r, const TRect& srcRect, const TCustomDIBX& src, int32_t offsetX,
                     int32_t offsetY, int32_t gapX, int32_t gapY, int32_t alpha, bool key, bool mirrorX = false,
                     bool mirrorY = false);
  void TileDrawAdd(const TRect& r, const TRect& srcRect, const TCustomDIBX& src, int32_t offsetX, int32_t offsetY,
                   int32_t gapX, int32_t gapY, int32_t weight, bool mirrorX = false, bool mirrorY = false);
  void TileDrawMask(const TRect& r, const TRect& srcRect, const TCustomDIBX& src, const TCustomDIBX& mask,
                    int32_t offsetX, int32_t offsetY, int32_t gapX, int32_t gapY, bool mirrorX = false,
                    bool mirrorY = false);
  void TileDrawMaskAlpha(const TRect& r, const TRect& srcRect, const TCustomDIBX& src, const TCustomDIBX& mask,
                         int32_t offsetX, int32_t offsetY, int32_t gapX, int32_t gapY, int32_t alpha,
                         bool mirrorX = false, bool mirrorY = false);
  void TileDrawMaskAdd(const TRect& r, const TRect& srcRect, const TCustomDIBX& src, const TCustomDIBX& mask,
                       int32_t offsetX, int32_t offsetY, int32_t gapX, int32_t gapY, int32_t weight,
                       bool mirrorX = false, bool mirrorY = false);
  // Tiles of tileW x tileH (the source rectangle stretched); alpha 256..511 adds.
  void TileStretchDraw(const TRect& r, const TRect& srcRect, const TCustomDIBX& src, int32_t tileW, int32_t tileH,
                       int32_t offsetX, int32_t offsetY, int32_t gapX, int32_t gapY, int32_t alpha, bool key,
                       bool mirrorX = false, bool mirrorY = false);
  void TileStretchDrawMask(const TRect& r, const TRect& srcRect, const TCustomDIBX& src, const TCustomDIBX& mask,
                           int32_t tileW, int32_t tileH, int32_t offsetX, int32_t offsetY, int32_t gapX,
                           int32_t gapY, int32_t alpha, bool mirrorX = false, bool mirrorY = false);
  virtual void PatternFillRects(const std::vector<TRect>& rects, const TCustomDIBX& pattern, int32_t offsetX,
                                int32_t offsetY);
  virtual void PatternFill(const TRect& r, const TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY,
                           bool mirrorX = false, bool mirrorY = false);
  // The pattern enlarged by scale / 256; alpha 255 copies (key), 1..254 blends (key),
  // 256..511 adds (key, weight at most 255).
  virtual void PatternFillScaled(const TRect& r, const TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY,
                                 int32_t scaleX, int32_t scaleY, int32_t alpha, bool key, bool mirrorX = false,
                                 bool mirrorY = false);
  virtual void PatternFillScaledMask(const TRect& r, const TCustomDIBX& pattern, const TCustomDIBX& mask,
                                     int32_t offsetX, int32_t offsetY, int32_t scaleX, int32_t scaleY, int32_t alpha,
                                     bool mirrorX = false, bool mirrorY = false);

  // --- indexed sources and mask fills ---------------------------------------------------
  // Indices greater than the source's TransparentColor are drawn as table[index]; alpha
  // 255 is opaque, 1..254 blends.
  virtual void DrawIndexed(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src,
                           const TColorTable& table, int32_t alpha, bool mirrorX = false, bool mirrorY = false);
  virtual void DrawIndexedAdd(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src,
                              const TColorTable& table, int32_t weight, bool mirrorX = false, bool mirrorY = false);
  virtual void StretchDrawIndexed(const TRect& dstRect, const TRect& srcRect, const TCustomDIBX& src,
                                  const TColorTable& table, int32_t alpha, bool mirrorX = false,
                                  bool mirrorY = false);
  // Colour through an 8-bit coverage mask: c = m (alpha 255) or m * alpha / 256; full
  // coverage gives the colour exactly. The source rectangle must lie inside the mask.
  virtual void FillMask(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& mask, uint32_t color,
                        int32_t alpha, bool mirrorX = false, bool mirrorY = false);

  // --- files and the rest ---------------------------------------------------------------
  // Only an existing ".bmp" file is read; the surface keeps its layout and takes the
  // picture's size. Answers whether a picture was loaded.
  virtual bool LoadFromFile(const std::string& path);
  // Recognises a bitmap ("BM"), a PNG ("PNG" at offset 1, transparency dropped) or a Zarn
  // image (its first frame, read with the identification code) by content. Anything else,
  // or a damaged picture, leaves the surface unchanged (answer false).
  virtual bool LoadFromStream(TStream& stream, int32_t identificationCode);
  bool LoadFromBytes(const uint8_t* data, size_t size, int32_t identificationCode);
  // Only a ".bmp" path writes: a 24-bit bitmap of the whole surface.
  virtual bool SaveToFile(const std::string& path) const;
  virtual void Release() = 0;
  virtual void FreeDevice() {}
  virtual std::vector<TPaletteEntry> GetPaletteEntries(int32_t start, int32_t count) const;
  virtual void SetPaletteEntries(int32_t start, const std::vector<TPaletteEntry>& entries);
  // Nearest-pixel stretched copy of a rectangle of this surface onto another surface.
  virtual void StretchToDC(TCustomDIBX& dst, const TRect& dstRect, const TRect& srcRect) const;
  virtual void Changed() {}

  // The picture as a memory image of its own layout (tests, saving, capture).
  TDIBSurface ToImage() const;
  // Takes a memory image's pixels at this surface's layout (converted when they differ).
  virtual void FromImage(const TDIBSurface& image);

 protected:
  // The destination view clipped by ClipArea; false when nothing can be drawn.
  bool DestView(TPixelView& v, TRect& clip);

 private:
  // The shared row walk of DrawIndexed and DrawIndexedAdd.
  template <class Op>
  void DrawIndexedRows(int32_t x, int32_t y, const TRect& sr, const TCustomDIBX& src, const TColorTable& table,
                       bool mx, bool my, Op op);
};

// A surface in ordinary memory, on a memory image (owned, or borrowed from its owner).
class TDIBX : public TCustomDIBX {
 public:
  // A 1 x 1 15-bit surface.
  TDIBX();
  TDIBX(int32_t width, int32_t height, int32_t bitCount);
  // Borrows an image (its pixels, not its mask): drawing onto this surface draws onto it.
  explicit TDIBX(TDIBSurface& borrowed);
  TDIBX(TDIBX&& other) noexcept;
  ~TDIBX() override;

  int32_t BitCount() const override { return image_->BitCount(); }
  void SetBitCount(int32_t bitCount) override;
  int32_t Height() const override { return image_->Height(); }
  int32_t Width() const override { return image_->Width(); }
  void SetSize(int32_t width, int32_t height, int32_t bitCount) override;
  bool View(TPixelView& out) const override;
  void Release() override;
  void Assign(const TCustomDIBX& src) override;
  std::vector<TPaletteEntry> GetPaletteEntries(int32_t start, int32_t count) const override;
  void SetPaletteEntries(int32_t start, const std::vector<TPaletteEntry>& entries) override;
  void FromImage(const TDIBSurface& image) override;

  TDIBSurface& Image() { return *image_; }
  const TDIBSurface& Image() const { return *image_; }
  bool OwnsImage() const { return owned_ != nullptr; }

 private:
  std::unique_ptr<TDIBSurface> owned_;
  TDIBSurface* image_ = nullptr;
};

// A surface over pixels that live elsewhere (a frame buffer, a video frame), with any pitch.
class TViewDIBX : public TCustomDIBX {
 public:
  explicit TViewDIBX(const TPixelView& view) : view_(view) {}
  int32_t BitCount() const override { return view_.BitCount; }
  int32_t Height() const override { return view_.Height; }
  int32_t Width() const override { return view_.Width; }
  // A view cannot be resized: only a call that keeps its size and layout is accepted.
  void SetSize(int32_t width, int32_t height, int32_t bitCount) override;
  bool View(TPixelView& out) const override;
  void Release() override { view_ = TPixelView{}; }
  void SetView(const TPixelView& view) { view_ = view; }

 private:
  TPixelView view_;
};

// A proxy without pixels: every drawing operation is replayed on Target in runs of rows,
// each row shifted sideways by RowOffsets[row] (the ripple of the wave effect). The proxy
// covers (Origin, Origin + size) on the target and is drawn on in target coordinates.
class TDIBXWave : public TCustomDIBX {
 public:
  explicit TDIBXWave(TCustomDIBX* target = nullptr) : target_(target) {}

  std::vector<int32_t> RowOffsets;
  int32_t OriginX = 0, OriginY = 0;  // the proxy's top-left corner on the target

  void SetTarget(TCustomDIBX* t) { target_ = t; }
  TCustomDIBX* Target() const override { return target_; }
  int32_t BitCount() const override { return target_ ? target_->BitCount() : 32; }
  int32_t StorageBitCount() const override { return target_ ? target_->StorageBitCount() : 32; }
  uint32_t MapColor(TColorRef c) const override { return target_ ? target_->MapColor(c) : uint32_t(c); }
  int32_t Height() const override { return height_; }
  int32_t Width() const override { return width_; }
  void SetSize(int32_t width, int32_t height, int32_t bitCount) override;
  bool View(TPixelView&) const override { return false; }
  void Release() override;
  void ResetClip() override;
  void AddClip(const TRect& r) override;
  // Saves the target's clip (the proxy narrows it while replaying) and gives it back.
  void SaveTargetClip();
  void RestoreTargetClip();

  void Clear(uint32_t value) override;
  void FillRect(const TRect& r, uint32_t value) override;
  void FillRectAlpha(const TRect& r, uint32_t value, int32_t alpha) override;
  void FillRectAdd(const TRect& r, uint32_t value) override;
  void FillRectSub(const TRect& r, uint32_t value) override;
  void Assign(const TCustomDIBX& src) override;
  void Draw(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, bool key, bool mirrorX,
            bool mirrorY) override;
  void DrawMask(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, const TCustomDIBX& mask,
                bool mirrorX, bool mirrorY) override;
  void DrawAlpha(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, int32_t alpha, bool key,
                 bool mirrorX, bool mirrorY) override;
  void DrawMaskAlpha(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, const TCustomDIBX& mask,
                     int32_t alpha, bool mirrorX, bool mirrorY) override;
  void DrawAdd(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, int32_t weight, bool mirrorX,
               bool mirrorY) override;
  void DrawMaskAdd(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, const TCustomDIBX& mask,
                   int32_t weight, bool mirrorX, bool mirrorY) override;
  void DrawRotate(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, int32_t angle,
                  int32_t pivotX, int32_t pivotY, int32_t scaleX, int32_t scaleY, int32_t alpha, bool key,
                  bool mirrorX, bool mirrorY) override;
  void DrawRotateMask(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, const TCustomDIBX& mask,
                      int32_t angle, int32_t pivotX, int32_t pivotY, int32_t scaleX, int32_t scaleY,
                      int32_t alpha, bool mirrorX, bool mirrorY) override;
  void StretchDraw(const TRect& dstRect, const TRect& srcRect, const TCustomDIBX& src, int32_t alpha, bool key,
                   bool mirrorX, bool mirrorY) override;
  void StretchDrawMask(const TRect& dstRect, const TRect& srcRect, const TCustomDIBX& src,
                       const TCustomDIBX& mask, int32_t alpha, bool mirrorX, bool mirrorY) override;
  void StretchDrawAdd(const TRect& dstRect, const TRect& srcRect, const TCustomDIBX& src, int32_t weight,
                      bool key, bool mirrorX, bool mirrorY) override;
  void StretchDrawMaskAdd(const TRect& dstRect, const TRect& srcRect, const TCustomDIBX& src,
                          const TCustomDIBX& mask, int32_t weight, bool mirrorX, bool mirrorY) override;
  void DrawGlyph(int32_t x, int32_t y, const TRect& srcRect, const TBitImage& glyph, int32_t factor,
                 uint32_t color, int32_t alpha, bool mirrorX, bool mirrorY) override;
  void DrawGlyphColors(int32_t x, int32_t y, const TRect& srcRect, const TBitImage& glyph, int32_t factor,
                       const std::array<uint32_t, 3>& colors, int32_t alpha, bool mirrorX,
                       bool mirrorY) override;
  void PatternFillRects(const std::vector<TRect>& rects, const TCustomDIBX& pattern, int32_t offsetX,
                        int32_t offsetY) override;
  void PatternFill(const TRect& r, const TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY, bool mirrorX,
                   bool mirrorY) override;
  void PatternFillScaled(const TRect& r, const TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY,
                         int32_t scaleX, int32_t scaleY, int32_t alpha, bool key, bool mirrorX,
                         bool mirrorY) override;
  void PatternFillScaledMask(const TRect& r, const TCustomDIBX& pattern, const TCustomDIBX& mask, int32_t offsetX,
                             int32_t offsetY, int32_t scaleX, int32_t scaleY, int32_t alpha, bool mirrorX,
                             bool mirrorY) override;
  void DrawIndexed(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src, const TColorTable& table,
                   int32_t alpha, bool mirrorX, bool mirrorY) override;
  void DrawIndexedAdd(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& src,
                      const TColorTable& table, int32_t weight, bool mirrorX, bool mirrorY) override;
  void StretchDrawIndexed(const TRect& dstRect, const TRect& srcRect, const TCustomDIBX& src,
                          const TColorTable& table, int32_t alpha, bool mirrorX, bool mirrorY) override;
  void FillMask(int32_t x, int32_t y, const TRect& srcRect, const TCustomDIBX& mask, uint32_t color,
                int32_t alpha, bool mirrorX, bool mirrorY) override;

 private:
  template <class Op>
  void ForRuns(int32_t top, int32_t bottom, Op op);
  template <class Op>
  void ForRows(int32_t top, int32_t bottom, Op op);
  // The proxy's area on the target, limited to the clip of this proxy.
  TRect ClipArea() const override;

  TCustomDIBX* target_ = nullptr;
  int32_t width_ = 0, height_ = 0;
  TRect savedTargetClip_;
  bool haveSavedClip_ = false;
};

}  // namespace kest

// The memory image: a device-independent bitmap with an optional 8-bit mask.
//
// Pixel layouts (BitCount): 1, 4 and 8 bits index a 256-entry palette; 15 is x-rrrrr-ggggg-
// bbbbb and 16 rrrrr-gggggg-bbbbb, both stored in 16 bits; 24 is blue, green, red bytes; 32
// is blue, green, red and a fourth byte nobody interprets. Rows are stored top down, each
// padded to 4 bytes. Palette entries are four bytes blue, green, red, 0 (read as a little-
// endian 0x00RRGGBB). The mask is an 8-bit image of the same size, 0 transparent and 255
// opaque.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/types.h"
#include "gfx/geometry.h"

namespace kest {

// Images larger than these are refused (sizes come from untrusted files).
constexpr int32_t kMaxImageSide = 16384;
constexpr int64_t kMaxImageBytes = int64_t(256) << 20;

// True for the bit counts a memory image can have: 1, 4, 8, 15, 16, 24, 32.
bool ValidBitCount(int32_t bitCount);
// Bits per pixel of the storage of a layout (16 for 15).
constexpr int32_t StorageBits(int32_t bitCount) { return bitCount == 15 ? 16 : bitCount; }
// Bytes of one row padded to 4 bytes, computed from the storage bit count.
constexpr int64_t PaddedRowBytes(int64_t width, int32_t bitCount) {
  return ((width * StorageBits(bitCount) + 31) / 32) * 4;
}

// A palette entry (0x00RRGGBB, the bytes blue, green, red, 0) as a colour reference and back.
constexpr TColorRef PaletteEntryToColor(uint32_t e) {
  return MakeColorRef(uint8_t(e >> 16), uint8_t(e >> 8), uint8_t(e));
}
constexpr uint32_t ColorToPaletteEntry(TColorRef c) {
  return (uint32_t(ColorRefR(c)) << 16) | (uint32_t(ColorRefG(c)) << 8) | ColorRefB(c);
}

class TDIBSurface {
 public:
  TDIBSurface();
  ~TDIBSurface();
  TDIBSurface(const TDIBSurface&) = delete;
  TDIBSurface& operator=(const TDIBSurface&) = delete;
  TDIBSurface(TDIBSurface&&) noexcept;
  TDIBSurface& operator=(TDIBSurface&&) noexcept;

  // Allocates width x height pixels of the layout (zero-filled) and resizes an existing mask
  // to the same size. 0 x 0 makes the image empty. Raises EKestBadData for an unknown bit
  // count or a size beyond the caps.
  void SetSize(int32_t width, int32_t height, int32_t bitCount);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  bool IsEmpty() const { return width_ == 0 || height_ == 0; }
  // 15 for 16-bit storage with the 5-5-5 masks, else the stored bit count.
  int32_t BitCount() const;
  int32_t StorageBitCount() const { return storageBits_; }
  int32_t BytesPerPixel() const { return (storageBits_ + 7) / 8; }
  uint32_t RedMask() const { return redMask_; }
  uint32_t GreenMask() const { return greenMask_; }
  uint32_t BlueMask() const { return blueMask_; }
  // Bytes from one row to the next (rows are stored top down).
  int32_t Pitch() const { return pitch_; }
  uint8_t* Bits() { return bits_.data(); }
  const uint8_t* Bits() const { return bits_.data(); }
  size_t ByteSize() const { return bits_.size(); }
  uint8_t* Row(int32_t y) { return bits_.data() + size_t(y) * size_t(pitch_); }
  const uint8_t* Row(int32_t y) const { return bits_.data() + size_t(y) * size_t(pitch_); }
  TRect ClientRect() const { return TRect{0, 0, width_, height_}; }

  // Palette (used for 8 bits or fewer; always 256 entries).
  std::array<uint32_t, 256>& Palette() { return palette_; }
  const std::array<uint32_t, 256>& Palette() const { return palette_; }
  // Number of meaningful palette entries: 2^BitCount for palette layouts, else 0.
  int32_t PaletteSize() const;

  // Raw pixel value: palette index, 16-bit value, 0x00RRGGBB, or 0xXXRRGGBB at 32 bits.
  uint32_t GetPixel(int32_t x, int32_t y) const;
  void SetPixel(int32_t x, int32_t y, uint32_t value);
  // The colour reference of a raw pixel value of this layout, and the pixel value of a
  // colour reference (palette layouts: the nearest entry, first of equals). 8-bit channels
  // are cut to their top bits; 5- and 6-bit channels widen with zero fill, so that
  // MapColor(PixelToColor(p)) == p for every pixel of the 15/16/24/32-bit layouts.
  TColorRef PixelToColor(uint32_t pixel) const;
  uint32_t MapColor(TColorRef color) const;
  // Fills every pixel with a raw value.
  void Fill(uint32_t pixel);

  // Limits CopyRect into this image; an empty clip means the whole image.
  TRect Clip;

  // Copies the source rectangle of src to (x, y): the rectangle is cut to src's bounds
  // (x and y moving by what is cut at the left and top), then clipped by ClipCopy against
  // this image's clip or bounds. Raw pixels of equal layouts are copied as they stand
  // (bit-exactly at 1 and 4 bits); other layouts go through their colours.
  void CopyRect(int32_t x, int32_t y, TRect srcRect, const TDIBSurface& src);
  // Clips a copy of srcRect to (x, y) against clip; answers whether anything remains.
  static bool ClipCopy(const TRect& clip, int32_t& x, int32_t& y, TRect& srcRect);

  // Same size, layout, palette and bytes; the mask follows (copied or removed).
  void Assign(const TDIBSurface& other);
  // As Assign, the pixels copied through CopyRect.
  void AssignDrawn(const TDIBSurface& other);
  // This image becomes the rectangle r of other (cut to other's bounds); the mask's
  // rectangle too when withMask and other has one.
  void CropFrom(const TDIBSurface& other, TRect r, bool withMask);
  void Crop(TRect r);

  // The smallest rectangle holding every pixel whose raw value is not key; key -1: the
  // whole image; (0, 0, 0, 0) when every pixel is key.
  TRect ContentBounds(int32_t key) const;
  // Crops to ContentBounds when it differs from the whole image; nothing left gives 1 x 1.
  void Trim(int32_t key);
  void MirrorH();
  void MirrorV();

  // The mask: none, or an 8-bit image of this image's size.
  TDIBSurface* Mask() { return mask_.get(); }
  const TDIBSurface* Mask() const { return mask_.get(); }
  bool HasMask() const { return mask_ != nullptr; }
  // Creates the mask (zero-filled) or resizes it to this image's size; callers fill it.
  TDIBSurface& EnsureMask();
  void FillMaskOpaque();
  // Copies the rows of an 8-bit image into the mask (as many as both have).
  void SetMaskRows(const TDIBSurface& rows);
  // Copies the rectangle srcRect of an 8-bit image into the mask at (x, y).
  void SetMaskRect(int32_t x, int32_t y, TRect srcRect, const TDIBSurface& src);
  void FreeMask();
  // Takes the given 8-bit image as the mask (sizes must match).
  void AttachMask(std::unique_ptr<TDIBSurface> mask);
  std::unique_ptr<TDIBSurface> DetachMask() { return std::move(mask_); }

  // Distinct colours (1, 4, 8, 16, 24 and 32 bits; 0 for 15 bits), and the colours as
  // palette entries in the order first met (rows top down, left to right).
  int32_t ColourCount() const;
  std::vector<uint32_t> CollectColours() const;

  // Resizes to w x h. Not smooth: nearest pixels at the current layout. Smooth: area
  // averaging when reducing, bilinear when enlarging, giving 24 bits, then (keep) the
  // former layout again. key: a colour reference left out of averages, or -1.
  // The mask is resized as coverage values with the same smooth flag.
  void Resize(int32_t w, int32_t h, bool keep, TColorRef key, bool smooth);

  // Converts to another layout. Palette targets take at most maxColours colours: exact
  // when the image has no more distinct colours, else quantised (dither: error diffusion).
  void ConvertBitCount(int32_t bitCount, int32_t maxColours = 256, bool dither = false);

  // The 24-bit colours of row y, three bytes blue, green, red per pixel.
  void ReadRowBGR(int32_t y, uint8_t* bgr) const;
  // Writes row y from blue, green, red bytes (palette layouts: nearest entries).
  void WriteRowBGR(int32_t y, const uint8_t* bgr);

 private:
  int32_t width_ = 0, height_ = 0, storageBits_ = 0, pitch_ = 0;
  uint32_t redMask_ = 0, greenMask_ = 0, blueMask_ = 0;
  std::vector<uint8_t> bits_;
  std::array<uint32_t, 256> palette_{};
  std::unique_ptr<TDIBSurface> mask_;
};

// The blending loops of layer composition. Source and destination have the same size and
// layout; key is a raw pixel value of the source that is not drawn, or -1.
//
// Keyed copy: every source pixel but the key is copied.
void DrawKeyedCopy(TDIBSurface& dst, const TDIBSurface& src, int32_t key);
// Keyed alpha blend with alpha 0..255: 15/16/24 bits (a*s + (255-a)*d) / 255 per channel;
// 32 bits (a*s + (255-a)*d) / 256 per byte, the fourth byte set to 0; 8 bits or fewer:
// screen-door dithering at level alpha / 16 over the destination position.
void DrawKeyedBlend(TDIBSurface& dst, const TDIBSurface& src, int32_t key, int32_t alpha);
// Blend through an 8-bit mask: 255 copies, 0 leaves, else (m*s + (255-m)*d) / 256; 8 bits
// or fewer copy where the mask is 128 or more.
void DrawMaskBlend(TDIBSurface& dst, const TDIBSurface& src, const TDIBSurface& mask);

}  // namespace kest

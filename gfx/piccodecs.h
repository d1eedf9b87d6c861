// Picture files and blocks: BMP (our own reader and writer), PNG (libpng), JPEG
// (libjpeg-turbo). Every reader takes untrusted bytes and raises EKestBadData on damage.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gfx/dibsfc.h"

namespace kest {

// A Windows bitmap file (uncompressed or bit fields; 1, 4, 8, 16, 24, 32 bits, bottom up or
// top down). 16-bit files become 15 or 16 bits by their masks; a 32-bit file keeps its
// fourth byte in the pixels.
void LoadBmp(const uint8_t* data, size_t size, TDIBSurface& out);
// The image as a bitmap file (bottom up; 16 bits with bit fields, 15 bits as plain 16).
std::vector<uint8_t> SaveBmp(const TDIBSurface& image);

// A PNG file as a 24-bit image; its alpha (an alpha channel or a transparency chunk)
// becomes the mask.
void LoadPng(const uint8_t* data, size_t size, TDIBSurface& out);
// The image as an 8-bit RGBA PNG file, alpha from the mask (255 where there is none).
std::vector<uint8_t> SavePng(const TDIBSurface& image);

// A baseline or progressive JPEG stream as a 24-bit image of its own size. A damaged or
// truncated stream raises EKestBadData (the codec never ends the process), and so does a
// picture that would need more than maxBytes.
void DecodeJpeg(const uint8_t* data, size_t size, TDIBSurface& out, int64_t maxBytes = kMaxImageBytes);
// The image's colours as a baseline JPEG stream at quality 1..100 (clamped).
std::vector<uint8_t> EncodeJpeg(const TDIBSurface& image, int quality);

// Reads a whole file; raises EKest when it cannot be read. Writes bytes to a file.
std::vector<uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace kest

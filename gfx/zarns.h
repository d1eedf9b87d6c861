// Zarn images (.zar): frames of layers with opacity, colour key and 8-bit masks; pixel
// blocks raw, zlib or JPEG, optionally cut into tiles shared within an image and between
// frames, with rows and tile tables shuffled by the title's identification code.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gfx/dibsfc.h"
#include "gfx/geometry.h"
#include "vfs/streams.h"

namespace kest {

// Header byte 22: how blocks are stored.
enum TZarnCompression : int32_t { ZC_ZLIB = 0, ZC_NONE = 1, ZC_JPEG = 2 };

// The magic is "Zarn" and three decimal digits; our writer writes this version.
constexpr int32_t kZarnVersion = 106;
// Offset of the compression byte from the start of a file with a 40-byte header block.
constexpr int64_t kZarnCompressionOffset = 7 + 4 + 22;

// Upper bounds on what a file may ask for (far above what titles use).
constexpr int32_t kZarnMaxFrames = 65536;
constexpr int32_t kZarnMaxLayers = 4096;

struct TZarnLayer {
  std::string Name;
  bool Visible = true;
  int32_t TransparentPixel = -1;  // raw pixel value (palette index at 8 bits or fewer); -1 none
  int32_t Opacity = 255;          // 0..255
  bool HasMask = false;           // the mask of Image is the layer's alpha
  TDIBSurface Image;              // frame size and bit count, optional mask
};

struct TZarnFrame {
  std::string Name;
  int32_t Duration = 100;
  int32_t TransparentPixel = -1;  // raw pixel value, -1 none
  TColorRef TransparentColor = CLR_NONE;
  TDIBSurface Image;              // the composed frame, optional mask
  // Regions holding visible pixels; image objects draw only inside them. An empty list
  // (absent, or stored with no rectangles) means no restriction.
  std::vector<TRect> DrawAreas;
  std::vector<TRect> ExtraAreas;  // carried along, not interpreted
  std::vector<std::unique_ptr<TZarnLayer>> Layers;  // bottom first; empty once discarded

  // Crops the image to the box of its visible pixels (not the key, or mask above 0 when
  // there is a mask); the areas are cut to the box and moved into it, emptied ones dropped.
  // Answers the box (its top-left is where the cropped image belongs). An image with no
  // visible pixel keeps its top-left pixel.
  TRect Trim();
};

// Options of the full writer. The player's own captures use SaveToStream, which writes
// version 106 without tiles; tools and tests also write tiles, old versions, areas and
// headers of other lengths.
struct TZarnWriteOptions {
  int32_t Version = kZarnVersion;        // of the magic: 0 (no magic), 99 ... 106
  int32_t FormatVersion = kZarnVersion;  // of the layer records (header block, 103 and up)
  int32_t Compression = ZC_ZLIB;
  int32_t JpegQuality = 70;
  bool Scrambled = false;  // rows and tile tables shuffled with the identification code
  int32_t TileWidth = 0, TileHeight = 0;
  bool ShareTiles = true;   // equal tiles refer to earlier ones (same image, earlier frames)
  bool WriteAreas = false;  // the frames' DrawAreas and ExtraAreas; else both lists empty
  int32_t HeaderLength = 40;
};

// Where the last load found each block (for tools).
struct TZarnBlockInfo {
  int32_t Frame = 0, Layer = 0;
  bool Mask = false;
  int64_t Offset = 0;  // of the block's bytes in the stream
  int32_t Size = 0;    // stored bytes
};

class TZarnFrameList {
 public:
  explicit TZarnFrameList(int32_t identificationCode = 0) : IdentificationCode(identificationCode) {}

  int32_t Version = 0;  // of the magic; 0 when the stream had none
  int32_t IdentificationCode;
  TColorRef BackgroundColor = 0;
  int32_t TargetBitCount = 0;  // frames are converted to it on load with conversion; 0 keeps
  bool FirstLayerOpaque = false;

  // What the last load found in the header.
  int32_t FormatVersion = 0;
  int32_t Compression = ZC_ZLIB;
  bool Scrambled = false;
  int32_t TileWidth = 0, TileHeight = 0;
  int32_t JpegQuality = 0;
  int32_t StoredFrameCount = 0;  // frame count of the header
  std::vector<TZarnBlockInfo> Blocks;
  // A load refuses files whose frames, layers and masks together need more bytes.
  int64_t MaxDecodedBytes = int64_t(1) << 30;

  std::vector<std::unique_ptr<TZarnFrame>> Frames;

  int32_t Count() const { return int32_t(Frames.size()); }
  TZarnFrame& Frame(int32_t i) { return *Frames.at(size_t(i)); }
  const TZarnFrame& Frame(int32_t i) const { return *Frames.at(size_t(i)); }
  TZarnFrame& AddFrame();
  void Clear() { Frames.clear(); }

  // Reads from the stream's position. A damaged or truncated file raises (EKestBadData,
  // EReadError) and leaves the list empty.
  void LoadFromStream(TStream& s, bool firstFrameOnly = false, bool keepLayers = false, bool convert = false);
  // By the lower-cased extension: .zar, .png (alpha becomes the mask), .bmp and .dib (a
  // 32-bit bitmap's fourth byte becomes the mask and the image becomes 24 bits).
  void LoadFromFile(const std::string& path, bool firstFrameOnly = false, bool keepLayers = false,
                    bool convert = false);

  // The player's writer: "Zarn106", no tiles, rows shuffled and stored plain when the
  // identification code is set, else stored with the given compression.
  void SaveToStream(TStream& s, int32_t compression, int32_t jpegQuality) const;
  void SaveToFile(const std::string& path, int32_t compression = ZC_NONE, int32_t jpegQuality = 70) const;
  // The full writer.
  void Write(TStream& s, const TZarnWriteOptions& options) const;

  // For every frame: a mask from its key (see the conversion on load).
  void BuildMasks(int32_t key);

 private:
  void ConvertOnLoad(bool keepLayers);
};

}  // namespace kest

#include "gfx/zarns.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "common/sjis.h"
#include "gfx/gfxerrors.h"
#include "gfx/piccodecs.h"
#include "vfs/rands.h"
#include "vfs/records.h"
#include "vfs/zlibs.h"

namespace kest {

namespace {

[[noreturn]] void Bad() { throw EKestBadData(gfxmsg::kDamagedData); }

// --- zlib blocks --------------------------------------------------------------------------

// Inflates a zlib block of at most `limit` bytes (more raises).
std::vector<uint8_t> InflateBlock(const uint8_t* data, size_t size, size_t limit) {
  std::vector<uint8_t> out;
  InflateInto(data, int64_t(size), out, int64_t(limit));
  return out;
}

// Row and tile permutations: stored item k is item perm[k].
std::vector<int> Permutation(int32_t code, int n) {
  TTpRandom r(code);
  r.Prepare(n);
  std::vector<int> p(size_t(std::max(n, 0)));
  for (int k = 0; k < n; ++k) p[size_t(k)] = r.Draw();
  return p;
}

// Tile rows are packed to whole bytes; 15-bit pixels take their 16-bit storage, as the
// rows of the image do (15 bits a pixel would leave the rows short).
int64_t TileRowBytes(int32_t tw, int32_t bitCount) { return (int64_t(tw) * StorageBits(bitCount) + 7) / 8; }

// Copies w pixels of packed bits (most significant first) into row y at x.
void PutPackedRow(TDIBSurface& img, int32_t x, int32_t y, int32_t w, const uint8_t* src) {
  const int32_t bits = img.StorageBitCount();
  if (bits >= 8) {
    std::memcpy(img.Row(y) + size_t(x) * size_t(bits / 8), src, size_t(w) * size_t(bits / 8));
    return;
  }
  for (int32_t i = 0; i < w; ++i) {
    const uint32_t v = bits == 1 ? (src[i >> 3] >> (7 - (i & 7))) & 1 : ((i & 1) ? src[i >> 1] & 15 : src[i >> 1] >> 4);
    img.SetPixel(x + i, y, v);
  }
}

void GetPackedRow(const TDIBSurface& img, int32_t x, int32_t y, int32_t w, uint8_t* dst) {
  const int32_t bits = img.StorageBitCount();
  if (bits >= 8) {
    std::memcpy(dst, img.Row(y) + size_t(x) * size_t(bits / 8), size_t(w) * size_t(bits / 8));
    return;
  }
  std::memset(dst, 0, size_t(TileRowBytes(w, bits)));
  for (int32_t i = 0; i < w; ++i) {
    const uint32_t v = img.GetPixel(x + i, y);
    if (bits == 1) dst[i >> 3] |= uint8_t(v << (7 - (i & 7)));
    else dst[i >> 1] |= uint8_t((i & 1) ? v : v << 4);
  }
}

// Copies the rectangle r of src to the same place in dst (same layout).
void CopySameArea(TDIBSurface& dst, const TDIBSurface& src, const TRect& r) {
  const TRect saved = dst.Clip;
  dst.Clip = TRect{};
  dst.CopyRect(r.Left, r.Top, r, src);
  dst.Clip = saved;
}

// The decoding state of one file.
struct TReader {
  TStream& s;
  TZarnFrameList& list;
  std::vector<uint8_t> scratch;
  int64_t budget;  // bytes of images this file may still make
  std::vector<uint8_t> inflated;

  void Spend(int64_t bytes) {
    if (bytes > budget) throw EKestBadData(gfxmsg::kBadSize);
    budget -= bytes;
  }

  // The next block of n bytes: in place when the stream lives in memory.
  const uint8_t* Block(int32_t n) {
    if (n < 0 || n > s.Remaining()) Bad();
    if (const uint8_t* m = s.Memory()) {
      const uint8_t* p = m + s.Position();
      s.SetPosition(s.Position() + n);
      return p;
    }
    scratch.resize(size_t(n));
    s.ReadBuffer(scratch.data(), n);
    return scratch.data();
  }

  bool Tiled() const { return list.FormatVersion >= 103 && list.TileWidth > 0 && list.TileHeight > 0; }

  // Untiled rows into img (which has its size and layout).
  void PutRows(TDIBSurface& img, const uint8_t* data, size_t size) {
    const size_t pitch = size_t(img.Pitch());
    if (size != pitch * size_t(img.Height())) Bad();
    if (!list.Scrambled) {
      std::memcpy(img.Bits(), data, size);
      return;
    }
    const std::vector<int> perm = Permutation(list.IdentificationCode, img.Height());
    for (int32_t k = 0; k < img.Height(); ++k) std::memcpy(img.Row(perm[size_t(k)]), data + size_t(k) * pitch, pitch);
  }

  // Tiled data into img; frames/layers before this one may be referred to.
  void PutTiles(TDIBSurface& img, const uint8_t* data, size_t size, int32_t frameIndex, int32_t layerIndex,
                bool maskBlock, const std::vector<std::vector<const TDIBSurface*>>& earlier) {
    (void)layerIndex;
    const int32_t tw = list.TileWidth, th = list.TileHeight;
    const int64_t tx = (int64_t(img.Width()) + tw - 1) / tw, ty = (int64_t(img.Height()) + th - 1) / th;
    const int64_t n = tx * ty;
    if (n < 0 || n * 8 > int64_t(size)) Bad();
    std::vector<std::pair<int32_t, int32_t>> table(static_cast<size_t>(n));
    std::vector<int> perm;
    if (list.Scrambled) perm = Permutation(list.IdentificationCode, int(n));
    for (int64_t i = 0; i < n; ++i) {
      const size_t at = list.Scrambled ? size_t(perm[size_t(i)]) : size_t(i);
      table[at] = {GetI32LE(data + i * 8), GetI32LE(data + i * 8 + 4)};
    }
    size_t pos = size_t(n) * 8;
    for (int64_t t = 0; t < n; ++t) {
      const int32_t cx = int32_t(t % tx), cy = int32_t(t / tx);
      const TRect r{cx * tw, cy * th, std::min(img.Width(), (cx + 1) * tw), std::min(img.Height(), (cy + 1) * th)};
      const auto [a, b] = table[size_t(t)];
      if (a == -1) {
        const size_t rowBytes = size_t(TileRowBytes(r.Width(), img.BitCount()));
        if (rowBytes * size_t(r.Height()) > size - pos) Bad();
        for (int32_t y = r.Top; y < r.Bottom; ++y, pos += rowBytes) PutPackedRow(img, r.Left, y, r.Width(), data + pos);
      } else if (a == -2) {
        if (b < 0 || b >= t) Bad();  // only tiles already placed
        const int32_t bx = int32_t(b % tx), by = int32_t(b / tx);
        const TRect from{bx * tw, by * th, std::min(img.Width(), bx * tw + r.Width()),
                         std::min(img.Height(), by * th + r.Height())};
        // Tiles never overlap: rows move straight within the image.
        const int32_t cw = std::min(r.Width(), from.Width()), ch = std::min(r.Height(), from.Height());
        for (int32_t j = 0; j < ch; ++j) {
          if (img.StorageBitCount() >= 8) {
            const size_t bpp = size_t(img.BytesPerPixel());
            std::memcpy(img.Row(r.Top + j) + size_t(r.Left) * bpp, img.Row(from.Top + j) + size_t(from.Left) * bpp,
                        size_t(cw) * bpp);
          } else {
            for (int32_t i = 0; i < cw; ++i) img.SetPixel(r.Left + i, r.Top + j, img.GetPixel(from.Left + i, from.Top + j));
          }
        }
      } else if (a >= 0) {
        if (a >= frameIndex || size_t(a) >= earlier.size()) Bad();
        const auto& layers = earlier[size_t(a)];
        if (b < 0 || size_t(b) >= layers.size()) Bad();
        const TDIBSurface* src = layers[size_t(b)];
        if (maskBlock) src = src->Mask();
        if (!src || src->Width() != img.Width() || src->Height() != img.Height() || src->BitCount() != img.BitCount())
          Bad();
        CopySameArea(img, *src, r);
      } else {
        Bad();
      }
    }
    if (pos != size) Bad();
  }

  // Decodes one block into img (sized already). For a colour block at 8 bits or fewer the
  // palette is set. A JPEG block of another size is copied where the two overlap.
  void DecodeBlock(TDIBSurface& img, const uint8_t* data, size_t size, bool maskBlock, int32_t frameIndex,
                   int32_t layerIndex, const std::vector<std::vector<const TDIBSurface*>>& earlier) {
    if (!maskBlock && list.Compression == ZC_JPEG) {
      TDIBSurface decoded;
      // A picture far larger than its layer is damage, not something to allocate.
      DecodeJpeg(data, size, decoded, 2 * PaddedRowBytes(img.Width(), 24) * img.Height() + 65536);
      if (decoded.Width() == img.Width() && decoded.Height() == img.Height() && img.BitCount() == 24) {
        img = std::move(decoded);
      } else {
        // Palette layers take the nearest entries; other layouts convert colour by colour.
        CopySameArea(img, decoded, IntersectRect(decoded.ClientRect(), img.ClientRect()));
      }
      return;
    }
    const bool zlib = list.Compression == ZC_ZLIB || (maskBlock && list.Compression == ZC_JPEG);
    if (Tiled()) {
      const int32_t tw = list.TileWidth, th = list.TileHeight;
      const int64_t tx = (int64_t(img.Width()) + tw - 1) / tw, ty = (int64_t(img.Height()) + th - 1) / th;
      // The most a tiled block can hold: its table and every tile stored.
      const int64_t most = tx * ty * 8 + int64_t(img.Height()) * (TileRowBytes(img.Width(), img.BitCount()) + tx);
      if (zlib) {
        const std::vector<uint8_t> raw = InflateBlock(data, size, size_t(most));
        PutTiles(img, raw.data(), raw.size(), frameIndex, layerIndex, maskBlock, earlier);
      } else {
        PutTiles(img, data, size, frameIndex, layerIndex, maskBlock, earlier);
      }
      return;
    }
    const size_t expect = size_t(img.Pitch()) * size_t(img.Height());
    if (!zlib) return PutRows(img, data, size);
    std::vector<uint8_t>& raw = inflated;  // reused from block to block
    InflateInto(data, int64_t(size), raw, int64_t(expect));
    if (raw.size() != expect) Bad();
    if (!list.Scrambled) {
      std::memcpy(img.Bits(), raw.data(), expect);
      return;
    }
    PutRows(img, raw.data(), raw.size());
  }

  std::vector<TRect> ReadAreas() {
    const int32_t n = ReadInt(s);
    std::vector<TRect> v;
    if (n <= 0) return v;
    if (int64_t(n) * 16 > s.Remaining()) Bad();
    v.reserve(size_t(n));
    for (int32_t i = 0; i < n; ++i) {
      TRect r;
      r.Left = ReadInt(s), r.Top = ReadInt(s), r.Right = ReadInt(s), r.Bottom = ReadInt(s);
      v.push_back(r);
    }
    return v;
  }
};

// Draws a layer onto the frame (one step of the composition).
void ComposeLayer(TZarnFrame& f, TZarnLayer& l, int32_t index, bool& first, bool firstLayerOpaque) {
  const bool masked = l.Image.HasMask() && l.HasMask;
  if (masked && first) {
    f.Image.EnsureMask();
    f.Image.SetMaskRows(*l.Image.Mask());
  }
  if (masked && index > 0) {
    DrawMaskBlend(f.Image, l.Image, *l.Image.Mask());
  } else if ((l.TransparentPixel == -1 || (first && firstLayerOpaque)) && l.Opacity >= 255) {
    std::memcpy(f.Image.Bits(), l.Image.Bits(), f.Image.ByteSize());
  } else {
    DrawKeyedBlend(f.Image, l.Image, l.TransparentPixel, std::clamp(l.Opacity, 0, 255));
  }
  first = false;
}

void SetMaskFromKey(TDIBSurface& img, int32_t key) {
  TDIBSurface& m = img.EnsureMask();
  const uint32_t k = uint32_t(key);
  for (int32_t y = 0; y < img.Height(); ++y) {
    uint8_t* row = m.Row(y);
    for (int32_t x = 0; x < img.Width(); ++x) row[x] = img.GetPixel(x, y) == k ? 0 : 255;
  }
}

}  // namespace

TZarnFrame& TZarnFrameList::AddFrame() {
  Frames.push_back(std::make_unique<TZarnFrame>());
  return *Frames.back();
}

void TZarnFrameList::LoadFromStream(TStream& s, bool firstFrameOnly, bool keepLayers, bool convert) {
  Frames.clear();
  Blocks.clear();
  try {
    TReader rd{s, *this, {}, MaxDecodedBytes, {}};
    const int64_t start = s.Position();
    char magic[7] = {};
    Version = 0;
    if (s.Remaining() >= 7) {
      s.ReadBuffer(magic, 7);
      if (std::memcmp(magic, "Zarn", 4) == 0) {
        for (int i = 4; i < 7; ++i)
          if (magic[i] < '0' || magic[i] > '9') Bad();
        Version = (magic[4] - '0') * 100 + (magic[5] - '0') * 10 + (magic[6] - '0');
      } else {
        s.SetPosition(start);
      }
    }
    int32_t frameCount;
    Scrambled = false, Compression = ZC_ZLIB, TileWidth = TileHeight = 0, JpegQuality = 0;
    if (Version >= 103) {
      const int32_t len = ReadInt(s);
      if (len < 0 || len > s.Remaining()) Bad();
      uint8_t h[40] = {};
      s.ReadBuffer(h, std::min(len, 40));
      s.SetPosition(s.Position() + std::max(0, len - 40));
      FormatVersion = GetI32LE(h);
      frameCount = GetI32LE(h + 16);
      Scrambled = h[21] != 0;
      Compression = h[22];
      BackgroundColor = GetI32LE(h + 24);
      TileWidth = GetI32LE(h + 28), TileHeight = GetI32LE(h + 32);
      FirstLayerOpaque = Version >= 105 ? h[36] != 0 : false;
      JpegQuality = h[37];
      if (Compression > ZC_JPEG || TileWidth < 0 || TileHeight < 0) Bad();  // unknown storage
    } else {
      FormatVersion = Version;
      frameCount = ReadInt(s);
      ReadByte(s);
      BackgroundColor = Version == 102 ? ReadInt(s) : 0;
    }
    // A frame record takes at least 33 bytes.
    if (frameCount < 0 || frameCount > kZarnMaxFrames || int64_t(frameCount) * 33 > s.Remaining()) Bad();
    StoredFrameCount = frameCount;
    if (firstFrameOnly) frameCount = std::min(frameCount, 1);

    std::vector<std::vector<const TDIBSurface*>> earlier;
    for (int32_t fi = 0; fi < frameCount; ++fi) {
      auto frame = std::make_unique<TZarnFrame>();
      TZarnFrame& f = *frame;
      f.Name = ReadString(s);
      f.TransparentPixel = ReadInt(s);
      f.Duration = ReadInt(s);
      ReadByte(s);
      ReadInt(s);
      const int32_t layerCount = ReadInt(s);
      const int32_t w = ReadInt(s), h = ReadInt(s), bits = ReadInt(s);
      if (layerCount < 0 || layerCount > kZarnMaxLayers || int64_t(layerCount) * 30 > s.Remaining()) Bad();
      if (!ValidBitCount(bits) || w <= 0 || h <= 0) Bad();
      if (w > kMaxImageSide || h > kMaxImageSide || PaddedRowBytes(w, bits) * h > kMaxImageBytes)
        throw EKestBadData(gfxmsg::kBadSize);
      const int64_t imageBytes = PaddedRowBytes(w, bits) * h;
      std::array<uint32_t, 256> palette{};
      if (bits <= 8) {
        for (int i = 0; i < (1 << bits); ++i) palette[size_t(i)] = ReadUInt(s) & 0xFFFFFF;
      }
      {
        TDIBSurface probe;
        probe.SetSize(1, 1, bits);
        probe.Palette() = palette;
        f.TransparentColor = f.TransparentPixel == -1 ? CLR_NONE : probe.PixelToColor(uint32_t(f.TransparentPixel));
      }
      std::vector<const TDIBSurface*> mine;
      for (int32_t li = 0; li < layerCount; ++li) {
        auto layer = std::make_unique<TZarnLayer>();
        TZarnLayer& l = *layer;
        uint8_t reserved[8];
        s.ReadBuffer(reserved, 8);
        l.Visible = ReadBool(s);
        l.TransparentPixel = ReadInt(s);
        l.Opacity = ReadInt(s);
        const bool hasMaskByte = FormatVersion > 100;
        if (hasMaskByte) l.HasMask = ReadBool(s);
        l.Name = ReadString(s);
        rd.Spend(imageBytes);
        l.Image.SetSize(w, h, bits);
        l.Image.Palette() = palette;
        {
          const int32_t n = ReadInt(s);
          Blocks.push_back({fi, li, false, s.Position(), n});
          const uint8_t* p = rd.Block(n);
          rd.DecodeBlock(l.Image, p, size_t(n), false, fi, li, earlier);
        }
        if (FormatVersion > 99) {
          const int32_t n = ReadInt(s);
          if (n > 0) {
            Blocks.push_back({fi, li, true, s.Position(), n});
            const uint8_t* p = rd.Block(n);
            rd.Spend(PaddedRowBytes(w, 8) * h);
            TDIBSurface& m = l.Image.EnsureMask();
            rd.DecodeBlock(m, p, size_t(n), true, fi, li, earlier);
            // Files without the flag byte mean their masks.
            if (!hasMaskByte) l.HasMask = true;
            if (l.HasMask) l.TransparentPixel = -1;
          } else if (n < 0) {
            Bad();
          }
        }
        mine.push_back(&l.Image);
        f.Layers.push_back(std::move(layer));
      }
      // A single layer copied as it stands becomes the frame's image without a copy
      // (unless the layers are kept).
      TZarnLayer* only = layerCount == 1 ? f.Layers[0].get() : nullptr;
      if (only && !keepLayers && only->Visible && only->TransparentPixel == -1 && only->Opacity >= 255 &&
          (!only->Image.HasMask() || only->HasMask)) {
        f.Image = std::move(only->Image);
        mine[0] = &f.Image;
      } else {
        rd.Spend(imageBytes);
        f.Image.SetSize(w, h, bits);
        f.Image.Palette() = palette;
        f.Image.Fill(f.Image.MapColor(BackgroundColor));
        bool first = true;
        for (int32_t li = 0; li < layerCount; ++li) {
          TZarnLayer& l = *f.Layers[size_t(li)];
          if (l.Visible) ComposeLayer(f, l, li, first, FirstLayerOpaque);
        }
      }
      if (FormatVersion >= 104) {
        f.DrawAreas = rd.ReadAreas();
        f.ExtraAreas = rd.ReadAreas();
      }
      earlier.push_back(std::move(mine));
      Frames.push_back(std::move(frame));
    }
    if (convert) ConvertOnLoad(keepLayers);
    if (!keepLayers)
      for (auto& f : Frames) f->Layers.clear();
  } catch (...) {
    Frames.clear();
    throw;
  }
}

void TZarnFrameList::ConvertOnLoad(bool keepLayers) {
  for (auto& fp : Frames) {
    TZarnFrame& f = *fp;
    if (f.TransparentPixel >= 0 && !f.Image.HasMask()) SetMaskFromKey(f.Image, f.TransparentPixel);
    if (keepLayers)
      for (auto& l : f.Layers) {
        const int32_t key = l->TransparentPixel >= 0 ? l->TransparentPixel : f.TransparentPixel;
        if (!l->Image.HasMask() && key >= 0) SetMaskFromKey(l->Image, key);
      }
    if (TargetBitCount == 0 && f.Image.BitCount() <= 8) {
      if (f.TransparentPixel >= 0) {
        // The converted value of a key pixel: the 24-bit value of its palette entry.
        f.TransparentPixel = int32_t(f.Image.Palette()[size_t(f.TransparentPixel) & 255] & 0xFFFFFF);
      }
      f.Image.ConvertBitCount(24);
      if (keepLayers)
        for (auto& l : f.Layers) l->Image.ConvertBitCount(24);
    } else if (TargetBitCount != 0 && (f.Image.HasMask() || f.TransparentPixel < 0)) {
      f.Image.ConvertBitCount(TargetBitCount, 256, true);
      if (keepLayers)
        for (auto& l : f.Layers) l->Image.ConvertBitCount(TargetBitCount, 256, true);
    }
  }
}

void TZarnFrameList::BuildMasks(int32_t key) {
  for (auto& f : Frames) {
    const int32_t k = f->TransparentPixel >= 0 ? f->TransparentPixel : key;
    if (k >= 0 && !f->Image.HasMask()) SetMaskFromKey(f->Image, k);
  }
}

void TZarnFrameList::LoadFromFile(const std::string& path, bool firstFrameOnly, bool keepLayers, bool convert) {
  std::string ext;
  const size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && path.find_first_of("/\\", dot) == std::string::npos) ext = FoldCase(path.substr(dot));
  Frames.clear();
  if (ext == ".png" || ext == ".bmp" || ext == ".dib") {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    TZarnFrame& f = AddFrame();
    try {
      if (ext == ".png") {
        LoadPng(bytes.data(), bytes.size(), f.Image);
      } else {
        LoadBmp(bytes.data(), bytes.size(), f.Image);
        if (f.Image.BitCount() == 32) {
          TDIBSurface& m = f.Image.EnsureMask();
          for (int32_t y = 0; y < f.Image.Height(); ++y)
            for (int32_t x = 0; x < f.Image.Width(); ++x) m.Row(y)[x] = f.Image.Row(y)[x * 4 + 3];
          f.Image.ConvertBitCount(24);
        }
      }
    } catch (...) {
      Frames.clear();
      throw;
    }
    return;
  }
  TFileStream fs(path, TFileAccess::Read);
  TMemoryStream ms;
  ms.LoadFromStream(fs);
  LoadFromStream(ms, firstFrameOnly, keepLayers, convert);
}

// --- writing ---------------------------------------------------------------------------------

namespace {

struct TWriter {
  const TZarnFrameList& list;
  const TZarnWriteOptions& o;
  int32_t compression;
  // The images of the frames written so far, by frame and layer, for shared tiles.
  std::vector<std::vector<const TDIBSurface*>> earlier;

  bool Tiled() const { return o.Version >= 103 && o.FormatVersion >= 103 && o.TileWidth > 0 && o.TileHeight > 0; }

  std::vector<uint8_t> Rows(const TDIBSurface& img) const {
    const size_t pitch = size_t(img.Pitch());
    std::vector<uint8_t> out(pitch * size_t(img.Height()));
    if (!o.Scrambled) {
      if (!out.empty()) std::memcpy(out.data(), img.Bits(), out.size());
      return out;
    }
    const std::vector<int> perm = Permutation(list.IdentificationCode, img.Height());
    for (int32_t k = 0; k < img.Height(); ++k) std::memcpy(out.data() + size_t(k) * pitch, img.Row(perm[size_t(k)]), pitch);
    return out;
  }

  std::vector<uint8_t> Tiles(const TDIBSurface& img, bool maskBlock) const {
    const int32_t tw = o.TileWidth, th = o.TileHeight;
    const int64_t tx = (int64_t(img.Width()) + tw - 1) / tw, ty = (int64_t(img.Height()) + th - 1) / th;
    const int64_t n = tx * ty;
    std::vector<std::pair<int32_t, int32_t>> table(static_cast<size_t>(n));
    std::vector<uint8_t> pixels;
    std::unordered_map<std::string, int32_t> seen;  // tile bytes (with size) -> tile number
    std::vector<uint8_t> tile;
    for (int64_t t = 0; t < n; ++t) {
      const int32_t cx = int32_t(t % tx), cy = int32_t(t / tx);
      const TRect r{cx * tw, cy * th, std::min(img.Width(), (cx + 1) * tw), std::min(img.Height(), (cy + 1) * th)};
      const size_t rowBytes = size_t(TileRowBytes(r.Width(), img.BitCount()));
      tile.assign(rowBytes * size_t(r.Height()), 0);
      for (int32_t y = r.Top; y < r.Bottom; ++y) GetPackedRow(img, r.Left, y, r.Width(), tile.data() + size_t(y - r.Top) * rowBytes);
      if (o.ShareTiles) {
        // An earlier frame with the same pixels in the same place.
        bool found = false;
        for (size_t fi = 0; fi < earlier.size() && !found; ++fi)
          for (size_t li = 0; li < earlier[fi].size() && !found; ++li) {
            const TDIBSurface* e = earlier[fi][li];
            if (maskBlock) e = e->Mask();
            if (!e || e->Width() != img.Width() || e->Height() != img.Height() || e->BitCount() != img.BitCount()) continue;
            bool same = true;
            std::vector<uint8_t> row(rowBytes);
            for (int32_t y = r.Top; y < r.Bottom && same; ++y) {
              GetPackedRow(*e, r.Left, y, r.Width(), row.data());
              same = std::memcmp(row.data(), tile.data() + size_t(y - r.Top) * rowBytes, rowBytes) == 0;
            }
            if (same) table[size_t(t)] = {int32_t(fi), int32_t(li)}, found = true;
          }
        if (found) continue;
        std::string key(tile.begin(), tile.end());
        key.push_back(char(r.Width())), key.push_back(char(r.Width() >> 8));
        key.push_back(char(r.Height())), key.push_back(char(r.Height() >> 8));
        auto it = seen.find(key);
        if (it != seen.end()) {
          table[size_t(t)] = {-2, it->second};
          continue;
        }
        seen.emplace(std::move(key), int32_t(t));
      }
      table[size_t(t)] = {-1, 0};
      pixels.insert(pixels.end(), tile.begin(), tile.end());
    }
    std::vector<uint8_t> out(size_t(n) * 8);
    std::vector<int> perm;
    if (o.Scrambled) perm = Permutation(list.IdentificationCode, int(n));
    for (int64_t i = 0; i < n; ++i) {
      const auto& e = table[o.Scrambled ? size_t(perm[size_t(i)]) : size_t(i)];
      PutU32LE(out.data() + i * 8, uint32_t(e.first));
      PutU32LE(out.data() + i * 8 + 4, uint32_t(e.second));
    }
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
  }

  void Block(TStream& s, const TDIBSurface& img, bool maskBlock) const {
    std::vector<uint8_t> data;
    if (!maskBlock && compression == ZC_JPEG) {
      data = EncodeJpeg(img, o.JpegQuality);
    } else {
      data = Tiled() ? Tiles(img, maskBlock) : Rows(img);
      if (compression == ZC_ZLIB || (maskBlock && compression == ZC_JPEG)) data = Deflate(data.data(), data.size());
    }
    WriteInt(s, int32_t(data.size()));
    s.WriteBuffer(data.data(), int64_t(data.size()));
  }

  void Layer(TStream& s, const TZarnLayer* l, const TDIBSurface& img, int32_t fmt) const {
    const uint8_t zeros[8] = {};
    s.WriteBuffer(zeros, 8);
    WriteBool(s, l ? l->Visible : true);
    WriteInt(s, l ? l->TransparentPixel : -1);
    WriteInt(s, l ? l->Opacity : 255);
    if (fmt > 100) WriteBool(s, l ? l->HasMask : img.HasMask());
    WriteString(s, l ? l->Name : std::string("Layer"));
    Block(s, img, false);
    if (fmt > 99) {
      if (img.HasMask()) Block(s, *img.Mask(), true);
      else WriteInt(s, 0);
    }
  }
};

void WriteAreas(TStream& s, const std::vector<TRect>& v) {
  WriteInt(s, int32_t(v.size()));
  for (const TRect& r : v) WriteInt(s, r.Left), WriteInt(s, r.Top), WriteInt(s, r.Right), WriteInt(s, r.Bottom);
}

}  // namespace

void TZarnFrameList::Write(TStream& s, const TZarnWriteOptions& o) const {
  if (o.Scrambled && IdentificationCode == 0) throw EKest(gfxmsg::kSetIdentificationCode);
  if (o.Version != 0 && (o.Version < 0 || o.Version > 999)) throw EKest(gfxmsg::kBadDepth);
  int32_t compression = o.Version >= 103 ? o.Compression : ZC_ZLIB;
  // JPEG has no palette layouts: such files are written with zlib throughout.
  if (compression == ZC_JPEG)
    for (const auto& f : Frames) {
      if (f->Layers.empty() && f->Image.BitCount() <= 8) compression = ZC_ZLIB;
      for (const auto& l : f->Layers)
        if (l->Image.BitCount() <= 8) compression = ZC_ZLIB;
    }
  const int32_t fmt = o.Version >= 103 ? o.FormatVersion : o.Version;
  TWriter wr{*this, o, compression, {}};
  auto firstImage = [](const TZarnFrame& f) -> const TDIBSurface& {
    return f.Layers.empty() ? f.Image : f.Layers.front()->Image;
  };
  if (o.Version != 0) {
    char magic[8];
    std::snprintf(magic, sizeof magic, "Zarn%03d", o.Version);
    s.WriteBuffer(magic, 7);
  }
  if (o.Version >= 103) {
    const int32_t len = std::max(0, o.HeaderLength);
    std::vector<uint8_t> h(size_t(std::max(len, 40)), 0);
    PutU32LE(h.data(), uint32_t(o.FormatVersion));
    if (!Frames.empty()) {
      const TDIBSurface& img = firstImage(*Frames.front());
      PutU32LE(h.data() + 4, uint32_t(img.Width()));
      PutU32LE(h.data() + 8, uint32_t(img.Height()));
      PutU32LE(h.data() + 12, uint32_t(img.BitCount()));
    }
    PutU32LE(h.data() + 16, uint32_t(Frames.size()));
    h[20] = 1;
    h[21] = o.Scrambled ? 1 : 0;
    h[22] = uint8_t(compression);
    PutU32LE(h.data() + 24, uint32_t(BackgroundColor));
    PutU32LE(h.data() + 28, uint32_t(o.TileWidth));
    PutU32LE(h.data() + 32, uint32_t(o.TileHeight));
    h[36] = FirstLayerOpaque ? 1 : 0;
    h[37] = uint8_t(std::clamp(o.JpegQuality, 1, 100));
    WriteInt(s, len);
    s.WriteBuffer(h.data(), len);
  } else {
    WriteInt(s, int32_t(Frames.size()));
    WriteByte(s, 0);
    if (o.Version == 102) WriteInt(s, BackgroundColor);
  }
  for (const auto& fp : Frames) {
    const TZarnFrame& f = *fp;
    const TDIBSurface& img = firstImage(f);
    for (const auto& l : f.Layers)
      if (l->Image.Width() != img.Width() || l->Image.Height() != img.Height() || l->Image.BitCount() != img.BitCount())
        throw EKest(gfxmsg::kBadSize);
    if (img.IsEmpty()) throw EKest(gfxmsg::kBadSize);
    WriteString(s, f.Name);
    WriteInt(s, f.TransparentPixel);
    WriteInt(s, f.Duration);
    WriteByte(s, 0);
    WriteInt(s, 0);
    WriteInt(s, f.Layers.empty() ? 1 : int32_t(f.Layers.size()));
    WriteInt(s, img.Width()), WriteInt(s, img.Height()), WriteInt(s, img.BitCount());
    if (img.BitCount() <= 8)
      for (int i = 0; i < (1 << img.BitCount()); ++i) WriteUInt(s, img.Palette()[size_t(i)] & 0xFFFFFF);
    std::vector<const TDIBSurface*> mine;
    if (f.Layers.empty()) {
      wr.Layer(s, nullptr, f.Image, fmt);
      mine.push_back(&f.Image);
    } else {
      for (const auto& l : f.Layers) {
        wr.Layer(s, l.get(), l->Image, fmt);
        mine.push_back(&l->Image);
      }
    }
    if (fmt >= 104) {
      WriteAreas(s, o.WriteAreas ? f.DrawAreas : std::vector<TRect>{});
      WriteAreas(s, o.WriteAreas ? f.ExtraAreas : std::vector<TRect>{});
    }
    wr.earlier.push_back(std::move(mine));
  }
}

void TZarnFrameList::SaveToStream(TStream& s, int32_t compression, int32_t jpegQuality) const {
  TZarnWriteOptions o;
  o.Scrambled = IdentificationCode != 0;
  o.Compression = IdentificationCode != 0 ? ZC_NONE : compression;
  o.JpegQuality = jpegQuality;
  o.ShareTiles = false;
  Write(s, o);
}

void TZarnFrameList::SaveToFile(const std::string& path, int32_t compression, int32_t jpegQuality) const {
  TMemoryStream ms;
  SaveToStream(ms, compression, jpegQuality);
  ms.SaveToFile(path);
}

// --- frame trim --------------------------------------------------------------------------------

TRect TZarnFrame::Trim() {
  TRect box;
  if (Image.HasMask()) {
    box = Image.Mask()->ContentBounds(0);
  } else {
    box = Image.ContentBounds(TransparentPixel);
  }
  if (box == Image.ClientRect()) return box;
  if (box.IsEmpty()) box = TRect{0, 0, 1, 1};
  Image.Crop(box);
  auto cut = [&](std::vector<TRect>& v) {
    std::vector<TRect> out;
    for (const TRect& r : v) {
      const TRect i = IntersectRect(r, box);
      if (i.IsEmpty()) continue;
      out.push_back(TRect{i.Left - box.Left, i.Top - box.Top, i.Right - box.Left, i.Bottom - box.Top});
    }
    v = std::move(out);
  };
  cut(DrawAreas);
  cut(ExtraAreas);
  return box;
}

}  // namespace kest

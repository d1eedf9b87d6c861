#include "gfx/piccodecs.h"

#include <csetjmp>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

#include "gfx/gfxerrors.h"

namespace kest {

namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
void Put32(std::vector<uint8_t>& o, uint32_t v) {
  for (int i = 0; i < 4; ++i) o.push_back(uint8_t(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& o, uint32_t v) { o.push_back(uint8_t(v)), o.push_back(uint8_t(v >> 8)); }

[[noreturn]] void Damaged() { throw EKestBadData(gfxmsg::kDamagedFile); }

// A channel under an arbitrary mask, widened or cut to 8 bits.
struct TChannel {
  int shift = 0, bits = 0;
  uint32_t mask = 0;
  explicit TChannel(uint32_t m) : mask(m) {
    if (!m) return;
    while (!((m >> shift) & 1)) ++shift;
    while (shift + bits < 32 && ((m >> (shift + bits)) & 1)) ++bits;
  }
  uint8_t operator()(uint32_t p) const {
    if (!mask) return 0;
    const uint32_t v = (p & mask) >> shift;
    return bits >= 8 ? uint8_t(v >> (bits - 8)) : uint8_t(v << (8 - bits));
  }
};

}  // namespace

// --- BMP -------------------------------------------------------------------------------

void LoadBmp(const uint8_t* data, size_t size, TDIBSurface& out) {
  if (size < 26 || data[0] != 'B' || data[1] != 'M') Damaged();
  const uint32_t offBits = Le32(data + 10);
  const uint32_t hdr = Le32(data + 14);
  if (hdr < 12 || size - 14 < hdr) Damaged();
  int64_t w, h;
  uint32_t bits, compression = 0, clrUsed = 0;
  size_t palEntry = 4;
  if (hdr == 12) {
    w = Le16(data + 18), h = int16_t(Le16(data + 20)), bits = Le16(data + 24);
    palEntry = 3;
  } else {
    if (hdr < 40) Damaged();
    w = int32_t(Le32(data + 18)), h = int32_t(Le32(data + 22)), bits = Le16(data + 28);
    compression = Le32(data + 30), clrUsed = Le32(data + 46);
  }
  const bool topDown = h < 0;
  if (topDown) h = -h;
  if (w <= 0 || h <= 0 || w > kMaxImageSide || h > kMaxImageSide) throw EKestBadData(gfxmsg::kBadSize);
  uint32_t masks[3] = {0, 0, 0};
  if (compression == 3) {
    if (bits != 16 && bits != 32) Damaged();
    const size_t at = 14 + 40;
    if (hdr >= 52) {
      for (int i = 0; i < 3; ++i) masks[i] = Le32(data + at + 4 * i);
    } else {
      if (size < at + 12) Damaged();
      for (int i = 0; i < 3; ++i) masks[i] = Le32(data + at + 4 * i);
    }
  } else if (compression != 0) {
    Damaged();  // run-length and embedded codecs are not used by titles
  }
  int32_t layout;
  switch (bits) {
    case 1: case 4: case 8: case 24: layout = int32_t(bits); break;
    case 16:
      if (compression == 0 || (masks[0] == 0x7C00 && masks[1] == 0x3E0 && masks[2] == 0x1F)) layout = 15;
      else if (masks[0] == 0xF800 && masks[1] == 0x7E0 && masks[2] == 0x1F) layout = 16;
      else layout = 32;  // unusual masks: widened below
      break;
    case 32: layout = 32; break;
    default: Damaged();
  }
  const int64_t fileRow = ((w * bits + 31) / 32) * 4;
  if (offBits > size || int64_t(size - offBits) < fileRow * h) Damaged();
  out.FreeMask();
  out.SetSize(int32_t(w), int32_t(h), layout);
  if (bits <= 8) {
    uint32_t n = clrUsed ? clrUsed : (1u << bits);
    if (n > (1u << bits)) n = 1u << bits;
    const size_t palAt = 14 + hdr;
    if (palAt + n * palEntry > offBits) Damaged();
    out.Palette().fill(0);
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t* e = data + palAt + i * palEntry;
      out.Palette()[i] = uint32_t(e[0]) | (uint32_t(e[1]) << 8) | (uint32_t(e[2]) << 16);
    }
  }
  const bool custom = (bits == 16 && layout == 32) || (bits == 32 && compression == 3 &&
                                                       !(masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF));
  for (int64_t y = 0; y < h; ++y) {
    const uint8_t* src = data + offBits + size_t(fileRow) * size_t(topDown ? y : h - 1 - y);
    uint8_t* dst = out.Row(int32_t(y));
    if (!custom) {
      std::memcpy(dst, src, size_t(std::min<int64_t>(fileRow, out.Pitch())));
      continue;
    }
    const TChannel red(masks[0]), green(masks[1]), blue(masks[2]);
    for (int64_t x = 0; x < w; ++x) {
      const uint32_t p = bits == 16 ? Le16(src + x * 2) : Le32(src + x * 4);
      dst[x * 4] = blue(p);
      dst[x * 4 + 1] = green(p);
      dst[x * 4 + 2] = red(p);
      dst[x * 4 + 3] = 0;
    }
  }
}

std::vector<uint8_t> SaveBmp(const TDIBSurface& img) {
  const int32_t bits = img.BitCount(), sbits = img.StorageBitCount();
  const uint32_t palBytes = bits <= 8 ? (4u << bits) : (bits == 16 ? 12u : 0u);
  const uint32_t offBits = 14 + 40 + palBytes;
  const uint32_t imageBytes = uint32_t(img.Pitch()) * uint32_t(img.Height());
  std::vector<uint8_t> o;
  o.reserve(offBits + imageBytes);
  o.push_back('B'), o.push_back('M');
  Put32(o, offBits + imageBytes), Put32(o, 0), Put32(o, offBits);
  Put32(o, 40), Put32(o, uint32_t(img.Width())), Put32(o, uint32_t(img.Height()));
  Put16(o, 1), Put16(o, uint32_t(sbits));
  Put32(o, bits == 16 ? 3 : 0), Put32(o, imageBytes), Put32(o, 2835), Put32(o, 2835);
  Put32(o, bits <= 8 ? (1u << bits) : 0), Put32(o, 0);
  if (bits <= 8)
    for (int i = 0; i < (1 << bits); ++i) Put32(o, img.Palette()[size_t(i)] & 0xFFFFFF);
  if (bits == 16) Put32(o, 0xF800), Put32(o, 0x7E0), Put32(o, 0x1F);
  for (int32_t y = img.Height() - 1; y >= 0; --y) o.insert(o.end(), img.Row(y), img.Row(y) + img.Pitch());
  return o;
}

// --- PNG -------------------------------------------------------------------------------

void LoadPng(const uint8_t* data, size_t size, TDIBSurface& out) {
  png_image im;
  std::memset(&im, 0, sizeof im);
  im.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&im, data, size)) Damaged();
  const bool alpha = (im.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  if (im.width == 0 || im.height == 0 || im.width > uint32_t(kMaxImageSide) || im.height > uint32_t(kMaxImageSide) ||
      int64_t(im.width) * im.height * 4 > kMaxImageBytes) {
    png_image_free(&im);
    throw EKestBadData(gfxmsg::kBadSize);
  }
  im.format = PNG_FORMAT_BGRA;
  std::vector<uint8_t> buf(size_t(im.width) * im.height * 4);
  if (!png_image_finish_read(&im, nullptr, buf.data(), 0, nullptr)) {
    png_image_free(&im);
    Damaged();
  }
  const int32_t w = int32_t(im.width), h = int32_t(im.height);
  png_image_free(&im);
  out.FreeMask();
  out.SetSize(w, h, 24);
  if (alpha) out.EnsureMask();
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = buf.data() + size_t(y) * size_t(w) * 4;
    uint8_t* d = out.Row(y);
    uint8_t* m = alpha ? out.Mask()->Row(y) : nullptr;
    for (int32_t x = 0; x < w; ++x) {
      d[x * 3] = s[x * 4], d[x * 3 + 1] = s[x * 4 + 1], d[x * 3 + 2] = s[x * 4 + 2];
      if (m) m[x] = s[x * 4 + 3];
    }
  }
}

std::vector<uint8_t> SavePng(const TDIBSurface& img) {
  const int32_t w = img.Width(), h = img.Height();
  std::vector<uint8_t> buf(size_t(w) * size_t(h) * 4);
  std::vector<uint8_t> row(size_t(w) * 3);
  for (int32_t y = 0; y < h; ++y) {
    img.ReadRowBGR(y, row.data());
    const uint8_t* m = img.HasMask() ? img.Mask()->Row(y) : nullptr;
    uint8_t* d = buf.data() + size_t(y) * size_t(w) * 4;
    for (int32_t x = 0; x < w; ++x) {
      d[x * 4] = row[x * 3], d[x * 4 + 1] = row[x * 3 + 1], d[x * 4 + 2] = row[x * 3 + 2];
      d[x * 4 + 3] = m ? m[x] : 255;
    }
  }
  png_image im;
  std::memset(&im, 0, sizeof im);
  im.version = PNG_IMAGE_VERSION;
  im.width = uint32_t(w), im.height = uint32_t(h), im.format = PNG_FORMAT_BGRA;
  png_alloc_size_t n = 0;
  if (!png_image_write_to_memory(&im, nullptr, &n, 0, buf.data(), 0, nullptr)) throw EKest(gfxmsg::kCannotWrite);
  std::vector<uint8_t> o(n);
  if (!png_image_write_to_memory(&im, o.data(), &n, 0, buf.data(), 0, nullptr)) throw EKest(gfxmsg::kCannotWrite);
  o.resize(n);
  return o;
}

// --- JPEG ------------------------------------------------------------------------------

namespace {

struct JpegError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr c) { std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); }
// Warnings are silent, except that a stream ending early counts as damage.
void JpegEmit(j_common_ptr c, int level) {
  if (level < 0 && c->err->msg_code == JWRN_JPEG_EOF) std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1);
}
void JpegSilent(j_common_ptr) {}

}  // namespace

void DecodeJpeg(const uint8_t* data, size_t size, TDIBSurface& out, int64_t maxBytes) {
  jpeg_decompress_struct cinfo;
  JpegError err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = JpegErrorExit;
  err.pub.emit_message = JpegEmit;
  err.pub.output_message = JpegSilent;
  jpeg_create_decompress(&cinfo);
  volatile int status = 0;  // 0 fine, 1 damaged, 2 too large, 3 out of memory
  if (setjmp(err.jump) == 0) {
    jpeg_mem_src(&cinfo, data, (unsigned long)size);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    if (cinfo.image_width == 0 || cinfo.image_height == 0 || cinfo.image_width > JDIMENSION(kMaxImageSide) ||
        cinfo.image_height > JDIMENSION(kMaxImageSide) ||
        PaddedRowBytes(cinfo.image_width, 24) * cinfo.image_height > maxBytes) {
      status = 2;
    } else {
      jpeg_start_decompress(&cinfo);
      try {
        out.FreeMask();
        out.SetSize(int32_t(cinfo.output_width), int32_t(cinfo.output_height), 24);
      } catch (...) {
        status = 3;
      }
      if (status == 0) {
        while (cinfo.output_scanline < cinfo.output_height) {
          JSAMPROW row = out.Row(int32_t(cinfo.output_scanline));
          jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
      }
    }
  } else {
    status = 1;
  }
  jpeg_destroy_decompress(&cinfo);
  if (status == 2) throw EKestBadData(gfxmsg::kBadSize);
  if (status == 3) throw std::bad_alloc();
  if (status != 0) throw EKestBadData(gfxmsg::kDamagedData);
}

std::vector<uint8_t> EncodeJpeg(const TDIBSurface& img, int quality) {
  if (img.IsEmpty()) throw EKestBadData(gfxmsg::kBadSize);
  jpeg_compress_struct cinfo;
  JpegError err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = JpegErrorExit;
  err.pub.output_message = JpegSilent;
  jpeg_create_compress(&cinfo);
  unsigned char* mem = nullptr;
  unsigned long memSize = 0;
  std::vector<uint8_t> row(size_t(img.Width()) * 3);
  volatile bool ok = false;
  if (setjmp(err.jump) == 0) {
    jpeg_mem_dest(&cinfo, &mem, &memSize);
    cinfo.image_width = JDIMENSION(img.Width());
    cinfo.image_height = JDIMENSION(img.Height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, std::clamp(quality, 1, 100), TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const bool direct = img.BitCount() == 24;
    while (cinfo.next_scanline < cinfo.image_height) {
      const int32_t y = int32_t(cinfo.next_scanline);
      JSAMPROW p;
      if (direct) {
        p = const_cast<JSAMPROW>(img.Row(y));
      } else {
        img.ReadRowBGR(y, row.data());
        p = row.data();
      }
      jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    ok = true;
  }
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> out;
  if (ok && mem) out.assign(mem, mem + memSize);
  std::free(mem);
  if (!ok) throw EKest(gfxmsg::kCannotWrite);
  return out;
}

// --- files -----------------------------------------------------------------------------

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw EKest(gfxmsg::kCannotRead);
  std::vector<uint8_t> v((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (f.bad()) throw EKest(gfxmsg::kCannotRead);
  return v;
}

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) throw EKest(gfxmsg::kCannotWrite);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  f.close();
  if (!f) throw EKest(gfxmsg::kCannotWrite);
}

}  // namespace kest

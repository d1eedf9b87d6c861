#include "platform/png.h"

#include <png.h>

#include <cerrno>
#include <vector>

#include <cstdio>
#include <cstring>
#include <memory>

namespace kest {

namespace {

struct TFileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

// Sizes we accept: a frame larger than this is no frame of ours.
constexpr int kMaxSide = 1 << 15;

}  // namespace

bool WritePng(const std::string& path, const TFrameView& f, bool opaque, std::string* error) {
  if (!f.pixels || f.width <= 0 || f.height <= 0 || f.width > kMaxSide || f.height > kMaxSide || f.stride < f.width) {
    SetError(error, "no frame to write");
    return false;
  }
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = png_uint_32(f.width);
  img.height = png_uint_32(f.height);
  img.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> rgba(size_t(f.width) * size_t(f.height) * 4);
  uint8_t* o = rgba.data();
  for (int y = 0; y < f.height; ++y) {
    const uint32_t* row = f.pixels + size_t(y) * size_t(f.stride);
    for (int x = 0; x < f.width; ++x) {
      const uint32_t p = row[x];
      *o++ = uint8_t(p >> 16);
      *o++ = uint8_t(p >> 8);
      *o++ = uint8_t(p);
      *o++ = opaque ? 0xFF : uint8_t(p >> 24);
    }
  }
  std::unique_ptr<FILE, TFileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    SetError(error, "cannot create " + path + ": " + std::strerror(errno));
    return false;
  }
  const bool ok = png_image_write_to_stdio(&img, file.get(), 0, rgba.data(), 0, nullptr) != 0;
  if (!ok) SetError(error, std::string("cannot write ") + path + ": " + img.message);
  png_image_free(&img);
  if (std::fclose(file.release()) != 0 && ok) {
    SetError(error, "cannot write " + path + ": " + std::strerror(errno));
    return false;
  }
  return ok;
}

bool ReadPng(const std::string& path, TFrame& out, std::string* error) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) {
    SetError(error, std::string("cannot read ") + path + ": " + img.message);
    png_image_free(&img);
    return false;
  }
  if (img.width == 0 || img.height == 0 || img.width > kMaxSide || img.height > kMaxSide) {
    SetError(error, "unsupported picture size in " + path);
    png_image_free(&img);
    return false;
  }
  img.format = PNG_FORMAT_BGRA;  // memory order B, G, R, A = 0xAARRGGBB on little-endian
  std::vector<uint8_t> bgra(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, bgra.data(), 0, nullptr)) {
    SetError(error, std::string("cannot read ") + path + ": " + img.message);
    png_image_free(&img);
    return false;
  }
  out.width = int(img.width);
  out.height = int(img.height);
  out.pixels.resize(size_t(out.width) * size_t(out.height));
  for (size_t i = 0; i < out.pixels.size(); ++i) {
    const uint8_t* p = &bgra[i * 4];
    out.pixels[i] = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
  }
  png_image_free(&img);
  return true;
}

}  // namespace kest

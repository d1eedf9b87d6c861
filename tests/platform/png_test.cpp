#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/png.h"

using namespace kest;

namespace {

std::string TempPath(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string("kest_png_") + std::to_string(getpid()) + name)).string();
}

// The file's bytes as libpng gives them in RGBA order, without our reader in the way.
std::vector<uint8_t> RawRgba(const std::string& path, unsigned& w, unsigned& h) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return {};
  img.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> out(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, out.data(), 0, nullptr)) return {};
  w = img.width;
  h = img.height;
  return out;
}

}  // namespace

TEST(Png, WritesRgbaExactlyAndReadsItBack) {
  // 3 x 2 pixels, rows 4 pixels apart (the fourth is no part of the frame).
  const uint32_t px[] = {0xFF102030, 0x80FF0000, 0x0000FF00, 0xDEADBEEF,
                         0x000000FF, 0xFFFFFFFF, 0x7F010203, 0xDEADBEEF};
  const std::string path = TempPath("a.png");
  std::string error;
  ASSERT_TRUE(WritePng(path, {px, 3, 2, 4}, false, &error)) << error;
  unsigned w = 0, h = 0;
  const std::vector<uint8_t> raw = RawRgba(path, w, h);
  ASSERT_EQ(w, 3u);
  ASSERT_EQ(h, 2u);
  const std::vector<uint8_t> want = {0x10, 0x20, 0x30, 0xFF, 0xFF, 0x00, 0x00, 0x80, 0x00, 0xFF, 0x00, 0x00,
                                     0x00, 0x00, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x02, 0x03, 0x7F};
  EXPECT_EQ(raw, want);
  TFrame back;
  ASSERT_TRUE(ReadPng(path, back, &error)) << error;
  EXPECT_EQ(back.width, 3);
  EXPECT_EQ(back.pixels, (std::vector<uint32_t>{0xFF102030, 0x80FF0000, 0x0000FF00, 0x000000FF, 0xFFFFFFFF,
                                                 0x7F010203}));
  // A screen shot is opaque whatever the frame's alpha bytes say.
  ASSERT_TRUE(WritePng(path, {px, 3, 2, 4}, true, &error)) << error;
  ASSERT_TRUE(ReadPng(path, back, &error));
  EXPECT_EQ(back.pixels[2], 0xFF00FF00u);
  EXPECT_EQ(back.pixels[3], 0xFF0000FFu);
  std::filesystem::remove(path);
}

TEST(Png, FailuresAreReported) {
  std::string error;
  const uint32_t px[] = {0};
  EXPECT_FALSE(WritePng("/nonexistent-folder/x.png", {px, 1, 1, 1}, true, &error));
  EXPECT_NE(error.find("/nonexistent-folder/x.png"), std::string::npos);
  EXPECT_FALSE(WritePng(TempPath("b.png"), {px, 0, 1, 1}, true, &error));
  const std::string bad = TempPath("bad.png");
  if (FILE* f = std::fopen(bad.c_str(), "wb")) {
    std::fputs("\x89PNG\r\n\x1a\n not really", f);
    std::fclose(f);
  }
  TFrame out;
  EXPECT_FALSE(ReadPng(bad, out, &error));
  std::filesystem::remove(bad);
}

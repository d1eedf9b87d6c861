// kesttool zar, run as users run it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "gfx/piccodecs.h"
#include "gfx/zarns.h"
#include "tests/vfs/temp_dir.h"

namespace kest {
namespace {

int Tool(const std::string& args, const std::string& out = "/dev/null") {
  return std::system((std::string(KESTTOOL) + " zar " + args + " >" + out + " 2>&1").c_str());
}

TEST(ZarTool, FromPngInfoAndBackToPng) {
  test::TempDir dir;
  TDIBSurface a;
  a.SetSize(20, 10, 24);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 20; ++x) a.SetPixel(x, y, uint32_t(x * 12) << 16 | uint32_t(y * 25));
  a.EnsureMask();
  a.Mask()->SetPixel(3, 4, 200);
  WriteWholeFile(dir / "a.png", SavePng(a));
  TDIBSurface b;
  b.SetSize(20, 10, 24);
  b.Fill(0x00FF00);
  WriteWholeFile(dir / "b.png", SavePng(b));

  // Two frames, the first with a second layer at opacity 0 (invisible in the result),
  // tiles and shuffled rows.
  ASSERT_EQ(Tool("frompng " + (dir / "a.png") + " " + (dir / "x.zar") + " --layer " + (dir / "b.png") +
                 ":0 --frame " + (dir / "b.png") + " --tile 8x8 --code 31"),
            0);
  ASSERT_EQ(Tool("info " + (dir / "x.zar") + " --code 31", dir / "info.txt"), 0);
  const std::string info = test::ReadFileBytes(dir / "info.txt");
  EXPECT_NE(info.find("frames\t2\n"), std::string::npos) << info;
  EXPECT_NE(info.find("scrambled\tyes"), std::string::npos);
  EXPECT_NE(info.find("tiles\t8x8"), std::string::npos);
  EXPECT_NE(info.find("layer 1\t\"b.png\"\tvisible\topacity 0"), std::string::npos) << info;
  EXPECT_NE(info.find("mask block"), std::string::npos);

  ASSERT_EQ(Tool("topng " + (dir / "x.zar") + " " + (dir / "out.png") + " --all --code 31"), 0);
  const std::vector<uint8_t> png0 = ReadWholeFile(dir / "out-0.png");
  TDIBSurface f0;
  LoadPng(png0.data(), png0.size(), f0);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      ASSERT_EQ(f0.GetPixel(x, y), a.GetPixel(x, y));
      ASSERT_EQ(f0.Mask()->GetPixel(x, y), a.Mask()->GetPixel(x, y));
    }
  ASSERT_EQ(Tool("topng " + (dir / "x.zar") + " " + (dir / "one.png") + " --frame 1 --code 31"), 0);
  const std::vector<uint8_t> png1 = ReadWholeFile(dir / "one.png");
  LoadPng(png1.data(), png1.size(), f0);
  EXPECT_EQ(f0.GetPixel(5, 5), 0x00FF00u);

  // Mistakes are reported with a non-zero status.
  EXPECT_NE(Tool("topng " + (dir / "x.zar") + " " + (dir / "n.png") + " --frame 2"), 0);
  EXPECT_NE(Tool("frompng " + (dir / "a.png") + " " + (dir / "y.zar") + " --compression lzw"), 0);
  EXPECT_NE(Tool("topng " + (dir / "missing.zar") + " " + (dir / "n.png")), 0);
  EXPECT_NE(Tool("info " + (dir / "a.png")), 0);
}

}  // namespace
}  // namespace kest

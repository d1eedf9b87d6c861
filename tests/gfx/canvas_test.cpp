// Regions of the software canvas: which pixels each shape covers.
#include <gtest/gtest.h>

#include <numbers>
#include <string>

#include "gfx/canvas.h"

namespace kest {
namespace {

// The region as rows of '#' and '.' over a box.
std::string Picture(const TRegion& g, const TRect& box) {
  std::string s;
  for (int32_t y = box.Top; y < box.Bottom; ++y) {
    for (int32_t x = box.Left; x < box.Right; ++x) s += g.Contains(x, y) ? '#' : '.';
    s += '\n';
  }
  return s;
}

TEST(Canvas, EllipseInscribedInItsBox) {
  const TRegion e = TRegion::FromEllipse(TRect{0, 0, 8, 6});
  EXPECT_EQ(Picture(e, TRect{0, 0, 8, 6}),
            "..####..\n"
            ".######.\n"
            "########\n"
            "########\n"
            ".######.\n"
            "..####..\n");
  EXPECT_EQ(e.Bounds(), (TRect{0, 0, 8, 6}));
  EXPECT_TRUE(TRegion::FromEllipse(TRect{3, 3, 3, 9}).IsEmpty());
}

TEST(Canvas, PolygonRulesDifferOnAStar) {
  // A five-pointed star drawn in one stroke: its centre is inside with the winding rule only.
  const std::vector<TCanvasPoint> star = {{10, 0}, {16, 19}, {0, 7}, {20, 7}, {4, 19}};
  const TRegion w = TRegion::FromPolygon(star, TFillRule::Winding);
  const TRegion a = TRegion::FromPolygon(star, TFillRule::Alternate);
  EXPECT_TRUE(w.Contains(10, 10));
  EXPECT_FALSE(a.Contains(10, 10));
  EXPECT_TRUE(w.Contains(10, 3));
  EXPECT_TRUE(a.Contains(10, 3));
  EXPECT_FALSE(w.Contains(1, 18));
  // A map rectangle (10, 10, 19, 19) with inclusive edges covers 10 x 10 pixels.
  const TRegion sq = TRegion::FromPolygon({{10, 10}, {20, 10}, {20, 20}, {10, 20}}, TFillRule::Winding);
  EXPECT_EQ(sq.Bounds(), (TRect{10, 10, 20, 20}));
  EXPECT_TRUE(TRegion::FromPolygon({{0, 0}, {5, 5}}, TFillRule::Winding).IsEmpty());
}

TEST(Canvas, PieSweepsClockwiseFromItsStart) {
  const TRect box{0, 0, 10, 10};
  constexpr double pi = std::numbers::pi;
  // From twelve o'clock a quarter turn clockwise: the top-right quarter.
  const TRegion q = TRegion::FromPie(box, -pi / 2, 0);
  EXPECT_TRUE(q.Contains(7, 2));
  EXPECT_FALSE(q.Contains(2, 2));
  EXPECT_FALSE(q.Contains(7, 7));
  // Three quarters: everything but the top-left quarter.
  const TRegion t = TRegion::FromPie(box, -pi / 2, pi);
  EXPECT_TRUE(t.Contains(2, 7));
  EXPECT_FALSE(t.Contains(2, 2));
  EXPECT_EQ(Picture(TRegion::FromPie(box, 0, 2 * pi), box), Picture(TRegion::FromEllipse(box), box));
}

TEST(Canvas, CombinationsAndFill) {
  const TRegion a = TRegion::FromRect(TRect{0, 0, 4, 2});
  const TRegion b = TRegion::FromRect(TRect{2, 1, 6, 3});
  EXPECT_EQ(Picture(a.Combined(b, TRegionOp::Or), TRect{0, 0, 6, 3}), "####..\n######\n..####\n");
  EXPECT_EQ(Picture(a.Combined(b, TRegionOp::And), TRect{0, 0, 6, 3}), "......\n..##..\n......\n");
  EXPECT_EQ(Picture(a.Combined(b, TRegionOp::Diff), TRect{0, 0, 6, 3}), "####..\n##....\n......\n");
  EXPECT_EQ(Picture(a.Combined(b, TRegionOp::Xor), TRect{0, 0, 6, 3}), "####..\n##..##\n..####\n");
  TRegion c = a;
  c.Offset(1, 1);
  EXPECT_TRUE(c.Contains(4, 2));
  EXPECT_FALSE(c.Contains(0, 0));
  TDIBX mask(6, 3, 8);
  FillRegion(mask, a.Combined(b, TRegionOp::Xor), 255);
  EXPECT_EQ(mask.GetPixel(0, 1), 255u);
  EXPECT_EQ(mask.GetPixel(2, 1), 0u);
  EXPECT_EQ(mask.GetPixel(5, 2), 255u);
}

}  // namespace
}  // namespace kest

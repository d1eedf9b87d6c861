#include <gtest/gtest.h>

#include "platform/scaling.h"

using namespace kest;

TEST(Scaling, FrameFitsWithItsAspect) {
  struct TCase {
    int ww, wh, fw, fh;
    int x, y, w, h;
  };
  const TCase cases[] = {
      {640, 480, 640, 480, 0, 0, 640, 480},      // 1:1
      {1920, 1080, 640, 480, 240, 0, 1440, 1080},  // pillar box
      {800, 1000, 640, 480, 0, 200, 800, 600},     // letter box
      {1280, 960, 640, 480, 0, 0, 1280, 960},      // exactly twice
      {641, 480, 640, 480, 0, 0, 640, 480},        // one column too many: 1:1, left-aligned
      {100, 100, 0, 480, 0, 0, 0, 0},              // no frame
  };
  for (const TCase& c : cases) {
    const TViewport v = FitFrame(c.ww, c.wh, c.fw, c.fh);
    EXPECT_EQ(v.x, c.x) << c.ww << "x" << c.wh;
    EXPECT_EQ(v.y, c.y) << c.ww << "x" << c.wh;
    EXPECT_EQ(v.width, c.w) << c.ww << "x" << c.wh;
    EXPECT_EQ(v.height, c.h) << c.ww << "x" << c.wh;
  }
}

TEST(Scaling, PointerMapsBackToFramePixels) {
  const TViewport v = FitFrame(1920, 1080, 640, 480);  // 1440 x 1080 at x 240, scale 2.25
  int x, y;
  v.ToFrame(240, 0, 640, 480, x, y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  v.ToFrame(1679, 1079, 640, 480, x, y);
  EXPECT_EQ(x, 639);
  EXPECT_EQ(y, 479);
  v.ToFrame(960, 540, 640, 480, x, y);
  EXPECT_EQ(x, 320);
  EXPECT_EQ(y, 240);
  v.ToFrame(239, 0, 640, 480, x, y);  // on the border left of the frame
  EXPECT_EQ(x, -1);
  v.ToFrame(1680, 0, 640, 480, x, y);
  EXPECT_EQ(x, 640);
}

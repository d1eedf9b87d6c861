// The screen manager on the headless window: the mode list and its preferred mode, the
// switch between window and full screen with failures, the surface layout, and what each
// Present copies.
#include <gtest/gtest.h>

#include "gfx/screenman.h"
#include "platform/headless/headless_host.h"
#include "platform/scaling.h"

namespace kest {
namespace {

using M = TDisplayMode;

TEST(ScreenModes, FilterAndPreference) {
  const struct {
    const char* what;
    std::vector<M> listed;
    int32_t desktopBits;
    size_t kept;
    int32_t preferred;
  } cases[] = {
      {"small and 15-bit modes are dropped",
       {{640, 480, 32, 60}, {800, 600, 15, 60}, {800, 599, 32, 60}, {799, 600, 32, 60}, {800, 600, 16, 60}},
       32, 1, 0},
      {"60 Hz beats 75 Hz, 75 first", {{1024, 768, 32, 60}, {800, 600, 32, 75}, {800, 600, 32, 60}}, 32, 3, 2},
      {"60 Hz beats 75 Hz, 60 first", {{1024, 768, 32, 60}, {800, 600, 32, 60}, {800, 600, 32, 75}}, 32, 3, 1},
      {"the wanted size beats the first mode", {{1024, 768, 32, 60}, {800, 600, 16, 85}}, 32, 2, 1},
      {"desktop depth beats another depth of the wanted size", {{800, 600, 16, 60}, {800, 600, 32, 85}}, 32, 2, 1},
      {"another depth never replaces the desktop depth", {{800, 600, 32, 85}, {800, 600, 16, 60}}, 32, 2, 0},
      {"no wanted size: the first mode", {{1024, 768, 32, 75}, {1280, 1024, 32, 60}}, 32, 2, 0},
      {"nothing usable", {{320, 240, 32, 60}}, 32, 0, -1},
  };
  for (const auto& c : cases) {
    int32_t preferred = 7;
    const auto kept = UsableDisplayModes(c.listed, 800, 600, 800, 600, c.desktopBits, preferred);
    EXPECT_EQ(kept.size(), c.kept) << c.what;
    EXPECT_EQ(preferred, c.preferred) << c.what;
  }
}

TEST(ScreenModes, SurfaceLayoutForTheDisplay) {
  const struct {
    int32_t bits;
    int32_t windowed, full;
  } cases[] = {{15, 15, 15}, {16, 16, 16}, {24, 32, 32}, {32, 32, 32}, {8, 16, 15}};
  for (const auto& c : cases) {
    EXPECT_EQ(SurfaceBitsFor(c.bits, false), c.windowed) << c.bits;
    EXPECT_EQ(SurfaceBitsFor(c.bits, true), c.full) << c.bits;
  }
}

struct THarness {
  TVirtualClock clock;
  THeadlessWindow window{clock, nullptr, 640, 480, "t"};
};

TEST(ScreenManager, ModeSwitchesAndFailures) {
  THarness h;
  h.window.SetDisplayModes({{640, 480, 32, 60}, {800, 600, 32, 75}, {800, 600, 32, 60}, {1920, 1080, 32, 60}},
                           {1920, 1080, 32, 60});
  // A wanted size of 0 means the screen's own: 640 x 480.
  TScreenManager sm(h.window, 0, 0, 480, 640);
  EXPECT_EQ(sm.WantedWidth(), 640);
  EXPECT_EQ(sm.ModeIndex(), -1);
  EXPECT_FALSE(sm.IsFullScreen());
  EXPECT_EQ(sm.PreferredMode(), 0);
  EXPECT_EQ(sm.SurfaceBitCount(), 32);
  EXPECT_EQ(sm.ScreenSurface().Width(), 640);
  EXPECT_TRUE(sm.UsesDeviceContext());

  // Full screen in 800 x 600: the desktop keeps its mode, the frame sits centred in an
  // 800 x 600 stage scaled into 1920 x 1080.
  sm.ScreenSurface().Clear(0x336699);
  sm.ReleaseDevice();
  EXPECT_EQ(sm.ModeIndex(), -2);
  sm.SetModeIndex(2);
  EXPECT_EQ(sm.ModeIndex(), 2);
  EXPECT_TRUE(sm.IsFullScreen());
  EXPECT_TRUE(h.window.IsFullScreen());
  EXPECT_EQ(sm.ScreenSurface().GetPixel(5, 5), 0x336699u) << "the picture survives the switch";
  h.window.SetScaleMode(TScaleMode::Integer);
  EXPECT_EQ(h.window.FrameArea(), (TFrameRect{560 + 80, 240 + 60, 640, 480}));
  h.window.SetScaleMode(TScaleMode::Smooth);
  EXPECT_EQ(h.window.FrameArea(), (TFrameRect{240 + 144, 0 + 108, 1152, 864}));

  // Back to the window; the same index twice does nothing.
  sm.SetModeIndex(-1);
  EXPECT_FALSE(h.window.IsFullScreen());
  EXPECT_EQ(sm.ModeIndex(), -1);
  sm.SetModeIndex(-1);
  EXPECT_EQ(sm.ModeIndex(), -1);

  // A display that refuses full screen leaves the window as it was.
  h.window.FailFullScreen = true;
  EXPECT_FALSE(sm.SetFullScreen(true));
  EXPECT_EQ(sm.ModeIndex(), -1);
  EXPECT_FALSE(h.window.IsFullScreen());
  EXPECT_EQ(h.window.FrameArea(), (TFrameRect{0, 0, 640, 480}));
  h.window.FailFullScreen = false;
  EXPECT_TRUE(sm.SetFullScreen(true));
  EXPECT_EQ(sm.ModeIndex(), 0);
  EXPECT_EQ(h.window.FrameArea(), (TFrameRect{240, 0, 1440, 1080}));  // the wanted 640 x 480 fills the height
  // An index outside the list ends windowed.
  sm.SetModeIndex(9);
  EXPECT_EQ(sm.ModeIndex(), -1);
  EXPECT_FALSE(h.window.IsFullScreen());
}

TEST(ScreenManager, ForcedSixteenBitsAndNoModes) {
  THarness h;
  h.window.SetDisplayModes({}, {1920, 1080, 0, 60});  // depth unknown: counts as 24
  TScreenManager sm(h.window, 600, 800, 480, 640, 16);
  EXPECT_EQ(sm.SurfaceBitCount(), 16);
  EXPECT_EQ(sm.ScreenSurface().BitCount(), 16);
  EXPECT_EQ(sm.DisplayModeCount(), 0);
  EXPECT_EQ(sm.PreferredMode(), -1);
  EXPECT_FALSE(sm.SetFullScreen(true));  // nothing to go full screen in
  EXPECT_EQ(sm.DisplayMode(0), TDisplayMode{});

  // 16-bit pixels reach the window widened: full intensity stays full.
  sm.ScreenSurface().Clear(sm.ScreenSurface().MapColor(0x00FFFF));  // yellow
  sm.ScreenSurface().SetPixel(1, 0, 0x0841);                     // (1, 2, 1) in 5-6-5
  TPresentRequest r;
  sm.Present(r);
  EXPECT_EQ(h.window.LastFrame().pixels[0], 0xFFFFFF00u);
  EXPECT_EQ(h.window.LastFrame().pixels[1], 0xFF080808u);
}

TEST(ScreenManager, PresentCopiesWhatChanged) {
  THarness h;
  TScreenManager sm(h.window, 480, 640, 480, 640);
  TDIBX& s = sm.ScreenSurface();
  s.Clear(0x102030);
  TPresentRequest r;
  sm.Present(r);  // the first present is whole
  ASSERT_EQ(h.window.PresentLog().size(), 1u);
  EXPECT_EQ(h.window.PresentLog().back(), (std::vector<TFrameRect>{{0, 0, 640, 480}}));
  EXPECT_EQ(h.window.LastFrame().pixels[0], 0xFF102030u);

  // 100 %: only the changed rectangles (cut to the screen), and the window's copy gets
  // exactly those.
  s.Clear(0xABCDEF);
  r.Dirty = {Rect(10, 10, 20, 15), Rect(630, 470, 700, 500)};
  sm.Present(r);
  EXPECT_TRUE(r.Dirty.empty());
  EXPECT_EQ(h.window.PresentLog().back(), (std::vector<TFrameRect>{{10, 10, 10, 5}, {630, 470, 10, 10}}));
  const auto& px = h.window.LastFrame().pixels;
  EXPECT_EQ(px[10 * 640 + 10], 0xFFABCDEFu);
  EXPECT_EQ(px[14 * 640 + 19], 0xFFABCDEFu);
  EXPECT_EQ(px[15 * 640 + 19], 0xFF102030u);
  EXPECT_EQ(px[479 * 640 + 639], 0xFFABCDEFu);
  EXPECT_EQ(sm.PresentCount(), 2);

  // Nothing changed: nothing copied, nothing counted.
  sm.Present(r);
  EXPECT_EQ(sm.PresentCount(), 2);
  EXPECT_EQ(h.window.PresentLog().size(), 2u);

  // A transition's rectangle wins over the changed rectangles.
  r.Dirty = {Rect(0, 0, 5, 5)};
  r.FullRedraw = Rect(100, 100, 300, 200);
  sm.Present(r);
  EXPECT_EQ(h.window.PresentLog().back(), (std::vector<TFrameRect>{{100, 100, 200, 100}}));
  EXPECT_TRUE(r.FullRedraw.IsEmpty());

  // 200 % sizes the window and, after the whole frame once, copies changed rectangles
  // again; 150 % shows the whole frame every time; a zoom of 0 is held to 1 %.
  r.Zoom = 200;
  r.Dirty = {Rect(0, 0, 5, 5)};
  sm.Present(r);
  EXPECT_EQ(h.window.Width(), 1280);
  EXPECT_EQ(h.window.PresentLog().back(), (std::vector<TFrameRect>{{0, 0, 640, 480}}));
  r.Dirty = {Rect(0, 0, 5, 5)};
  sm.Present(r);
  EXPECT_EQ(h.window.PresentLog().back(), (std::vector<TFrameRect>{{0, 0, 5, 5}}));
  for (int i = 0; i < 2; ++i) {
    r.Zoom = 150;
    r.Dirty = {Rect(0, 0, 5, 5)};
    sm.Present(r);
    EXPECT_EQ(h.window.PresentLog().back(), (std::vector<TFrameRect>{{0, 0, 640, 480}}));
  }
  EXPECT_EQ(h.window.Width(), 960);
  r.Zoom = 0;
  sm.Present(r);
  EXPECT_EQ(sm.Zoom(), 1);
  EXPECT_EQ(h.window.Width(), 6);
}

TEST(ScreenScaling, PointerMapsBackToTitlePixels) {
  // Every window point inside the shown frame maps to the frame pixel drawn there, at
  // integer and smooth scaling, with and without a stage.
  const struct {
    int ww, wh, fw, fh, sw, sh;
    bool integer;
    TViewport want;
  } cases[] = {
      {1280, 960, 640, 480, 0, 0, true, {0, 0, 1280, 960}},
      {1300, 1000, 640, 480, 0, 0, true, {10, 20, 1280, 960}},
      {1300, 1000, 640, 480, 0, 0, false, {0, 12, 1300, 975}},
      {1000, 700, 640, 480, 0, 0, true, {180, 110, 640, 480}},
      {500, 400, 640, 480, 0, 0, true, {0, 12, 500, 375}},
      {1920, 1080, 640, 480, 800, 600, true, {640, 300, 640, 480}},
      {1920, 1080, 640, 480, 800, 600, false, {384, 108, 1152, 864}},
      {1920, 1080, 800, 600, 640, 480, false, {240, 0, 1440, 1080}},  // a stage too small is ignored
  };
  for (const auto& c : cases) {
    const TViewport v = PlaceFrame(c.ww, c.wh, c.fw, c.fh, c.sw, c.sh, c.integer);
    EXPECT_EQ(v.x, c.want.x);
    EXPECT_EQ(v.y, c.want.y);
    EXPECT_EQ(v.width, c.want.width);
    EXPECT_EQ(v.height, c.want.height);
    // The left and right edge pixels and one in the middle (when enlarged, so that
    // every frame pixel covers window pixels).
    if (v.width < c.fw) continue;
    for (const int px : {0, c.fw / 2, c.fw - 1}) {
      // Window pixels [ceil (px * W / fw), ceil ((px + 1) * W / fw)) show frame pixel px.
      const int wx0 = v.x + int((int64_t(px) * v.width + c.fw - 1) / c.fw);
      const int wx1 = v.x + int((int64_t(px + 1) * v.width + c.fw - 1) / c.fw) - 1;
      int fx = 0, fy = 0;
      v.ToFrame(wx0, v.y, c.fw, c.fh, fx, fy);
      EXPECT_EQ(fx, px);
      EXPECT_EQ(fy, 0);
      v.ToFrame(wx1, v.y + v.height - 1, c.fw, c.fh, fx, fy);
      EXPECT_EQ(fx, px);
      EXPECT_EQ(fy, c.fh - 1);
    }
  }
}

}  // namespace
}  // namespace kest

namespace kest {
namespace {

TEST(ScreenScaling, ScaleSetting) {
  for (const char* t : {"integer", "Integer", " SHARP ", "nearest"}) EXPECT_EQ(ParseScaleMode(t), TScaleMode::Integer) << t;
  for (const char* t : {"smooth", "", "fit", "2"}) EXPECT_EQ(ParseScaleMode(t), TScaleMode::Smooth) << t;
}

}  // namespace
}  // namespace kest

// The transition framework: the factory and its defaults, parameter clamping, timing on a
// virtual clock, the cross-fade's pixels, and the mask composition on every layout.
#include <gtest/gtest.h>

#include <functional>

#include "gfx/wipes.h"
#include "platform/clock.h"

namespace kest {
namespace {

struct TChannels {
  int shift[3];
  int bits[3];
};

TChannels ChannelsOf(int32_t bitCount) {
  switch (bitCount) {
    case 15: return {{10, 5, 0}, {5, 5, 5}};
    case 16: return {{11, 5, 0}, {5, 6, 5}};
    default: return {{16, 8, 0}, {8, 8, 8}};
  }
}

// A pixel of the layout mixing the two with weight a of `to`, the surface's rule:
// (a * to + (255 - a) * from) / 256 per channel at the channel's own width.
uint32_t Blend(int32_t bitCount, uint32_t from, uint32_t to, uint32_t a) {
  const TChannels c = ChannelsOf(bitCount);
  uint32_t out = 0;
  for (int i = 0; i < 3; ++i) {
    const uint32_t max = (1u << c.bits[i]) - 1;
    const uint32_t f = (from >> c.shift[i]) & max, t = (to >> c.shift[i]) & max;
    out |= ((a * t + (255 - a) * f) / 256) << c.shift[i];
  }
  return out;
}

// A picture whose every pixel differs from its neighbours in every channel.
void Gradient(TDIBX& s, uint32_t seed) {
  const TChannels c = ChannelsOf(s.BitCount());
  for (int32_t y = 0; y < s.Height(); ++y)
    for (int32_t x = 0; x < s.Width(); ++x) {
      uint32_t v = 0;
      for (int i = 0; i < 3; ++i) {
        const uint32_t max = (1u << c.bits[i]) - 1;
        v |= ((uint32_t(x) * (3 + i) + uint32_t(y) * (5 + 2 * i) + seed * (i + 1)) & max) << c.shift[i];
      }
      s.SetPixel(x, y, v);
    }
}

TEST(WipeFactory, KindsDefaultsAndClamping) {
  TDIBX target(8, 8, 32), from(8, 8, 32), to(8, 8, 32);
  TWipeDefaults defaults;
  for (int32_t kind : {0, -1, 39, 1000}) EXPECT_EQ(CreateTransition(kind, target, from, to, defaults), nullptr);
  auto fade = CreateTransition(1, target, from, to, defaults);
  ASSERT_NE(fade, nullptr);
  EXPECT_NE(dynamic_cast<TWipeFade*>(fade.get()), nullptr);
  EXPECT_EQ(fade->FromImage, &from);
  EXPECT_EQ(fade->ToImage, &to);
  EXPECT_EQ(fade->TargetSurface, &target);
  EXPECT_EQ(fade->GetParam(0), 0);
  EXPECT_EQ(fade->GetParam(1), 0);

  // The table of each project: kind 30 zooms into its scene's centre; another project's
  // table is untouched.
  EXPECT_EQ(defaults.Param(2, 0), 20);
  EXPECT_EQ(defaults.Param(8, 1), 30);
  EXPECT_EQ(defaults.Param(30, 0), 0);
  defaults.SetSceneSize(801, 600);
  EXPECT_EQ(defaults.Param(30, 0), 400);
  EXPECT_EQ(defaults.Param(30, 1), 300);
  EXPECT_EQ(TWipeDefaults().Param(30, 0), 0);
  // A kind given by the catalogue is made with the project's defaults applied.
  defaults.SetParam(1, 0, 7);
  fade = CreateTransition(1, target, from, to, defaults);
  EXPECT_EQ(fade->GetParam(0), 7);

  struct TProbe : TWipeMask {
    using TWipeMask::TWipeMask;
    bool BuildMask() override { return false; }
  } mask(target, to, from);
  struct TOrderProbe : TWipeOrderHMask {
    using TWipeOrderHMask::TWipeOrderHMask;
    bool BuildMask() override { return false; }
  } order(target, to, from);
  const struct {
    int32_t i, value, wantMask, wantOrder;
  } cases[] = {{0, 1, 2, 1}, {0, -5, 2, 1}, {0, 7, 7, 7}, {1, 0, 1, 1}, {1, -9, 1, 1}, {1, 3, 3, 3}};
  for (const auto& c : cases) {
    mask.SetParam(c.i, c.value);
    order.SetParam(c.i, c.value);
    EXPECT_EQ(mask.GetParam(c.i), c.wantMask) << c.i << " " << c.value;
    EXPECT_EQ(order.GetParam(c.i), c.wantOrder) << c.i << " " << c.value;
  }
  EXPECT_EQ(order.Order.size(), 8u);
  fade->SetParam(0, -5);  // direct kinds store what they are given
  EXPECT_EQ(fade->GetParam(0), -5);
}

// From black, To white at 32 bits: every channel shows the alpha the step used,
// a * 255 / 256.
TEST(WipeFade, TimingOnTheVirtualClock) {
  TDIBX target(5, 3, 32), from(5, 3, 32), to(5, 3, 32);
  from.Clear(0);
  to.Clear(0xFFFFFF);
  TWipeDefaults defaults;
  auto w = CreateTransition(1, target, from, to, defaults);
  w->TransitionDuration = 100;  // player milliseconds
  w->Setup();
  TVirtualClock clock;
  clock.Advance(1234);
  const uint32_t start = clock.NowMs();
  int steps = 0;
  for (;; ++steps) {
    const uint32_t elapsed = clock.NowMs() - start;
    w->TransitionPosition = int32_t(elapsed);
    target.Clear(0x123456);
    const bool done = w->Step();
    EXPECT_EQ(w->UpdateRect, target.BoundsRect());
    if (elapsed >= 100) {
      EXPECT_TRUE(done);
      EXPECT_EQ(target.GetPixel(2, 1), 0x123456u) << "a finished step draws nothing";
      break;
    }
    EXPECT_FALSE(done) << elapsed;
    const uint32_t a = elapsed * 256 / 100, c = a * 255 / 256;
    EXPECT_EQ(target.GetPixel(4, 2) & 0xFFFFFF, c << 16 | c << 8 | c) << elapsed;
    clock.WaitMs(15);
  }
  EXPECT_EQ(steps, 7);  // 0, 15, ..., 90 draw; 105 ends

  // Level arithmetic does not overflow near the top of the range; durations of 0 or less
  // are finished at once; positions before the start show From.
  const struct {
    int32_t position, duration;
    bool done;
    uint32_t channel;
  } cases[] = {{2147483646, 2147483647, false, 254}, {0, 0, true, 0}, {5, -3, true, 0},
               {-40, 100, false, 0},                 {99, 100, false, 252}};
  for (const auto& c : cases) {
    w->TransitionDuration = c.duration;
    w->TransitionPosition = c.position;
    target.Clear(0x010101);
    EXPECT_EQ(w->Step(), c.done) << c.position << "/" << c.duration;
    const uint32_t want = c.done ? 1 : c.channel;
    EXPECT_EQ(target.GetPixel(0, 0) & 0xFF, want) << c.position << "/" << c.duration;
  }
}

class WipeFadePixels : public ::testing::TestWithParam<int32_t> {};

TEST_P(WipeFadePixels, HalfTimeOnAnOddSize) {
  const int32_t bits = GetParam();
  TDIBX target(65, 33, bits), from(65, 33, bits), to(65, 33, bits);
  Gradient(from, 1);
  Gradient(to, 77);
  TWipeDefaults defaults;
  auto w = CreateTransition(1, target, from, to, defaults);
  w->TransitionDuration = 100;
  w->TransitionPosition = 50;  // alpha 50 * 256 / 100 = 128
  w->Setup();
  target.ClipRect = Rect(3, 3, 4, 4);  // a host's clip does not limit the transition
  EXPECT_FALSE(w->Step());
  int bad = 0;
  for (int32_t y = 0; y < 33; ++y)
    for (int32_t x = 0; x < 65; ++x) {
      const uint32_t f = from.GetPixel(x, y), t = to.GetPixel(x, y);
      const uint32_t want = f == t ? f : Blend(bits, f, t, 128);
      bad += target.GetPixel(x, y) != want;
    }
  EXPECT_EQ(bad, 0);

  // With offsets To slides in: at half time of 100 it stands at Round (49 / 100 * p0).
  w->SetParam(0, 10);   // 4.9 -> 5
  w->SetParam(1, -5);   // -2.45 -> -2
  w->Step();
  for (const auto& [x, y] : {std::pair{4, 0}, {5, 0}, {64, 30}, {64, 31}, {20, 17}}) {
    const uint32_t f = from.GetPixel(x, y);
    uint32_t want = f;
    if (x >= 5 && y < 31) {
      const uint32_t t = to.GetPixel(x - 5, y + 2);
      want = f == t ? f : Blend(bits, f, t, 128);
    }
    EXPECT_EQ(target.GetPixel(x, y), want) << x << "," << y;
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, WipeFadePixels, ::testing::Values(15, 16, 32));

// A mask kind whose mask is given by a function of (x, row) and a level per position.
struct TTestMask : TWipeMask {
  using TWipeMask::TWipeMask;
  std::function<uint8_t(int32_t, int32_t)> pattern;
  int32_t rows = 0;  // 0: the target's height
  int builds = 0;
  int32_t MaskHeight() const override { return rows > 0 ? rows : TargetSurface->Height(); }
  bool BuildMask() override {
    const int64_t level = Scale(10);
    if (level == LastLevel) return false;
    LastLevel = level;
    ++builds;
    for (int32_t y = 0; y < Mask.Height(); ++y)
      for (int32_t x = 0; x < Mask.Width(); ++x) Mask.SetPixel(x, y, pattern(x, y));
    return true;
  }
};

struct TMaskCase {
  int32_t bits;
  int32_t rows;
  bool hard;
};

class WipeMaskCompose : public ::testing::TestWithParam<TMaskCase> {};

TEST_P(WipeMaskCompose, EveryLayoutHeightAndEdge) {
  const TMaskCase c = GetParam();
  TDIBX target(65, 33, c.bits), from(65, 33, c.bits), to(65, 33, c.bits);
  Gradient(from, 3);
  Gradient(to, 140);
  // Mask values 0, 255 and blends, varying along the row and between rows.
  const auto pattern = [](int32_t x, int32_t y) -> uint8_t {
    static const uint8_t v[] = {0, 255, 128, 1, 254, 77};
    return v[size_t(x + 2 * y) % 6];
  };
  const auto run = [&](TSimdLevel level) {
    SetSimdLevel(level);
    TTestMask w(target, to, from);
    w.pattern = pattern;
    w.rows = c.rows;
    w.HardEdge = c.hard;
    w.TransitionDuration = 10;
    w.TransitionPosition = 5;
    w.Setup();
    target.Clear(0);
    EXPECT_FALSE(w.Step());
    return target.ToImage();
  };
  const TDIBSurface fast = run(BestSimdLevel());
  const TDIBSurface scalar = run(TSimdLevel::Scalar);
  SetSimdLevel(BestSimdLevel());
  const int32_t mh = c.rows > 0 ? c.rows : 33;
  int bad = 0;
  for (int32_t y = 0; y < 33; ++y)
    for (int32_t x = 0; x < 65; ++x) {
      uint32_t m = pattern(x, y % mh);
      if (c.hard && m) m = 255;
      const uint32_t f = from.GetPixel(x, y), t = to.GetPixel(x, y);
      const uint32_t want = m == 0 ? f : m == 255 ? t : Blend(c.bits, f, t, m);
      bad += scalar.GetPixel(x, y) != want;
      bad += fast.GetPixel(x, y) != want;
    }
  EXPECT_EQ(bad, 0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, WipeMaskCompose,
                         ::testing::Values(TMaskCase{15, 1, false}, TMaskCase{16, 0, false}, TMaskCase{16, 3, true},
                                           TMaskCase{24, 2, false}, TMaskCase{32, 0, false},
                                           TMaskCase{32, 1, true}, TMaskCase{32, 7, false}));

TEST(WipeMask, UnchangedLevelEndAndSetupAgain) {
  TDIBX target(9, 4, 32), from(9, 4, 32), to(9, 4, 32);
  from.Clear(0x000000);
  to.Clear(0xFFFFFF);
  TTestMask w(target, to, from);
  w.pattern = [](int32_t x, int32_t) -> uint8_t { return x < 4 ? 255 : 0; };
  w.TransitionDuration = 100;
  w.Setup();
  w.TransitionPosition = 40;
  EXPECT_FALSE(w.Step());
  EXPECT_EQ(target.GetPixel(0, 3) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(target.GetPixel(8, 3) & 0xFFFFFF, 0u);
  // The same level again: the mask is unchanged and the target is left alone.
  target.Clear(0x445566);
  w.TransitionPosition = 49;
  EXPECT_FALSE(w.Step());
  EXPECT_EQ(target.GetPixel(0, 0), 0x445566u);
  EXPECT_EQ(w.builds, 1);
  // A host that sets the parameters again and calls Setup (as motion files do every tick)
  // gets the picture composed again, not a blank mask.
  w.Setup();
  EXPECT_FALSE(w.Step());
  EXPECT_EQ(w.builds, 2);
  EXPECT_EQ(target.GetPixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(target.GetPixel(8, 0) & 0xFFFFFF, 0u);
  // At the end nothing is drawn.
  target.Clear(0x445566);
  w.TransitionPosition = 100;
  EXPECT_TRUE(w.Step());
  EXPECT_EQ(target.GetPixel(0, 0), 0x445566u);
  EXPECT_EQ(w.UpdateRect, target.BoundsRect());
}

TEST(WipeMask, PicturesOfAnotherLayoutOrSize) {
  // A 32-bit target from 16-bit pictures, To smaller than the target: the pictures are
  // taken at the target's layout, and only the part all of them cover is drawn.
  TDIBX target(6, 4, 32), from(6, 4, 16), to(4, 3, 16);
  from.Clear(from.MapColor(0x0000FF));  // red
  to.Clear(to.MapColor(0xFF0000));      // blue
  TTestMask w(target, to, from);
  w.pattern = [](int32_t, int32_t) -> uint8_t { return 255; };
  w.TransitionDuration = 10;
  w.TransitionPosition = 1;
  w.Setup();
  target.Clear(0x00FF00);
  w.Step();
  EXPECT_EQ(target.GetPixel(0, 0) & 0xFFFFFF, 0x0000F8u);  // blue at 5 bits, widened
  EXPECT_EQ(target.GetPixel(3, 2) & 0xFFFFFF, 0x0000F8u);
  EXPECT_EQ(target.GetPixel(4, 0) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(target.GetPixel(0, 3) & 0xFFFFFF, 0x00FF00u);
}

}  // namespace
}  // namespace kest

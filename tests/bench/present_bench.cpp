// Presentation of a composed frame and one transition step, against plain copies.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "gfx/screenman.h"
#include "gfx/wipes.h"
#include "platform/headless/headless_host.h"

namespace {

using namespace kest;

void CopyFrames(benchmark::State& st, int w, int h, int frames) {
  const size_t n = size_t(w) * size_t(h) * 4 * size_t(frames);
  std::vector<uint8_t> a(n, 7), b(n);
  for (auto _ : st) {
    std::memcpy(b.data(), a.data(), n);
    benchmark::DoNotOptimize(b.data());
  }
}

void PresentWhole(benchmark::State& st, int w, int h, int bits) {
  TVirtualClock clock;
  THeadlessWindow window(clock, nullptr, w, h, "bench");
  TScreenManager sm(window, h, w, h, w, bits == 32 ? 0 : bits);
  sm.ScreenSurface().Clear(0x1234);
  TPresentRequest r;
  for (auto _ : st) {
    r.Dirty.assign(1, sm.ScreenSurface().BoundsRect());
    sm.Present(r);
    benchmark::DoNotOptimize(window.LastFrame().pixels.data());
  }
}

BENCHMARK_CAPTURE(CopyFrames, one, 800, 600, 1)->Name("Present800x600/baseline_memcpy_frame");
BENCHMARK_CAPTURE(PresentWhole, b32, 800, 600, 32)->Name("Present800x600/present_32bit");
BENCHMARK_CAPTURE(PresentWhole, b16, 800, 600, 16)->Name("Present800x600/present_16bit");
BENCHMARK_CAPTURE(CopyFrames, one, 1280, 720, 1)->Name("Present1280x720/baseline_memcpy_frame");
BENCHMARK_CAPTURE(PresentWhole, b32, 1280, 720, 32)->Name("Present1280x720/present_32bit");
BENCHMARK_CAPTURE(PresentWhole, b16, 1280, 720, 16)->Name("Present1280x720/present_16bit");

void Gradient(TDIBX& s, uint32_t seed) {
  for (int32_t y = 0; y < s.Height(); ++y)
    for (int32_t x = 0; x < s.Width(); ++x) s.SetPixel(x, y, uint32_t(x * 3 + y * 5) * (seed + 1));
}

// A mask kind whose level changes every step: a soft band across the screen.
struct TBandMask : TWipeMask {
  using TWipeMask::TWipeMask;
  bool BuildMask() override {
    const int64_t level = Scale(Mask.Width() + 256);
    if (level == LastLevel) return false;
    LastLevel = level;
    TPixelView v;
    Mask.View(v);
    for (int32_t y = 0; y < v.Height; ++y) {
      uint8_t* m = v.Row(y);
      for (int32_t x = 0; x < v.Width; ++x) m[x] = uint8_t(std::clamp<int64_t>(level - x, 0, 255));
    }
    return true;
  }
};

void WipeStep(benchmark::State& st, int bits, bool mask) {
  const int w = 1280, h = 720;
  TDIBX target(w, h, bits), from(w, h, bits), to(w, h, bits);
  Gradient(from, 1);
  Gradient(to, 5);
  TWipeDefaults defaults;
  std::unique_ptr<TCustomWipe> wipe;
  if (mask) wipe = std::make_unique<TBandMask>(target, to, from);
  else wipe = CreateTransition(1, target, from, to, defaults);
  wipe->TransitionDuration = 1 << 30;
  wipe->Setup();
  int32_t p = 0;
  for (auto _ : st) {
    p = (p + (1 << 20)) & ((1 << 30) - 1);
    wipe->TransitionPosition = p;
    benchmark::DoNotOptimize(wipe->Step());
  }
}

BENCHMARK_CAPTURE(CopyFrames, three, 1280, 720, 3)->Name("Wipe1280x720/baseline_memcpy_3frames");
BENCHMARK_CAPTURE(WipeStep, fade32, 32, false)->Name("Wipe1280x720/fade_32bit");
BENCHMARK_CAPTURE(WipeStep, fade16, 16, false)->Name("Wipe1280x720/fade_16bit");
BENCHMARK_CAPTURE(WipeStep, mask32, 32, true)->Name("Wipe1280x720/mask_32bit");
BENCHMARK_CAPTURE(WipeStep, mask16, 16, true)->Name("Wipe1280x720/mask_16bit");

}  // namespace

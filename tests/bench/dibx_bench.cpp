// The drawing surface at screen sizes, 32 bits: Mpixel/s (items per second) of the hot
// blits, against memcpy of the same bytes and against pixman's OVER and ADD.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "gfx/dibx.h"
#ifdef KEST_HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

using kest::TDIBX;
using kest::TRect;

// A picture with smooth colours, a sprite mask (opaque disc, ramped edge, clear corners) and
// a keyed copy of the picture with the same shape.
struct TScene {
  int32_t w, h;
  TDIBX dst, src, mask, keyed, small;
  TScene(int32_t W, int32_t H)
      : w(W), h(H), dst(W, H, 32), src(W, H, 32), mask(W, H, 8), keyed(W, H, 32), small(W * 2 / 3, H * 2 / 3, 32) {
    std::mt19937 rng(5);
    const double cx = W / 2.0, cy = H / 2.0, r = std::min(W, H) * 0.45;
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) {
        const uint32_t p = (uint32_t(x * 255 / W) << 16) | (uint32_t(y * 255 / H) << 8) | (rng() & 0xFF);
        src.SetPixel(x, y, p);
        dst.SetPixel(x, y, (rng() & 0x00FFFFFF));
        const double d = std::hypot(x - cx, y - cy);
        const double m = std::clamp((r - d) / 8.0, 0.0, 1.0);
        mask.SetPixel(x, y, uint32_t(m * 255));
        keyed.SetPixel(x, y, m > 0.5 ? p : 0x00FF00FF);
      }
    keyed.TransparentColor = 0x00FF00FF;
    small.StretchDraw(small.BoundsRect(), src.BoundsRect(), src, 255, false);
  }
};

TScene& Scene(int32_t w, int32_t) {
  static TScene a(800, 600), b(1280, 720);
  return w == 800 ? a : b;
}

template <class Fn>
void Run(benchmark::State& st, int32_t w, int32_t h, Fn fn, kest::TSimdLevel level = kest::BestSimdLevel()) {
  TScene& s = Scene(w, h);
  kest::SetSimdLevel(level);
  for (auto _ : st) {
    fn(s);
    benchmark::DoNotOptimize(s.dst.Image().Bits());
    benchmark::ClobberMemory();
  }
  kest::SetSimdLevel(kest::BestSimdLevel());
  st.SetItemsProcessed(int64_t(st.iterations()) * w * h);
  st.SetBytesProcessed(int64_t(st.iterations()) * w * h * 4);
}

void Memcpy(TScene& s) { std::memcpy(s.dst.Image().Bits(), s.src.Image().Bits(), s.dst.Image().ByteSize()); }
void Copy(TScene& s) { s.dst.Draw(0, 0, s.src.BoundsRect(), s.src, false); }
void Keyed(TScene& s) { s.dst.Draw(0, 0, s.keyed.BoundsRect(), s.keyed, true); }
void Alpha(TScene& s) { s.dst.DrawAlpha(0, 0, s.src.BoundsRect(), s.src, 128, false); }
void Mask(TScene& s) { s.dst.DrawMask(0, 0, s.src.BoundsRect(), s.src, s.mask); }
void MaskAlpha(TScene& s) { s.dst.DrawMaskAlpha(0, 0, s.src.BoundsRect(), s.src, s.mask, 160); }
void Add(TScene& s) { s.dst.DrawAdd(0, 0, s.src.BoundsRect(), s.src, 96); }
void FillAlpha(TScene& s) { s.dst.FillRectAlpha(s.dst.BoundsRect(), 0x00336699, 100); }
void Stretch(TScene& s) { s.dst.StretchDraw(s.dst.BoundsRect(), s.small.BoundsRect(), s.small, 255, false); }
void StretchAlpha(TScene& s) { s.dst.StretchDraw(s.dst.BoundsRect(), s.small.BoundsRect(), s.small, 128, false); }
void Rotate(TScene& s) {
  // 21/256 of a turn is 29.5 degrees; zoom 80 % keeps the turned picture about screen size.
  s.dst.DrawRotate(s.w / 2, s.h / 2, s.src.BoundsRect(), s.src, 21, s.w / 2, s.h / 2, 205, 205, 255, false);
}

#define KEST_BLIT(W, H, NAME, FN, ...)                                                   \
  BENCHMARK_CAPTURE(Run, NAME, W, H, FN __VA_OPT__(, ) __VA_ARGS__)                      \
      ->Name("Blit" #W "x" #H "/" #NAME)                                                 \
      ->Unit(benchmark::kMicrosecond);

#define KEST_SIZE(W, H)                                                                  \
  KEST_BLIT(W, H, baseline_memcpy, Memcpy)                                               \
  KEST_BLIT(W, H, copy, Copy)                                                            \
  KEST_BLIT(W, H, keyed_copy, Keyed)                                                     \
  KEST_BLIT(W, H, alpha, Alpha)                                                          \
  KEST_BLIT(W, H, alpha_scalar, Alpha, kest::TSimdLevel::Scalar)                         \
  KEST_BLIT(W, H, mask, Mask)                                                            \
  KEST_BLIT(W, H, mask_scalar, Mask, kest::TSimdLevel::Scalar)                           \
  KEST_BLIT(W, H, mask_alpha, MaskAlpha)                                                 \
  KEST_BLIT(W, H, add, Add)                                                              \
  KEST_BLIT(W, H, fill_alpha, FillAlpha)                                                 \
  KEST_BLIT(W, H, stretch_1_5x, Stretch)                                                 \
  KEST_BLIT(W, H, stretch_1_5x_alpha, StretchAlpha)                                      \
  KEST_BLIT(W, H, rotate_30deg, Rotate)

KEST_SIZE(800, 600)
KEST_SIZE(1280, 720)

#ifdef KEST_HAVE_PIXMAN
// pixman on the same pictures: OVER of the picture premultiplied by the sprite mask, OVER through a solid alpha
// (our constant alpha), OVER through an a8 mask (our mask blit), and ADD.
struct TPixman {
  std::vector<uint32_t> premul;  // the picture with the mask as its alpha, premultiplied
  pixman_image_t *dst, *src, *srcx, *mask, *solid;
  explicit TPixman(TScene& s) : premul(size_t(s.w) * size_t(s.h)) {
    for (int32_t y = 0; y < s.h; ++y)
      for (int32_t x = 0; x < s.w; ++x) {
        const uint32_t p = s.src.GetPixel(x, y), a = s.mask.GetPixel(x, y);
        const uint32_t r = ((p >> 16) & 255) * a / 255, g = ((p >> 8) & 255) * a / 255, b = (p & 255) * a / 255;
        premul[size_t(y) * size_t(s.w) + size_t(x)] = (a << 24) | (r << 16) | (g << 8) | b;
      }
    dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, s.w, s.h, reinterpret_cast<uint32_t*>(s.dst.Image().Bits()),
                                   s.dst.Image().Pitch());
    src = pixman_image_create_bits(PIXMAN_a8r8g8b8, s.w, s.h, premul.data(), s.w * 4);
    srcx = pixman_image_create_bits(PIXMAN_x8r8g8b8, s.w, s.h, reinterpret_cast<uint32_t*>(s.src.Image().Bits()),
                                    s.src.Image().Pitch());
    mask = pixman_image_create_bits(PIXMAN_a8, s.w, s.h, reinterpret_cast<uint32_t*>(s.mask.Image().Bits()),
                                    s.mask.Image().Pitch());
    pixman_color_t c{0, 0, 0, 0x8080};
    solid = pixman_image_create_solid_fill(&c);
  }
  ~TPixman() {
    for (auto* i : {dst, src, srcx, mask, solid}) pixman_image_unref(i);
  }
};

TPixman& Pix(TScene& s) {
  static TPixman a(Scene(800, 600)), b(Scene(1280, 720));
  return s.w == 800 ? a : b;
}
void PixOver(TScene& s) {
  auto& p = Pix(s);
  pixman_image_composite32(PIXMAN_OP_OVER, p.src, nullptr, p.dst, 0, 0, 0, 0, 0, 0, s.w, s.h);
}
void PixOverSolid(TScene& s) {
  auto& p = Pix(s);
  pixman_image_composite32(PIXMAN_OP_OVER, p.srcx, p.solid, p.dst, 0, 0, 0, 0, 0, 0, s.w, s.h);
}
void PixOverMask(TScene& s) {
  auto& p = Pix(s);
  pixman_image_composite32(PIXMAN_OP_OVER, p.srcx, p.mask, p.dst, 0, 0, 0, 0, 0, 0, s.w, s.h);
}
void PixAdd(TScene& s) {
  auto& p = Pix(s);
  pixman_image_composite32(PIXMAN_OP_ADD, p.src, nullptr, p.dst, 0, 0, 0, 0, 0, 0, s.w, s.h);
}

#define KEST_VS(W, H, NAME, FN)                                                          \
  BENCHMARK_CAPTURE(Run, NAME, W, H, FN)->Name("VsPixman" #W "x" #H "/" #NAME)->Unit(benchmark::kMicrosecond);
#define KEST_PIXMAN(W, H)                                                                \
  KEST_BLIT(W, H, pixman_over, PixOver)                                                  \
  KEST_BLIT(W, H, pixman_add, PixAdd)                                                    \
  KEST_VS(W, H, baseline_pixman_over, PixOver)                                           \
  KEST_VS(W, H, pixman_over_solid_alpha, PixOverSolid)                                   \
  KEST_VS(W, H, pixman_over_a8_mask, PixOverMask)                                        \
  KEST_VS(W, H, pixman_add, PixAdd)                                                      \
  KEST_VS(W, H, alpha, Alpha)                                                            \
  KEST_VS(W, H, mask, Mask)                                                              \
  KEST_VS(W, H, mask_alpha, MaskAlpha)                                                   \
  KEST_VS(W, H, add, Add)
KEST_PIXMAN(800, 600)
KEST_PIXMAN(1280, 720)
#endif

}  // namespace

// The reference row loops of every layout, and the choice of the speed level.
#include <algorithm>
#include <cstring>

#include "gfx/dibx.h"
#include "gfx/dibx_kernels.h"

namespace kest::dibx {
namespace {

template <int B>
inline uint32_t Load(const uint8_t* p) {
  if constexpr (B == 1) return p[0];
  if constexpr (B == 2) return uint32_t(p[0]) | (uint32_t(p[1]) << 8);
  if constexpr (B == 3) return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
  if constexpr (B == 4) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
}
template <int B>
inline void Store(uint8_t* p, uint32_t v) {
  if constexpr (B == 1) p[0] = uint8_t(v);
  if constexpr (B == 2) p[0] = uint8_t(v), p[1] = uint8_t(v >> 8);
  if constexpr (B == 3) p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16);
  if constexpr (B == 4) std::memcpy(p, &v, 4);
}

struct L8 {
  static constexpr int Bpp = 1, N = 1, Id = kL8;
  static constexpr int Sh[3] = {0, 0, 0};
  static constexpr uint32_t Mx[3] = {255, 0, 0};
};
struct L15 {
  static constexpr int Bpp = 2, N = 3, Id = kL15;
  static constexpr int Sh[3] = {10, 5, 0};
  static constexpr uint32_t Mx[3] = {31, 31, 31};
};
struct L16 {
  static constexpr int Bpp = 2, N = 3, Id = kL16;
  static constexpr int Sh[3] = {11, 5, 0};
  static constexpr uint32_t Mx[3] = {31, 63, 31};
};
struct L24 {
  static constexpr int Bpp = 3, N = 3, Id = kL24;
  static constexpr int Sh[3] = {16, 8, 0};
  static constexpr uint32_t Mx[3] = {255, 255, 255};
};
struct L32 {
  static constexpr int Bpp = 4, N = 3, Id = kL32;
  static constexpr int Sh[3] = {16, 8, 0};
  static constexpr uint32_t Mx[3] = {255, 255, 255};
};

template <class L>
struct K {
  static constexpr uint32_t Colour = kColourBits[L::Id];
  static constexpr uint32_t Keep = (L::Bpp == 4 ? 0xFFFFFFFFu : (1u << (8 * L::Bpp)) - 1) & ~Colour;

  // (a*s + (255-a)*d) / 256 per channel.
  static inline uint32_t Blend(uint32_t s, uint32_t d, uint32_t a) {
    uint32_t r = d & Keep;
    for (int i = 0; i < L::N; ++i) {
      const uint32_t sc = (s >> L::Sh[i]) & L::Mx[i], dc = (d >> L::Sh[i]) & L::Mx[i];
      r |= ((a * sc + (255 - a) * dc) >> 8) << L::Sh[i];
    }
    return r;
  }
  // min(max, d + w*s/256) per channel.
  static inline uint32_t AddW(uint32_t s, uint32_t d, uint32_t w) {
    uint32_t r = d & Keep;
    for (int i = 0; i < L::N; ++i) {
      const uint32_t sc = (s >> L::Sh[i]) & L::Mx[i], dc = (d >> L::Sh[i]) & L::Mx[i];
      r |= std::min(L::Mx[i], dc + ((w * sc) >> 8)) << L::Sh[i];
    }
    return r;
  }
  static inline uint32_t AddSat(uint32_t s, uint32_t d) {
    uint32_t r = d & Keep;
    for (int i = 0; i < L::N; ++i) {
      const uint32_t sc = (s >> L::Sh[i]) & L::Mx[i], dc = (d >> L::Sh[i]) & L::Mx[i];
      r |= std::min(L::Mx[i], dc + sc) << L::Sh[i];
    }
    return r;
  }
  static inline uint32_t SubSat(uint32_t s, uint32_t d) {
    uint32_t r = d & Keep;
    for (int i = 0; i < L::N; ++i) {
      const uint32_t sc = (s >> L::Sh[i]) & L::Mx[i], dc = (d >> L::Sh[i]) & L::Mx[i];
      r |= (dc > sc ? dc - sc : 0) << L::Sh[i];
    }
    return r;
  }

  static void CopyKey(uint8_t* d, const uint8_t* s, int32_t n, uint32_t key) {
    key &= Colour;
    for (int32_t i = 0; i < n; ++i, d += L::Bpp, s += L::Bpp)
      if ((Load<L::Bpp>(s) & Colour) != key) std::memcpy(d, s, L::Bpp);
  }
  static void Alpha(uint8_t* d, const uint8_t* s, int32_t n, uint32_t a, bool keyed, uint32_t key) {
    key &= Colour;
    for (int32_t i = 0; i < n; ++i, d += L::Bpp, s += L::Bpp) {
      const uint32_t sv = Load<L::Bpp>(s), dv = Load<L::Bpp>(d);
      if (keyed && (sv & Colour) == key) continue;
      if (((sv ^ dv) & Colour) == 0) continue;
      Store<L::Bpp>(d, Blend(sv, dv, a));
    }
  }
  static void Add(uint8_t* d, const uint8_t* s, int32_t n, uint32_t w, bool keyed, uint32_t key) {
    key &= Colour;
    for (int32_t i = 0; i < n; ++i, d += L::Bpp, s += L::Bpp) {
      const uint32_t sv = Load<L::Bpp>(s);
      if (keyed && (sv & Colour) == key) continue;
      const uint32_t dv = Load<L::Bpp>(d);
      Store<L::Bpp>(d, L::Id == kL8 ? AddSat(sv, dv) : AddW(sv, dv, w));
    }
  }
  static void Mask(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n) {
    for (int32_t i = 0; i < n; ++i, d += L::Bpp, s += L::Bpp) {
      const uint32_t mv = m[i];
      if (mv == 0) continue;
      if (mv == 255) {
        std::memcpy(d, s, L::Bpp);
        continue;
      }
      Store<L::Bpp>(d, Blend(Load<L::Bpp>(s), Load<L::Bpp>(d), mv));
    }
  }
  static void MaskAlpha(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n, uint32_t a) {
    for (int32_t i = 0; i < n; ++i, d += L::Bpp, s += L::Bpp) {
      const uint32_t c = (a * m[i]) >> 8;
      if (c == 0) continue;
      Store<L::Bpp>(d, Blend(Load<L::Bpp>(s), Load<L::Bpp>(d), c));
    }
  }
  static void MaskAdd(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n, uint32_t w) {
    for (int32_t i = 0; i < n; ++i, d += L::Bpp, s += L::Bpp) {
      const uint32_t c = (w * m[i]) >> 8;
      if (c == 0) continue;
      Store<L::Bpp>(d, AddW(Load<L::Bpp>(s), Load<L::Bpp>(d), c));
    }
  }
  static void Fill(uint8_t* d, int32_t n, uint32_t v) {
    if constexpr (L::Bpp == 1) {
      std::memset(d, int(v & 0xFF), size_t(n));
    } else {
      for (int32_t i = 0; i < n; ++i, d += L::Bpp) Store<L::Bpp>(d, v);
    }
  }
  static void FillAlpha(uint8_t* d, int32_t n, uint32_t v, uint32_t a) {
    for (int32_t i = 0; i < n; ++i, d += L::Bpp) {
      const uint32_t dv = Load<L::Bpp>(d);
      if (((v ^ dv) & Colour) == 0) continue;
      Store<L::Bpp>(d, Blend(v, dv, a));
    }
  }
  static void FillAdd(uint8_t* d, int32_t n, uint32_t v) {
    for (int32_t i = 0; i < n; ++i, d += L::Bpp) Store<L::Bpp>(d, AddSat(v, Load<L::Bpp>(d)));
  }
  static void FillSub(uint8_t* d, int32_t n, uint32_t v) {
    for (int32_t i = 0; i < n; ++i, d += L::Bpp) Store<L::Bpp>(d, SubSat(v, Load<L::Bpp>(d)));
  }
  static void FillMask(uint8_t* d, const uint8_t* m, int32_t n, uint32_t v, uint32_t a) {
    for (int32_t i = 0; i < n; ++i, d += L::Bpp) {
      const uint32_t c = a >= 255 ? m[i] : (a * m[i]) >> 8;
      if (c == 0) continue;
      const uint32_t dv = Load<L::Bpp>(d);
      if (((v ^ dv) & Colour) == 0) continue;
      Store<L::Bpp>(d, c == 255 ? (dv & Keep) | (v & Colour) : Blend(v, dv, c));
    }
  }

  static constexpr TKernels Table() {
    return TKernels{CopyKey, Alpha, Add, Mask, MaskAlpha, MaskAdd, Fill, FillAlpha, FillAdd, FillSub, FillMask};
  }
};

const TKernels kScalar[kLayoutCount] = {K<L8>::Table(), K<L15>::Table(), K<L16>::Table(), K<L24>::Table(),
                                        K<L32>::Table()};

struct TLevels {
  TKernels tables[3][kLayoutCount];
  TSimdLevel best = TSimdLevel::Scalar;
  TSimdLevel current = TSimdLevel::Scalar;
  TLevels() {
    for (auto& t : tables) std::copy(std::begin(kScalar), std::end(kScalar), t);
#if defined(__x86_64__)
    InstallSse2(tables[1]);
    best = TSimdLevel::SSE2;
    std::copy(std::begin(tables[1]), std::end(tables[1]), tables[2]);
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
      InstallAvx2(tables[2]);
      best = TSimdLevel::AVX2;
    }
#endif
    current = best;
  }
};

TLevels& Levels() {
  static TLevels levels;
  return levels;
}

}  // namespace

const TKernels& ScalarKernels(int layout) { return kScalar[layout]; }
const TKernels& Kernels(int layout) {
  TLevels& l = Levels();
  return l.tables[int(l.current)][layout];
}

}  // namespace kest::dibx

namespace kest {

TSimdLevel BestSimdLevel() { return dibx::Levels().best; }
TSimdLevel CurrentSimdLevel() { return dibx::Levels().current; }
TSimdLevel SetSimdLevel(TSimdLevel level) {
  auto& l = dibx::Levels();
  l.current = std::min(level, l.best);
  return l.current;
}

}  // namespace kest

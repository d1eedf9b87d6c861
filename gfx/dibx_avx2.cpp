// The AVX2 row loops (8 pixels of 32 bits, 16 of 16 bits a step). This file alone is
// compiled for AVX2 and is entered only after the processor has been asked; it uses
// nothing but intrinsics and its own local templates.
#if defined(__x86_64__)
#include <immintrin.h>

#include "gfx/dibx_kernels.h"

namespace kest::dibx {
namespace {

struct V {
  using T = __m256i;
  static constexpr int Bytes = 32;
  static constexpr int AllBits = -1;
  static inline T Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const T*>(p)); }
  static inline void Store(uint8_t* p, T v) { _mm256_storeu_si256(reinterpret_cast<T*>(p), v); }
  static inline T Zero() { return _mm256_setzero_si256(); }
  static inline T Set32(int32_t v) { return _mm256_set1_epi32(v); }
  static inline T Set16(int16_t v) { return _mm256_set1_epi16(v); }
  static inline T And(T a, T b) { return _mm256_and_si256(a, b); }
  static inline T Or(T a, T b) { return _mm256_or_si256(a, b); }
  static inline T Xor(T a, T b) { return _mm256_xor_si256(a, b); }
  static inline T Select(T mask, T a, T b) { return _mm256_blendv_epi8(b, a, mask); }
  static inline T Add16(T a, T b) { return _mm256_add_epi16(a, b); }
  static inline T Sub16(T a, T b) { return _mm256_sub_epi16(a, b); }
  static inline T Mullo16(T a, T b) { return _mm256_mullo_epi16(a, b); }
  static inline T Srli16(T a) { return _mm256_srli_epi16(a, 8); }
  template <int N>
  static inline T Srli16n(T a) { return _mm256_srli_epi16(a, N); }
  template <int N>
  static inline T Slli16n(T a) { return _mm256_slli_epi16(a, N); }
  template <int N>
  static inline T Srli32(T a) { return _mm256_srli_epi32(a, N); }
  template <int N>
  static inline T Slli32(T a) { return _mm256_slli_epi32(a, N); }
  static inline T Min16(T a, T b) { return _mm256_min_epi16(a, b); }
  static inline T SubsU16(T a, T b) { return _mm256_subs_epu16(a, b); }
  static inline T AddsU8(T a, T b) { return _mm256_adds_epu8(a, b); }
  static inline T SubsU8(T a, T b) { return _mm256_subs_epu8(a, b); }
  static inline T Unpacklo8(T a, T b) { return _mm256_unpacklo_epi8(a, b); }
  static inline T Unpackhi8(T a, T b) { return _mm256_unpackhi_epi8(a, b); }
  static inline T Packus16(T a, T b) { return _mm256_packus_epi16(a, b); }
  static inline T Cmpeq32(T a, T b) { return _mm256_cmpeq_epi32(a, b); }
  static inline T Cmpeq16(T a, T b) { return _mm256_cmpeq_epi16(a, b); }
  static inline int MoveMask8(T a) { return _mm256_movemask_epi8(a); }
  static inline T LoadMask32(const uint8_t* m) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m)));
  }
  static inline T LoadMask16(const uint8_t* m) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m)));
  }
};

#include "gfx/dibx_simd.inc"

}  // namespace

void InstallAvx2(TKernels* tables) { InstallAll<V>(tables); }

}  // namespace kest::dibx
#endif

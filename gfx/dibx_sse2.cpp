// The SSE2 row loops (the x86-64 baseline: 4 pixels of 32 bits, 8 of 16 bits a step).
#if defined(__x86_64__)
#include <emmintrin.h>

#include "gfx/dibx_kernels.h"

namespace kest::dibx {
namespace {

struct V {
  using T = __m128i;
  static constexpr int Bytes = 16;
  static constexpr int AllBits = 0xFFFF;
  static inline T Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const T*>(p)); }
  static inline void Store(uint8_t* p, T v) { _mm_storeu_si128(reinterpret_cast<T*>(p), v); }
  static inline T Zero() { return _mm_setzero_si128(); }
  static inline T Set32(int32_t v) { return _mm_set1_epi32(v); }
  static inline T Set16(int16_t v) { return _mm_set1_epi16(v); }
  static inline T And(T a, T b) { return _mm_and_si128(a, b); }
  static inline T Or(T a, T b) { return _mm_or_si128(a, b); }
  static inline T Xor(T a, T b) { return _mm_xor_si128(a, b); }
  // mask ? a : b
  static inline T Select(T mask, T a, T b) { return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b)); }
  static inline T Add16(T a, T b) { return _mm_add_epi16(a, b); }
  static inline T Sub16(T a, T b) { return _mm_sub_epi16(a, b); }
  static inline T Mullo16(T a, T b) { return _mm_mullo_epi16(a, b); }
  static inline T Srli16(T a) { return _mm_srli_epi16(a, 8); }
  template <int N>
  static inline T Srli16n(T a) { return _mm_srli_epi16(a, N); }
  template <int N>
  static inline T Slli16n(T a) { return _mm_slli_epi16(a, N); }
  template <int N>
  static inline T Srli32(T a) { return _mm_srli_epi32(a, N); }
  template <int N>
  static inline T Slli32(T a) { return _mm_slli_epi32(a, N); }
  static inline T Min16(T a, T b) { return _mm_min_epi16(a, b); }
  static inline T SubsU16(T a, T b) { return _mm_subs_epu16(a, b); }
  static inline T AddsU8(T a, T b) { return _mm_adds_epu8(a, b); }
  static inline T SubsU8(T a, T b) { return _mm_subs_epu8(a, b); }
  static inline T Unpacklo8(T a, T b) { return _mm_unpacklo_epi8(a, b); }
  static inline T Unpackhi8(T a, T b) { return _mm_unpackhi_epi8(a, b); }
  static inline T Packus16(T a, T b) { return _mm_packus_epi16(a, b); }
  static inline T Cmpeq32(T a, T b) { return _mm_cmpeq_epi32(a, b); }
  static inline T Cmpeq16(T a, T b) { return _mm_cmpeq_epi16(a, b); }
  static inline int MoveMask8(T a) { return _mm_movemask_epi8(a); }
  // Four mask bytes, one in each 32-bit lane.
  static inline T LoadMask32(const uint8_t* m) {
    int32_t v;
    __builtin_memcpy(&v, m, 4);
    const T z = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(v), z), z);
  }
  // Eight mask bytes, one in each 16-bit lane.
  static inline T LoadMask16(const uint8_t* m) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const T*>(m)), _mm_setzero_si128());
  }
};

#include "gfx/dibx_simd.inc"

}  // namespace

void InstallSse2(TKernels* tables) { InstallAll<V>(tables); }

}  // namespace kest::dibx
#endif

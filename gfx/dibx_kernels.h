// Row loops of the drawing surface, one table per pixel layout. The scalar table is the
// reference: every faster table must give the same bytes for every input.
//
// Per channel (s source, d destination, both at the channel's own width; divisions truncate):
//   alpha a        (a*s + (255-a)*d) / 256; a pixel whose colour equals the source stays
//   mask m         m = 255: s; m = 0: d; else (m*s + (255-m)*d) / 256
//   mask x alpha   c = a*m/256; c = 0 leaves d; else (c*s + (255-c)*d) / 256
//   add w          min(max, d + w*s/256); 8-bit layout: min(255, d + s), the weight unused
//   mask add       c = w*m/256, then min(max, d + c*s/256)
//   fill alpha     as alpha, with a constant colour
//   fill add/sub   min(max, d + s) / max(0, d - s)
//   fill mask      c = m (a = 255) or a*m/256; c = 0 leaves d; c = 255 gives the colour;
//                  a pixel equal to the colour stays; else (c*s + (255-c)*d) / 256
// Keys and equality compare the colour bits; blends keep the bits outside the channels
// (the fourth byte at 32 bits, the top bit at 15), copies and fills write them.
#pragma once
#include <cstdint>

namespace kest::dibx {

struct TKernels {
  void (*CopyKey)(uint8_t* d, const uint8_t* s, int32_t n, uint32_t key);
  void (*Alpha)(uint8_t* d, const uint8_t* s, int32_t n, uint32_t a, bool keyed, uint32_t key);
  void (*Add)(uint8_t* d, const uint8_t* s, int32_t n, uint32_t w, bool keyed, uint32_t key);
  void (*Mask)(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n);
  void (*MaskAlpha)(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n, uint32_t a);
  void (*MaskAdd)(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n, uint32_t w);
  void (*Fill)(uint8_t* d, int32_t n, uint32_t v);
  void (*FillAlpha)(uint8_t* d, int32_t n, uint32_t v, uint32_t a);
  void (*FillAdd)(uint8_t* d, int32_t n, uint32_t v);
  void (*FillSub)(uint8_t* d, int32_t n, uint32_t v);
  void (*FillMask)(uint8_t* d, const uint8_t* m, int32_t n, uint32_t v, uint32_t a);
};

enum TLayout { kL8 = 0, kL15, kL16, kL24, kL32, kLayoutCount };
// The table index of a bit count, or -1.
inline int LayoutOf(int32_t bitCount) {
  switch (bitCount) {
    case 8: return kL8;
    case 15: return kL15;
    case 16: return kL16;
    case 24: return kL24;
    case 32: return kL32;
    default: return -1;
  }
}
// Colour bits of each layout (keys and equality look only at these).
inline constexpr uint32_t kColourBits[kLayoutCount] = {0xFF, 0x7FFF, 0xFFFF, 0xFFFFFF, 0xFFFFFF};

const TKernels& ScalarKernels(int layout);
// The table of the speed level in use.
const TKernels& Kernels(int layout);

// Filled in by the fast row files (x86-64 only); they override the entries they speed up.
void InstallSse2(TKernels* tables);
void InstallAvx2(TKernels* tables);

}  // namespace kest::dibx

// Palette choice and mapping for images converted to 8 bits or fewer.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kest {

// Chooses at most maxColours palette entries (0x00RRGGBB) for count pixels of three bytes
// blue, green, red, by median cut over a 5-5-5 histogram; each entry is the mean of the
// colours of its box.
std::vector<uint32_t> ChoosePalette(const uint8_t* bgr, size_t count, int maxColours);

// Maps a w x h picture of blue, green, red bytes to indices of the first n palette entries,
// nearest by squared distance, with Floyd-Steinberg error diffusion when dither is set.
// out receives w * h indices, row by row.
void MapToPalette(const uint8_t* bgr, int32_t w, int32_t h, const std::array<uint32_t, 256>& palette, int n,
                  bool dither, std::vector<uint8_t>& out);

}  // namespace kest

#include "platform/window.h"

#include <algorithm>

namespace kest {

void TFrame::Assign(const TFrameView& f) {
  if (!f.pixels || f.width <= 0 || f.height <= 0 || f.stride < f.width) {
    width = height = 0;
    pixels.clear();
    return;
  }
  width = f.width;
  height = f.height;
  pixels.resize(size_t(width) * size_t(height));
  for (int y = 0; y < height; ++y)
    std::copy_n(f.pixels + size_t(y) * size_t(f.stride), size_t(width), pixels.data() + size_t(y) * size_t(width));
}

}  // namespace kest

#include "platform/scaling.h"

#include <cstdint>

namespace kest {

static int FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return int(q);
}

TViewport FitFrame(int ww, int wh, int fw, int fh) {
  TViewport v;
  if (ww <= 0 || wh <= 0 || fw <= 0 || fh <= 0) return v;
  // Compare ww/fw with wh/fh without rounding: the narrower ratio decides.
  if (int64_t(ww) * fh <= int64_t(wh) * fw) {
    v.width = ww;
    v.height = int(int64_t(fh) * ww / fw);
  } else {
    v.height = wh;
    v.width = int(int64_t(fw) * wh / fh);
  }
  if (v.width < 1) v.width = 1;
  if (v.height < 1) v.height = 1;
  v.x = (ww - v.width) / 2;
  v.y = (wh - v.height) / 2;
  return v;
}

void TViewport::ToFrame(int wx, int wy, int fw, int fh, int& fx, int& fy) const {
  if (width <= 0 || height <= 0) {
    fx = wx;
    fy = wy;
    return;
  }
  fx = FloorDiv(int64_t(wx - x) * fw, width);
  fy = FloorDiv(int64_t(wy - y) * fh, height);
}

}  // namespace kest

#include "platform/scaling.h"

#include <algorithm>
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

TViewport FitFrameInteger(int ww, int wh, int fw, int fh) {
  if (ww <= 0 || wh <= 0 || fw <= 0 || fh <= 0) return TViewport{};
  const int k = std::min(ww / fw, wh / fh);
  if (k < 1) return FitFrame(ww, wh, fw, fh);
  TViewport v;
  v.width = fw * k;
  v.height = fh * k;
  v.x = (ww - v.width) / 2;
  v.y = (wh - v.height) / 2;
  return v;
}

TViewport PlaceFrame(int ww, int wh, int fw, int fh, int sw, int sh, bool integer) {
  if (fw <= 0 || fh <= 0) return TViewport{};
  // A stage smaller than the frame would crop it: the frame itself is the stage then.
  if (sw < fw || sh < fh) sw = fw, sh = fh;
  const TViewport stage = integer ? FitFrameInteger(ww, wh, sw, sh) : FitFrame(ww, wh, sw, sh);
  if (stage.width <= 0 || stage.height <= 0) return stage;
  TViewport v;
  v.width = int(int64_t(fw) * stage.width / sw);
  v.height = int(int64_t(fh) * stage.height / sh);
  if (v.width < 1) v.width = 1;
  if (v.height < 1) v.height = 1;
  // The frame's left edge in stage pixels, scaled like the stage.
  v.x = stage.x + int(int64_t((sw - fw) / 2) * stage.width / sw);
  v.y = stage.y + int(int64_t((sh - fh) / 2) * stage.height / sh);
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

#include "platform/window.h"

#include <algorithm>
#include <cstdint>
#include <string>

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

TFrameRect CutToFrame(const TFrameRect& r, int w, int h) {
  const int64_t l = std::max<int64_t>(r.x, 0), t = std::max<int64_t>(r.y, 0);
  const int64_t rr = std::min<int64_t>(int64_t(r.x) + std::max(r.width, 0), w);
  const int64_t b = std::min<int64_t>(int64_t(r.y) + std::max(r.height, 0), h);
  if (rr <= l || b <= t) return {};
  return {int(l), int(t), int(rr - l), int(b - t)};
}

std::vector<TFrameRect> TFrame::AssignRects(const TFrameView& f, const std::vector<TFrameRect>& rects) {
  if (!f.pixels || f.width <= 0 || f.height <= 0 || f.stride < f.width || f.width != width || f.height != height) {
    Assign(f);
    if (Empty()) return {};
    return {TFrameRect{0, 0, width, height}};
  }
  std::vector<TFrameRect> done;
  for (const TFrameRect& r0 : rects) {
    const TFrameRect r = CutToFrame(r0, width, height);
    if (r.width <= 0) continue;
    for (int y = r.y; y < r.y + r.height; ++y)
      std::copy_n(f.pixels + size_t(y) * size_t(f.stride) + size_t(r.x), size_t(r.width),
                  pixels.data() + size_t(y) * size_t(width) + size_t(r.x));
    done.push_back(r);
  }
  return done;
}

TScaleMode ParseScaleMode(std::string_view text) {
  std::string t;
  for (char c : text)
    if (c != ' ' && c != '\t') t += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (t == "integer" || t == "sharp" || t == "nearest") return TScaleMode::Integer;
  return TScaleMode::Smooth;
}

void TWindow::PresentRects(const TFrameView& frame, const std::vector<TFrameRect>&) { Present(frame); }

void TWindow::SetStageSize(int width, int height) {
  if (width <= 0 || height <= 0) width = height = 0;
  stageW_ = width;
  stageH_ = height;
}

}  // namespace kest

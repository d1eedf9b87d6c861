#include "gfx/screenman.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kest {

std::vector<TDisplayMode> UsableDisplayModes(const std::vector<TDisplayMode>& listed, int32_t screenW, int32_t screenH,
                                             int32_t wantedW, int32_t wantedH, int32_t desktopBits,
                                             int32_t& preferred) {
  std::vector<TDisplayMode> out;
  preferred = -1;
  for (const TDisplayMode& m : listed) {
    if (m.width < screenW || m.height < screenH || m.bitCount <= 15) continue;
    out.push_back(m);
    const int32_t i = int32_t(out.size()) - 1;
    if (preferred < 0) {
      preferred = i;
      continue;
    }
    const TDisplayMode& p = out[size_t(preferred)];
    const bool wanted = m.width == wantedW && m.height == wantedH;
    const bool prefWanted = p.width == wantedW && p.height == wantedH;
    if (!wanted) continue;
    if (!prefWanted ||
        (m.bitCount == desktopBits && (p.bitCount != desktopBits || m.refreshRate < p.refreshRate)))
      preferred = i;
  }
  return out;
}

int32_t SurfaceBitsFor(int32_t bits, bool fullScreen) {
  if (fullScreen) return bits < 16 || bits == 15 ? 15 : bits == 16 ? 16 : 32;
  return bits == 15 ? 15 : bits > 16 ? 32 : 16;
}

TScreenManager::TScreenManager(TWindow& window, int32_t wantedHeight, int32_t wantedWidth, int32_t screenHeight,
                               int32_t screenWidth, int32_t forceBitCount)
    : window_(window),
      screenW_(std::max(screenWidth, 1)),
      screenH_(std::max(screenHeight, 1)),
      wantedW_(wantedWidth > 0 && wantedHeight > 0 ? wantedWidth : screenW_),
      wantedH_(wantedWidth > 0 && wantedHeight > 0 ? wantedHeight : screenH_),
      forceBits_(forceBitCount == 15 || forceBitCount == 16 ? forceBitCount : 0) {
  desktop_ = window_.DesktopMode();
  // A desktop whose depth cannot be read counts as 24 bits.
  if (desktop_.bitCount <= 0) desktop_.bitCount = 24;
  modes_ = UsableDisplayModes(window_.DisplayModes(), screenW_, screenH_, wantedW_, wantedH_, desktop_.bitCount,
                              preferred_);
  modeIndex_ = -2;
  SetModeIndex(-1);
}

TDisplayMode TScreenManager::DisplayMode(int32_t index) const {
  if (index < 0 || index >= DisplayModeCount()) return {};
  return modes_[size_t(index)];
}

void TScreenManager::MakeSurface(int32_t bits) {
  if (forceBits_) bits = forceBits_;
  if (surface_ && surface_->BitCount() == bits && surface_->Width() == screenW_ && surface_->Height() == screenH_) {
    surfaceBits_ = bits;
    return;
  }
  auto next = std::make_unique<TDIBX>(screenW_, screenH_, bits);
  // The picture carries over to the new layout.
  if (surface_) next->Assign(*surface_);
  surface_ = std::move(next);
  surfaceBits_ = bits;
}

void TScreenManager::ApplyWindowed() {
  window_.SetFullScreen(false);
  window_.SetStageSize(0, 0);
  fullScreen_ = false;
  modeIndex_ = -1;
  MakeSurface(SurfaceBitsFor(desktop_.bitCount, false));
}

void TScreenManager::SetModeIndex(int32_t index) {
  if (index == modeIndex_) return;
  wholeNext_ = true;
  if (index < 0 || index >= DisplayModeCount()) return ApplyWindowed();
  const TDisplayMode& m = modes_[size_t(index)];
  window_.SetStageSize(m.width, m.height);
  window_.SetFullScreen(true);
  if (!window_.IsFullScreen()) return ApplyWindowed();  // refused: back to the window
  fullScreen_ = true;
  modeIndex_ = index;
  MakeSurface(SurfaceBitsFor(m.bitCount, true));
}

void TScreenManager::ReleaseDevice() {
  modeIndex_ = -2;
  wholeNext_ = true;
}

bool TScreenManager::SetFullScreen(bool full) {
  if (full == fullScreen_ && modeIndex_ != -2) return fullScreen_;
  ReleaseDevice();
  SetModeIndex(full && preferred_ >= 0 ? preferred_ : -1);
  // The player's own switch shows the size the title asks for full screen: the preferred
  // mode is only the nearest the display lists (a modern display seldom lists 640 x 480),
  // and a stage of that mode would show the title small in the middle of the desktop.
  if (fullScreen_) window_.SetStageSize(wantedW_, wantedH_);
  if (!fullScreen_) window_.SetClientSize(int(int64_t(screenW_) * zoom_ / 100), int(int64_t(screenH_) * zoom_ / 100));
  return fullScreen_;
}

void TScreenManager::SetZoom(int32_t zoom) {
  zoom = std::clamp(zoom, 1, 1000);
  if (zoom == zoom_) return;
  zoom_ = zoom;
  wholeNext_ = true;
  if (!fullScreen_) window_.SetClientSize(std::max(int(int64_t(screenW_) * zoom / 100), 1),
                                          std::max(int(int64_t(screenH_) * zoom / 100), 1));
}

namespace {

// 16-bit pixels to 0xFFRRGGBB, channels widened by repeating their top bits (full
// intensity stays full).
const std::array<uint32_t, 65536>& Table16(bool is555) {
  static const auto make = [](bool five) {
    std::array<uint32_t, 65536> t{};
    for (uint32_t v = 0; v < 65536; ++v) {
      const uint32_t r = five ? (v >> 10) & 31 : (v >> 11) & 31;
      const uint32_t g = five ? ((v >> 5) & 31) << 1 | ((v >> 9) & 1) : (v >> 5) & 63;
      const uint32_t b = v & 31;
      const uint32_t r8 = r << 3 | r >> 2, g8 = g << 2 | g >> 4, b8 = b << 3 | b >> 2;
      t[v] = 0xFF000000u | r8 << 16 | g8 << 8 | b8;
    }
    return t;
  };
  static const std::array<uint32_t, 65536> t555 = make(true), t565 = make(false);
  return is555 ? t555 : t565;
}

}  // namespace

void TScreenManager::Convert(const TFrameRect& r) {
  TPixelView v;
  if (!surface_->View(v)) return;
  const int32_t bits = v.BitCount;
  for (int y = r.y; y < r.y + r.height; ++y) {
    uint32_t* d = staging_.pixels.data() + size_t(y) * size_t(staging_.width) + size_t(r.x);
    const uint8_t* s = v.At(r.x, y);
    if (bits == 32) {
      const uint32_t* s32 = reinterpret_cast<const uint32_t*>(s);
      for (int x = 0; x < r.width; ++x) d[x] = s32[x] | 0xFF000000u;
    } else if (bits == 15 || bits == 16) {
      const auto& t = Table16(bits == 15);
      const uint16_t* s16 = reinterpret_cast<const uint16_t*>(s);
      for (int x = 0; x < r.width; ++x) d[x] = t[s16[x]];
    } else {
      for (int x = 0; x < r.width; ++x) {
        const TColorRef c = surface_->Image().PixelToColor(surface_->GetPixel(r.x + x, y));
        d[x] = 0xFF000000u | uint32_t(c & 0xFF) << 16 | (uint32_t(c) & 0xFF00) | (uint32_t(c) >> 16 & 0xFF);
      }
    }
  }
}

void TScreenManager::Present(TPresentRequest& req) {
  lastRects_.clear();
  const int32_t zoom = std::clamp(req.Zoom, 1, 1000);
  SetZoom(zoom);
  const TRect whole = surface_->BoundsRect();
  std::vector<TRect> rects;
  if (zoom % 100 != 0 || wholeNext_) {
    rects.push_back(whole);
  } else if (!IntersectRect(req.FullRedraw, whole).IsEmpty()) {
    rects.push_back(IntersectRect(req.FullRedraw, whole));
  } else {
    for (const TRect& r : req.Dirty) {
      const TRect c = IntersectRect(r, whole);
      if (!c.IsEmpty()) rects.push_back(c);
    }
  }
  req.Dirty.clear();
  req.FullRedraw = TRect{};
  if (rects.empty()) return;
  if (staging_.width != screenW_ || staging_.height != screenH_) {
    staging_.width = screenW_;
    staging_.height = screenH_;
    staging_.pixels.assign(size_t(screenW_) * size_t(screenH_), 0xFF000000u);
    rects.assign(1, whole);
  }
  for (const TRect& r : rects) {
    const TFrameRect fr{r.Left, r.Top, r.Width(), r.Height()};
    Convert(fr);
    lastRects_.push_back(fr);
  }
  window_.PresentRects(staging_.View(), lastRects_);
  wholeNext_ = false;
  ++presents_;
}

}  // namespace kest

#include "shell/idle_frames.h"

#include <algorithm>

#include "platform/vkeys.h"

namespace kest {

TIdleFrames::TIdleFrames(TClock& clock, TWindow& window, TPlayerClock& state)
    : TFrameLoop(clock, window, state), frame_(size_t(kWidth) * kHeight, kBackground) {}

int TIdleFrames::BarX(uint32_t clockTime) {
  const uint32_t span = kWidth + kBarWidth;
  return int((clockTime / 15 * 2) % span) - kBarWidth;
}

void TIdleFrames::HandleEvent(const TInputEvent& e) {
  switch (e.kind) {
    case TEventKind::MouseMove:
    case TEventKind::MouseDown:
    case TEventKind::MouseUp:
      pointerX_ = e.x;
      pointerY_ = e.y;
      if (e.kind != TEventKind::MouseMove && e.button == TMouseButton::Left) held_ = e.kind == TEventKind::MouseDown;
      break;
    case TEventKind::KeyDown:
      if (e.vk == VK_MENU) alt_ = true;
      if (e.vk == VK_RETURN && alt_ && !e.repeat) window_.SetFullScreen(!window_.IsFullScreen());
      break;
    case TEventKind::KeyUp:
      if (e.vk == VK_MENU) alt_ = false;
      break;
    case TEventKind::Deactivate:
      alt_ = held_ = false;
      break;
    default:
      TFrameLoop::HandleEvent(e);
  }
}

static void FillRect(std::vector<uint32_t>& f, int x0, int y0, int w, int h, uint32_t c) {
  const int x1 = std::min(x0 + w, TIdleFrames::kWidth), y1 = std::min(y0 + h, TIdleFrames::kHeight);
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) f[size_t(y) * TIdleFrames::kWidth + size_t(x)] = c;
}

void TIdleFrames::FrameStep() {
  ++state_.FrameCount;
  std::fill(frame_.begin(), frame_.end(), kBackground);
  FillRect(frame_, BarX(state_.ClockTime), kBarTop, kBarWidth, kBarHeight, kBar);
  FillRect(frame_, pointerX_ - kPointerSize / 2, pointerY_ - kPointerSize / 2, kPointerSize, kPointerSize,
           held_ ? kPointerHeld : kPointer);
  window_.Present({frame_.data(), kWidth, kHeight, kWidth});
}

}  // namespace kest

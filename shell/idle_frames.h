// The frame the player shows while no title runs: a dark background with a bar that moves
// with the clock, and a marker at the pointer. Alt+Return switches full screen.
#pragma once
#include <vector>

#include "shell/frame_loop.h"

namespace kest {

class TIdleFrames : public TFrameLoop {
 public:
  static constexpr int kWidth = 640, kHeight = 480;
  static constexpr uint32_t kBackground = 0xFF101828;
  static constexpr uint32_t kBar = 0xFF4080E0;
  static constexpr uint32_t kPointer = 0xFFE0E0E0, kPointerHeld = 0xFFFFC040;
  static constexpr int kBarWidth = 48, kBarTop = 200, kBarHeight = 80;
  static constexpr int kPointerSize = 7;

  TIdleFrames(TClock& clock, TWindow& window, TPlayerClock& state);
  // Left edge of the bar at a play time: 2 pixels per 15 ms, wrapping over the width.
  static int BarX(uint32_t clockTime);

 protected:
  void HandleEvent(const TInputEvent& event) override;
  void FrameStep() override;

 private:
  std::vector<uint32_t> frame_;
  int pointerX_ = -100, pointerY_ = -100;
  bool held_ = false, alt_ = false;
};

}  // namespace kest

// The shared clock and flags of the frame loop, as one small state object.
#pragma once
#include <cstdint>

namespace kest {

struct TPlayerClock {
  // A tick of this length or longer is dropped: the clock does not advance.
  static constexpr uint32_t kDropTickMs = 300;
  // The loop aims at this many milliseconds between ticks.
  static constexpr uint32_t kTickMs = 15;

  uint32_t ClockTime = 0;    // accumulated play milliseconds (sum of accepted ticks)
  int32_t ClockDelta = 0;    // milliseconds of the last accepted tick
  int32_t FrameCount = 0;    // frame steps that reached the update phase
  bool Terminating = false;  // the player is closing
  int32_t ParticleStepMs = 16;
  int32_t FpsDivisor = 1;

  // Offers a measured tick; answers whether it was accepted (and a frame step should run).
  bool AcceptTick(uint32_t deltaMs) {
    if (deltaMs >= kDropTickMs) return false;
    ClockTime += deltaMs;
    ClockDelta = int32_t(deltaMs);
    return true;
  }
  // The wait before the next tick: 15 - last delta, at least 1 ms; 1 after a dropped tick.
  static uint32_t NextWait(uint32_t deltaMs) {
    if (deltaMs >= kDropTickMs || deltaMs >= kTickMs) return 1;
    return kTickMs - deltaMs;
  }
};

}  // namespace kest

// The shared clock and flags of the frame loop, as one small state object.
#pragma once
#include <cstdint>

namespace kest {

struct TPlayerClock {
  // A tick of this length or longer is dropped: the clock does not advance.
  static constexpr uint32_t kDropTickMs = 300;
  // The loop keeps a fixed beat of this many milliseconds between ticks. (Waiting
  // "15 - the last tick's length" with a precise timer alternates ticks of about 1 and
  // 14 ms, which would run frame-counted work near twice as fast.)
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
};

}  // namespace kest

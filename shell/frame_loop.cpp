#include "shell/frame_loop.h"

namespace kest {

void TFrameLoop::HandleEvent(const TInputEvent& event) {
  if (event.kind == TEventKind::Close) RequestClose();
}

int TFrameLoop::Run(int maxSteps) {
  // The wait aims at the next tick 15 ms after the last one: the frame's own work is taken
  // off the wait. (Taking the last tick's whole length off instead would, with a precise
  // timer, alternate ticks of about 1 and 14 ms.) A tick of 300 ms or more (a stall) is
  // dropped: the clock does not advance, no frame runs, and the next wait is 1 ms.
  uint32_t last = clock_.NowMs();
  uint32_t wait = TPlayerClock::kTickMs;
  steps_ = 0;
  while (!Stopping() && (maxSteps <= 0 || steps_ < maxSteps)) {
    clock_.WaitMs(wait < 1 ? 1 : wait);
    TInputEvent e;
    while (!Stopping() && window_.PollEvent(e)) HandleEvent(e);
    if (Stopping()) break;
    const uint32_t now = clock_.NowMs();
    const uint32_t delta = now - last;
    last = now;
    if (!state_.AcceptTick(delta)) {
      wait = 1;
      continue;
    }
    FrameStep();
    ++steps_;
    const uint32_t spent = clock_.NowMs() - now;
    wait = spent >= TPlayerClock::kTickMs ? 1 : TPlayerClock::kTickMs - spent;
  }
  return steps_;
}

}  // namespace kest

#include "shell/frame_loop.h"

namespace kest {

void TFrameLoop::HandleEvent(const TInputEvent& event) {
  if (event.kind == TEventKind::Close) RequestClose();
}

int TFrameLoop::Run(int maxSteps) {
  // Ticks keep a fixed 15 ms beat: each tick is due 15 ms after the one before, so the
  // frame's own work and a late wake-up do not stretch the beat. (Taking the last tick's
  // length off the next wait instead would, with a precise timer, alternate ticks of about
  // 1 and 14 ms.) A frame that overruns its beat is followed after 1 ms, with no burst of
  // ticks to catch up. A tick of 300 ms or more (a stall) is dropped: the clock does not
  // advance, no frame runs, and the next tick follows after 1 ms.
  uint32_t last = clock_.NowMs();
  uint32_t due = last + TPlayerClock::kTickMs;
  steps_ = 0;
  while (!Stopping() && (maxSteps <= 0 || steps_ < maxSteps)) {
    const int32_t wait = int32_t(due - clock_.NowMs());
    clock_.WaitMs(wait < 1 ? 1 : uint32_t(wait));
    const uint32_t now = clock_.NowMs();
    TInputEvent e;
    while (!Stopping() && window_.PollEvent(e)) HandleEvent(e);
    if (Stopping()) break;
    if (suspended_) {
      due = clock_.NowMs() + TPlayerClock::kTickMs;
      continue;
    }
    const uint32_t delta = now - last;
    last = now;
    if (!state_.AcceptTick(delta)) {
      due = now + 1;
      continue;
    }
    FrameStep();
    ++steps_;
    due += TPlayerClock::kTickMs;
    const uint32_t after = clock_.NowMs();
    if (int32_t(due - after) < 1) due = after + 1;
  }
  return steps_;
}

}  // namespace kest

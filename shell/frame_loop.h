// The frame loop: a tick about every 15 ms on the shared clock, the window's events between
// ticks, one frame step per accepted tick.
#pragma once
#include <atomic>

#include "common/clock.h"
#include "platform/clock.h"
#include "platform/window.h"

namespace kest {

class TFrameLoop {
 public:
  TFrameLoop(TClock& clock, TWindow& window, TPlayerClock& state) : clock_(clock), window_(window), state_(state) {}
  virtual ~TFrameLoop() = default;

  // Runs until the window is closed, Terminating is set, the stop flag (if any) is raised, or
  // maxSteps frame steps have run (0: no limit). Answers the number of frame steps run.
  int Run(int maxSteps = 0);
  // Ends the loop before the next frame step.
  void RequestClose() { closing_ = true; }
  // A flag another thread or a signal handler may raise to end the loop.
  void SetStopFlag(const std::atomic<bool>* flag) { stop_ = flag; }
  int Steps() const { return steps_; }
  // While suspended the loop only takes the window's events: no tick is measured and no
  // frame runs; the first tick after it counts the whole pause (and is dropped when that
  // is 300 ms or more), as a suspended timing thread would.
  void SetSuspended(bool on) { suspended_ = on; }
  bool Suspended() const { return suspended_; }

 protected:
  // One event from the window. The default ends the loop on a close request.
  virtual void HandleEvent(const TInputEvent& event);
  // The work of one frame; ClockTime and ClockDelta already include the tick.
  virtual void FrameStep() = 0;

  TClock& clock_;
  TWindow& window_;
  TPlayerClock& state_;

 private:
  bool Stopping() const { return closing_ || state_.Terminating || (stop_ && stop_->load()); }
  bool closing_ = false;
  bool suspended_ = false;
  int steps_ = 0;
  const std::atomic<bool>* stop_ = nullptr;
};

}  // namespace kest

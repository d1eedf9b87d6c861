#include <gtest/gtest.h>

#include "platform/fake/fake_services.h"
#include "shell/frame_loop.h"
#include "shell/idle_frames.h"

using namespace kest;

namespace {

TInputScript Script(const char* text) {
  TInputScript s;
  std::string error;
  EXPECT_TRUE(ParseInputScript(text, s, &error)) << error;
  return s;
}

// Records what each frame step saw.
class TRecordingLoop : public TFrameLoop {
 public:
  using TFrameLoop::TFrameLoop;
  struct TStep {
    uint32_t clockTime;
    int32_t clockDelta;
    std::vector<TEventKind> events;  // the events that arrived before this step
  };
  std::vector<TStep> steps;
  std::vector<TEventKind> pending;
  std::function<void(int)> onStep;  // called with the step number (1, 2, ...)

 protected:
  void HandleEvent(const TInputEvent& e) override {
    pending.push_back(e.kind);
    TFrameLoop::HandleEvent(e);
  }
  void FrameStep() override {
    steps.push_back({state_.ClockTime, state_.ClockDelta, pending});
    pending.clear();
    if (onStep) onStep(int(steps.size()));
  }
};

}  // namespace

TEST(FrameLoop, VirtualClockGivesExactly15MsPerStep) {
  TFakeHost f = MakeFakeHost();
  auto window = f.host->windows->CreateWindow(8, 8, "t");
  TPlayerClock state;
  TRecordingLoop loop(*f.clock, *window, state);
  EXPECT_EQ(loop.Run(50), 50);
  ASSERT_EQ(loop.steps.size(), 50u);
  for (size_t i = 0; i < loop.steps.size(); ++i) {
    EXPECT_EQ(loop.steps[i].clockDelta, 15);
    EXPECT_EQ(loop.steps[i].clockTime, 15u * (i + 1));
  }
}

TEST(FrameLoop, ScriptedEventsArriveBeforeTheirStepAndCloseEndsTheLoop) {
  TFakeHost f = MakeFakeHost(Script("1 move 1 1\n3 key A\n3 click left 2 2\n6 close\n"));
  auto window = f.host->windows->CreateWindow(8, 8, "t");
  TPlayerClock state;
  TRecordingLoop loop(*f.clock, *window, state);
  EXPECT_EQ(loop.Run(100), 5);  // the close before step 6
  ASSERT_EQ(loop.steps.size(), 5u);
  EXPECT_EQ(loop.steps[0].events, (std::vector<TEventKind>{TEventKind::MouseMove}));
  EXPECT_TRUE(loop.steps[1].events.empty());
  EXPECT_EQ(loop.steps[2].events, (std::vector<TEventKind>{TEventKind::KeyDown, TEventKind::MouseDown}));
  EXPECT_EQ(loop.steps[3].events, (std::vector<TEventKind>{TEventKind::KeyUp, TEventKind::MouseUp}));
  EXPECT_TRUE(loop.steps[4].events.empty());
}

TEST(FrameLoop, StallOf300MsOrMoreIsDropped) {
  TFakeHost f = MakeFakeHost();
  auto window = f.host->windows->CreateWindow(8, 8, "t");
  TPlayerClock state;
  TRecordingLoop loop(*f.clock, *window, state);
  loop.onStep = [&](int step) {
    if (step == 2) f.clock->Advance(400);  // the second frame's work takes 400 ms
    if (step == 4) f.clock->Advance(284);  // 284 + 1 ms wait + ... stays below 300: kept
  };
  loop.Run(6);
  ASSERT_EQ(loop.steps.size(), 6u);
  EXPECT_EQ(loop.steps[1].clockTime, 30u);
  // After the stall the tick is dropped; the next wait is 1 ms and that tick counts.
  EXPECT_EQ(loop.steps[2].clockDelta, 1);
  EXPECT_EQ(loop.steps[2].clockTime, 31u);
  EXPECT_EQ(loop.steps[3].clockTime, 46u);
  EXPECT_EQ(loop.steps[4].clockDelta, 285);
  EXPECT_EQ(loop.steps[5].clockDelta, 15);
}

TEST(FrameLoop, TerminatingAndTheStopFlagEndIt) {
  TFakeHost f = MakeFakeHost();
  auto window = f.host->windows->CreateWindow(8, 8, "t");
  TPlayerClock state;
  TRecordingLoop loop(*f.clock, *window, state);
  loop.onStep = [&](int step) { state.Terminating = step == 3; };
  EXPECT_EQ(loop.Run(0), 3);
  state.Terminating = false;
  std::atomic<bool> stop{true};
  loop.SetStopFlag(&stop);
  EXPECT_EQ(loop.Run(0), 0);
}

TEST(IdleFrames, BarMovesWithTheClockAndThePointerShows) {
  TFakeHost f = MakeFakeHost(Script("1 move 100 50\n20 down left 100 50\n"));
  auto window = f.host->windows->CreateWindow(TIdleFrames::kWidth, TIdleFrames::kHeight, "Kest");
  TPlayerClock state;
  TIdleFrames loop(*f.clock, *window, state);
  loop.Run(20);
  EXPECT_EQ(state.FrameCount, 20);
  const TFrame& fr = window->LastFrame();
  ASSERT_EQ(fr.width, TIdleFrames::kWidth);
  auto at = [&](int x, int y) { return fr.pixels[size_t(y) * size_t(fr.width) + size_t(x)]; };
  // 20 steps = 300 ms: the bar's left edge is at 2 * 20 - 48 = -8.
  EXPECT_EQ(TIdleFrames::BarX(300), -8);
  EXPECT_EQ(at(0, TIdleFrames::kBarTop), TIdleFrames::kBar);
  EXPECT_EQ(at(39, TIdleFrames::kBarTop + TIdleFrames::kBarHeight - 1), TIdleFrames::kBar);
  EXPECT_EQ(at(40, TIdleFrames::kBarTop), TIdleFrames::kBackground);
  EXPECT_EQ(at(0, TIdleFrames::kBarTop - 1), TIdleFrames::kBackground);
  EXPECT_EQ(at(100, 50), TIdleFrames::kPointerHeld);
  EXPECT_EQ(at(300, 300), TIdleFrames::kBackground);
  // The bar wraps round: back at the left after 688 pixels.
  EXPECT_EQ(TIdleFrames::BarX(688 / 2 * 15), -48);
}

TEST(IdleFrames, AltReturnSwitchesFullScreen) {
  TFakeHost f = MakeFakeHost(Script("2 keydown MENU\n3 key RETURN\n4 keyup MENU\n5 key RETURN\n"));
  auto window = f.host->windows->CreateWindow(TIdleFrames::kWidth, TIdleFrames::kHeight, "Kest");
  TPlayerClock state;
  TIdleFrames loop(*f.clock, *window, state);
  loop.Run(10);
  EXPECT_TRUE(window->IsFullScreen());
}

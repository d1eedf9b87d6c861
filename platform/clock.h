// The millisecond clock the frame loop measures its ticks with.
#pragma once
#include <chrono>
#include <cstdint>

namespace kest {

class TClock {
 public:
  virtual ~TClock() = default;
  // Milliseconds since an arbitrary start; wraps like a 32-bit tick counter.
  virtual uint32_t NowMs() = 0;
  // Waits the given milliseconds.
  virtual void WaitMs(uint32_t ms) = 0;
};

// The machine's monotonic clock.
class TSteadyClock : public TClock {
 public:
  uint32_t NowMs() override;
  void WaitMs(uint32_t ms) override;

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// A clock that moves only when waited on, by exactly the time waited, so runs repeat
// exactly. When paced, each wait also passes in real time (a run without an end then does
// not spin the processor).
class TVirtualClock : public TClock {
 public:
  explicit TVirtualClock(bool paced = false) : paced_(paced) {}
  uint32_t NowMs() override { return now_; }
  void WaitMs(uint32_t ms) override;
  void Advance(uint32_t ms) { now_ += ms; }

 private:
  uint32_t now_ = 0;
  bool paced_;
};

}  // namespace kest

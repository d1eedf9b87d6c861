#include "platform/clock.h"

#include <thread>

namespace kest {

uint32_t TSteadyClock::NowMs() {
  const auto d = std::chrono::steady_clock::now() - start_;
  return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

void TSteadyClock::WaitMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void TVirtualClock::WaitMs(uint32_t ms) {
  if (paced_) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  now_ += ms;
}

}  // namespace kest

#include "platform/random.h"

#include <atomic>

namespace kest {

namespace {
std::atomic<uint32_t> g_state{0};
}

void SetRandomSeed(uint32_t seed) { g_state = seed; }
uint32_t RandomSeed() { return g_state; }

int32_t RandomBelow(int32_t range) {
  if (range <= 0) return 0;
  // state := state * 134775813 + 1; the value is the high word of state * range.
  uint32_t s = g_state.load(), n;
  do n = s * 134775813u + 1u;
  while (!g_state.compare_exchange_weak(s, n));
  return int32_t((uint64_t(n) * uint64_t(uint32_t(range))) >> 32);
}

}  // namespace kest

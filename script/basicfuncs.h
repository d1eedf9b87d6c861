// The system functions that need nothing but the variables: strings, width conversion,
// arrays, arithmetic, dates, and variables and evaluation.
#pragma once
#include <cstdint>

namespace kest {

class TSysFuncMan;

// The generator behind Random: state := state * 0x08088405 + 1 (mod 2^32); a draw below
// n is the high 32 bits of state * n. One process-wide instance, seeded at start-up.
class TScriptRandom {
 public:
  explicit TScriptRandom(uint32_t seed = 0) : state_(seed) {}
  void Seed(uint32_t seed) { state_ = seed; }
  uint32_t State() const { return state_; }
  // 0 <= r < n; 0 for n <= 0.
  int32_t Next(int32_t n) {
    state_ = state_ * 0x08088405u + 1u;
    if (n <= 0) return 0;
    return int32_t((uint64_t(state_) * uint64_t(uint32_t(n))) >> 32);
  }

 private:
  uint32_t state_;
};

// Registers the bodies of those functions. `random` must outlive the dispatcher.
void RegisterBasicFunctions(TSysFuncMan& funcs, TScriptRandom& random);

}  // namespace kest

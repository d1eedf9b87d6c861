// The small generator of archives, Zarn images and dissolve transitions:
// state := state * 5 + seed (mod 2^32), with a shuffled-deck mode.
#pragma once
#include <cstdint>
#include <vector>

namespace kest {

class TTpRandom {
 public:
  // The increment of the archive name and offset scramblers.
  static constexpr int32_t kArchiveSeed = 1482503627;

  explicit TTpRandom(int32_t seed) : seed_(uint32_t(seed)) {}

  int32_t Seed() const { return int32_t(seed_); }
  uint32_t State() const { return state_; }

  // Steps the state and answers it; the first value is the seed itself.
  uint32_t NextU() { return state_ = state_ * 5u + seed_; }
  int32_t Next() { return int32_t(NextU()); }

  // The deck becomes 0, 1, ..., n-1 (empty for n <= 0).
  void Prepare(int n);
  // Steps the state, removes and answers deck[state mod deck length] (unsigned). Drawing
  // n times after Prepare(n) yields a permutation of 0..n-1. An empty deck answers -1
  // without stepping the state.
  int Draw();
  int DeckCount() const { return int(deck_.size()); }

 private:
  uint32_t seed_;
  uint32_t state_ = 0;
  std::vector<int> deck_;
};

}  // namespace kest

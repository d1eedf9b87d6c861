#include "vfs/rands.h"

#include <cstddef>

namespace kest {

void TTpRandom::Prepare(int n) {
  deck_.clear();
  if (n <= 0) return;
  deck_.reserve(size_t(n));
  for (int i = 0; i < n; ++i) deck_.push_back(i);
}

int TTpRandom::Draw() {
  if (deck_.empty()) return -1;
  const uint32_t s = NextU();
  const size_t i = size_t(s % uint32_t(deck_.size()));
  const int v = deck_[i];
  deck_.erase(deck_.begin() + std::ptrdiff_t(i));
  return v;
}

}  // namespace kest

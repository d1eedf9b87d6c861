#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "vfs/rands.h"

namespace kest {
namespace {

TEST(TTpRandom, ArchiveKeystream) {
  TTpRandom r(TTpRandom::kArchiveSeed);
  const uint32_t expected[] = {0x585D35CB, 0x122F42C2, 0xB3498395, 0xD8CCC7B4, 0x945D1C4F, 0x3E2EC356};
  for (uint32_t e : expected) EXPECT_EQ(uint32_t(r.Next()), e);
  TTpRandom neg(TTpRandom::kArchiveSeed);
  neg.Next();
  neg.Next();
  EXPECT_LT(neg.Next(), 0);  // the third value is negative as a signed 32-bit value
}

TEST(TTpRandom, DeckDrawsByHand) {
  // seed 1: states 1, 6, 31, 156 -> indices 1 of 4, 0 of 3, 1 of 2, 0 of 1.
  TTpRandom r(1);
  r.Prepare(4);
  std::vector<int> got;
  for (int i = 0; i < 4; ++i) got.push_back(r.Draw());
  EXPECT_EQ(got, (std::vector<int>{1, 0, 3, 2}));
  EXPECT_EQ(r.Draw(), -1);  // empty deck
  EXPECT_EQ(r.State(), 156u);
}

TEST(TTpRandom, DrawIsAPermutation) {
  TTpRandom r(12341);
  r.Prepare(1000);
  std::vector<int> got;
  for (int i = 0; i < 1000; ++i) got.push_back(r.Draw());
  std::sort(got.begin(), got.end());
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(got[size_t(i)], i);
  r.Prepare(0);
  EXPECT_EQ(r.DeckCount(), 0);
}

}  // namespace
}  // namespace kest

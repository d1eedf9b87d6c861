// The player's random generator (shuffles, random transitions, the scripts' Random): one
// per process, seeded at start-up from the time of day or from --seed.
#pragma once
#include <cstdint>

namespace kest {

void SetRandomSeed(uint32_t seed);
uint32_t RandomSeed();
// A value in 0 .. range - 1 (0 when range <= 0).
int32_t RandomBelow(int32_t range);

}  // namespace kest

// VexaRandom: the library's 16-bit pseudo-random generator. Its sequence from a given seed
// is fixed (a linear congruential step modulo 65536 with increment 1, in 32-bit unsigned
// arithmetic), which the join pages rely on when they seed it from a key text.
#ifndef OM_VEXA_RANDOM_H
#define OM_VEXA_RANDOM_H

#include <stdint.h>

namespace vexa {

struct VexaRandom {
  uint32_t state;
  uint32_t multiplier;
  uint32_t count;  // values drawn since the last seed

  // Seeds itself from the clock: millisecond tick + both halves of the time-stamp counter.
  VexaRandom();
  void Seed(uint32_t seed);
  // The next value, 0 to 65535.
  uint32_t Next();
};

// The clock seed: the tick count plus the high and low halves of the time-stamp counter,
// added with 32-bit wrap-around.
uint32_t ClockSeed();

}  // namespace vexa

#endif

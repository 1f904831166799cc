#include "vexa_random.h"

#include "vexa_platform.h"
#include "vexa_text.h"

namespace vexa {

namespace {
constexpr uint32_t kMultiplier = 78665521u;
}

uint32_t ClockSeed() {
  uint32_t high = 0;
  uint32_t low = 0;
  ReadCycleCounter(&high, &low);
  return PlatformTickCount() + high + low;
}

VexaRandom::VexaRandom() { Seed(ClockSeed()); }

void VexaRandom::Seed(uint32_t seed) {
  state = seed;
  multiplier = kMultiplier;
  count = 0;
}

uint32_t VexaRandom::Next() {
  count += 1;
  state = (multiplier * state + 1u) & 0xFFFFu;
  return state;
}

}  // namespace vexa

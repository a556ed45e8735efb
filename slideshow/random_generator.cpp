// One process-wide 32-bit state, advanced as state × 214013 + 2531011 (mod 2^32).
#include "slideshow/random_generator.h"

namespace {
uint32_t RandomState = 1;
}

void SeedRandom(uint32_t seed) { RandomState = seed; }

int32_t NextRandom() {
    RandomState = RandomState * 214013u + 2531011u;  // unsigned: wraps modulo 2^32 by definition
    return static_cast<int32_t>((RandomState >> 16) & 0x7FFF);
}

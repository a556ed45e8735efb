// The slideshow's random numbers: the classic C library generator, the same on every platform and
// build, so that a seed names one start whatever the C library of the machine does.
#pragma once
#include <cstdint>

// Starts the sequence again from seed (the state is 1 before the first seeding).
void SeedRandom(uint32_t seed);

// The next value, 0 to 32767.
int32_t NextRandom();

// Random numbers: two multiply-with-carry generators in one value. A demo holds its own and
// reseeds it at every clock reset, so that every run of a demo draws the same sequence.
#pragma once

#include <cstdint>

struct Random {
    uint32_t z = 521288629u;
    uint32_t w = 362436069u;
};

uint32_t random_next(Random& r);

// Zero picks the default seed of that generator (521288629 for z, 362436069 for w).
void random_seed(Random& r, uint32_t a, uint32_t b);

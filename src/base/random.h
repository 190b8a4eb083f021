// The demo's random numbers: two multiply-with-carry generators, reseeded at every clock reset
// so that every run of a demo draws the same sequence.
#pragma once

#include <cstdint>

uint32_t random_next();

// Zero picks the default seed of that generator (521288629 for z, 362436069 for w).
void random_seed(uint32_t a, uint32_t b);

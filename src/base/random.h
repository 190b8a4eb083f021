// The demo's random numbers: two multiply-with-carry generators, reseeded at every clock reset
// so that every run of a demo draws the same sequence.
#pragma once

#include <cstdint>

uint32_t random_next();

// Zero picks the default seed of that generator (521288629 for z, 362436069 for w).
void random_seed(uint32_t a, uint32_t b);

// Both generators' state, to draw the same numbers again from a point of the run.
struct RandomState {
    uint32_t z = 0;
    uint32_t w = 0;
};
RandomState random_state();
void random_restore(RandomState state);

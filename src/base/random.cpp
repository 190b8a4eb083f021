// Multiply-with-carry random numbers.
#include "base/random.h"

namespace {
uint32_t random_z = 521288629u;
uint32_t random_w = 362436069u;
}  // namespace

uint32_t random_next() {
    random_z = 0x5C01u * (random_z & 0xFFFFu) + (random_z >> 16);
    random_w = 0x607Bu * (random_w & 0xFFFFu) + (random_w >> 16);
    return (random_z << 16) + (random_w & 0xFFFFu);
}

void random_seed(uint32_t a, uint32_t b) {
    random_z = a != 0 ? a : 521288629u;
    random_w = b != 0 ? b : 362436069u;
}

// Multiply-with-carry random numbers.
#include "base/random.h"

uint32_t random_next(Random& r) {
    r.z = 0x5C01u * (r.z & 0xFFFFu) + (r.z >> 16);
    r.w = 0x607Bu * (r.w & 0xFFFFu) + (r.w >> 16);
    return (r.z << 16) + (r.w & 0xFFFFu);
}

void random_seed(Random& r, uint32_t a, uint32_t b) {
    r.z = a != 0 ? a : 521288629u;
    r.w = b != 0 ? b : 362436069u;
}

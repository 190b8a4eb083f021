#include <gtest/gtest.h>

#include "core/random.h"

TEST(Random, FirstValuesFollowTheTwoGenerators) {
    random_seed(0, 0);
    // One step by hand from the default states.
    uint32_t z = 0x5C01u * (521288629u & 0xFFFFu) + (521288629u >> 16);
    uint32_t w = 0x607Bu * (362436069u & 0xFFFFu) + (362436069u >> 16);
    EXPECT_EQ(random_next(), (z << 16) + (w & 0xFFFFu));
}

TEST(Random, ReseedingRepeatsTheSequence) {
    random_seed(0, 0);
    uint32_t a[4];
    for (auto& v : a) v = random_next();
    random_seed(0, 0);
    for (auto v : a) EXPECT_EQ(random_next(), v);
    random_seed(521288629u, 362436069u);
    EXPECT_EQ(random_next(), a[0]);
    random_seed(7, 9);
    EXPECT_NE(random_next(), a[0]);
}

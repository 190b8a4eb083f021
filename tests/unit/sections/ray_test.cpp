#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/random.h"
#include "sections/ray.h"

namespace {
struct Segment {
    float from[3];
    float to[3];
};

Ray make_ray(uint8_t mode, int segments, float amplitude, float reroll, int bolts) {
    Ray ray;
    ray.mode = mode;
    ray.segments = segments;
    ray.offsets.assign(3 * (segments + 1), 0.0f);
    const float ch0[10] = {1, 2, 3, 9, -2, 7, amplitude, 1, reroll, static_cast<float>(bolts)};
    const float ch1[3] = {1, 0.5f, 0.25f};
    ray_set_channels(ray, ch0, ch1);
    return ray;
}

std::vector<Segment> walk(Ray& ray) {
    std::vector<Segment> segments;
    ray_walk(ray, [&](const float* from, const float* to) {
        segments.push_back({{from[0], from[1], from[2]}, {to[0], to[1], to[2]}});
    });
    return segments;
}

// How many numbers the generator has given since the default seeds.
int draws_since_seed() {
    const uint32_t next = random_next();
    random_seed(0, 0);
    for (int n = 0; n < 100000; ++n) {
        if (random_next() == next) return n;
    }
    return -1;
}

double signed_offset(uint32_t sign_draw, uint32_t magnitude_draw, uint32_t modulus, float amplitude) {
    return (sign_draw & 1u ? -1.0 : 1.0) * (magnitude_draw % modulus) * amplitude * 0.001;
}
}  // namespace

TEST(RayWalk, AnchoredJointsLieOnTheLineAndEndExactly) {
    Ray ray = make_ray(1, 4, 0, 0, 1);
    auto segments = walk(ray);
    ASSERT_EQ(segments.size(), 4u);
    EXPECT_EQ(segments[0].from[0], 1);
    for (int j = 1; j <= 4; ++j) {
        const Segment& s = segments[j - 1];
        EXPECT_FLOAT_EQ(s.to[0], 1 + 8.0f * j / 4);
        EXPECT_FLOAT_EQ(s.to[1], 2 - 4.0f * j / 4);
        EXPECT_FLOAT_EQ(s.to[2], 3 + 4.0f * j / 4);
        if (j > 1) {
            EXPECT_EQ(s.from[0], segments[j - 2].to[0]);
        }
    }
    EXPECT_EQ(segments[3].to[0], 9);
    EXPECT_EQ(segments[3].to[1], -2);
    EXPECT_EQ(segments[3].to[2], 7);
}

TEST(RayWalk, ChainedJointsWithoutAmplitudeRunStraightToTheEnd) {
    Ray ray = make_ray(0, 5, 0, 1, 2);
    auto segments = walk(ray);
    ASSERT_EQ(segments.size(), 10u);
    for (int j = 1; j <= 5; ++j) {
        EXPECT_NEAR(segments[j - 1].to[0], 1 + 8.0f * j / 5, 1e-5);
        EXPECT_NEAR(segments[j - 1].to[1], 2 - 4.0f * j / 5, 1e-5);
        EXPECT_NEAR(segments[j - 1].to[2], 3 + 4.0f * j / 5, 1e-5);
    }
    EXPECT_NEAR(segments[4].to[0], 9, 1e-5);
    // The second bolt starts again from the start point.
    EXPECT_EQ(segments[5].from[0], 1);
}

TEST(RayWalk, OneAnchoredSegmentIsStraightWhateverTheJitter) {
    Ray ray = make_ray(3, 1, 50, 1, 3);
    for (const Segment& s : walk(ray)) {
        EXPECT_EQ(s.from[0], 1);
        EXPECT_EQ(s.to[0], 9);
        EXPECT_EQ(s.to[1], -2);
        EXPECT_EQ(s.to[2], 7);
    }
}

TEST(RayWalk, DrawsOneTestPerBoltAndSixNumbersPerJitterOrReroll) {
    random_seed(0, 0);
    Ray none = make_ray(0, 3, 1, 0, 2);
    walk(none);
    EXPECT_EQ(draws_since_seed(), 2 * (1 + 6 * 3));

    random_seed(0, 0);
    Ray every = make_ray(0, 3, 1, 1, 2);
    walk(every);
    EXPECT_EQ(draws_since_seed(), 2 * (1 + 6 * 3 + 6 * 3));

    // No segments: only the re-roll tests; no bolts: nothing at all.
    random_seed(0, 0);
    Ray empty = make_ray(1, 0, 1, 0, 4);
    EXPECT_TRUE(walk(empty).empty());
    EXPECT_EQ(draws_since_seed(), 4);

    random_seed(0, 0);
    Ray no_bolts = make_ray(1, 4, 1, 1, 0);
    EXPECT_TRUE(walk(no_bolts).empty());
    EXPECT_EQ(draws_since_seed(), 0);
}

TEST(RayWalk, RerollThenJitterInDrawOrder) {
    random_seed(0, 0);
    std::vector<uint32_t> d(13);
    for (auto& v : d) v = random_next();

    random_seed(0, 0);
    Ray ray = make_ray(0, 1, 2, 1, 1);
    auto segments = walk(ray);
    ASSERT_EQ(segments.size(), 1u);
    // d[0] is the re-roll test; d[1..6] roll x, y, z (sign first); d[7..12] jitter them.
    for (int c = 0; c < 3; ++c) {
        const float rolled = static_cast<float>(signed_offset(d[1 + 2 * c], d[2 + 2 * c], 1000, 2));
        const float jittered = static_cast<float>(rolled + signed_offset(d[7 + 2 * c], d[8 + 2 * c], 100, 2));
        EXPECT_EQ(ray.offsets[c], jittered) << c;
    }
    // Chained: the single joint is the start, one whole step, and the offset.
    EXPECT_FLOAT_EQ(segments[0].to[0], 1 + 8 + ray.offsets[0]);
    EXPECT_FLOAT_EQ(segments[0].to[1], 2 - 4 + ray.offsets[1]);
}

TEST(RayWalk, JitterAccumulatesUntilTheNextReroll) {
    Ray ray = make_ray(1, 6, 1, 0, 1);
    random_seed(0, 0);
    for (int frame = 0; frame < 10; ++frame) walk(ray);
    // Ten jitters of at most 0.099 each, and never a re-roll.
    float largest = 0;
    for (int i = 0; i < 18; ++i) largest = std::max(largest, std::abs(ray.offsets[i]));
    EXPECT_GT(largest, 0.0f);
    EXPECT_LE(largest, 10 * 0.099f + 1e-5f);

    // A re-roll replaces the accumulated offsets: multiples of amplitude / 1000 below it.
    ray.amplitude = 4;
    ray_reroll(ray);
    for (int i = 0; i < 18; ++i) {
        EXPECT_LE(std::abs(ray.offsets[i]), 0.999f * 4 + 1e-5f);
        EXPECT_NEAR(ray.offsets[i] / 0.004f, std::round(ray.offsets[i] / 0.004f), 1e-2);
    }
    // The spare joint at the end is never touched.
    EXPECT_EQ(ray.offsets[18], 0);
}

TEST(RayGlow, PassesNarrowAndBrighten) {
    auto three = ray_glow_passes(3);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_FLOAT_EQ(three[0].width, 3);
    EXPECT_FLOAT_EQ(three[0].alpha, 1.0f / 3);
    EXPECT_FLOAT_EQ(three[2].width, 1);
    EXPECT_FLOAT_EQ(three[2].alpha, 1);

    auto fractional = ray_glow_passes(2.5f);
    ASSERT_EQ(fractional.size(), 3u);
    const float widths[3] = {2.5f, 1.5f, 0.5f}, alphas[3] = {0.4f, 0.8f, 1.2f};
    for (int k = 0; k < 3; ++k) {
        EXPECT_FLOAT_EQ(fractional[k].width, widths[k]);
        EXPECT_FLOAT_EQ(fractional[k].alpha, alphas[k]);
    }
    EXPECT_TRUE(ray_glow_passes(0).empty());
    EXPECT_TRUE(ray_glow_passes(-2).empty());
    EXPECT_TRUE(ray_glow_passes(NAN).empty());
    EXPECT_EQ(ray_glow_passes(1e9f).size(), static_cast<size_t>(RAY_MAX_LAYERS));
}

TEST(RayWalk, ChannelsFillTheRecord) {
    Ray ray = make_ray(0, 2, 0.5f, 0.3f, 0);
    const float ch0[10] = {1, 2, 3, 4, 5, 6, 0.5f, 2.5f, 0.3f, 2.9f};
    const float ch1[3] = {0.1f, 0.2f, 0.3f};
    ray_set_channels(ray, ch0, ch1);
    EXPECT_EQ(ray.end[2], 6);
    EXPECT_EQ(ray.layers, 2.5f);
    EXPECT_EQ(ray.bolts, 2);
    EXPECT_EQ(ray.colour[1], 0.2f);
    // Huge bolt counts are held to the limit rather than stalling the frame.
    ray.bolts = 1 << 30;
    random_seed(0, 0);
    ray.segments = 0;
    walk(ray);
    EXPECT_EQ(draws_since_seed(), RAY_MAX_BOLTS);
}

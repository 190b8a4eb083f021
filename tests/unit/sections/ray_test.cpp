#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "base/random.h"
#include "sections/ray.h"

namespace {

using Floats = std::vector<float>;

struct Segment {
    float from[3], to[3];
};

// A ray from (1, 2, 3) to (9, -2, 7).
Ray make_ray(uint8_t mode, int segments, float amplitude, float reroll, float bolts) {
    Ray ray;
    ray.mode = mode, ray.segments = segments;
    ray.offsets.assign(3 * (segments + 1), 0.0f);
    const float ch0[10] = {1, 2, 3, 9, -2, 7, amplitude, 1, reroll, bolts};
    const float ch1[3] = {1, 0.5f, 0.25f};
    ray_set_channels(ray, ch0, ch1);
    return ray;
}

std::vector<Segment> walk(Ray& ray) {
    std::vector<Segment> segments;
    static Random random;
    ray_walk(ray, random, [&](const float* from, const float* to) {
        segments.push_back({{from[0], from[1], from[2]}, {to[0], to[1], to[2]}});
    });
    return segments;
}

}  // namespace

// Without offsets both modes walk the line in equal steps, joint to joint, every bolt from the
// start point; the anchored mode ends on the end point exactly, whatever its jitter.
TEST(RayWalk, BoltsWalkTheLineInEqualStepsFromTheStartUpToTheLimit) {
    for (uint8_t mode : {0, 1}) {
        Ray ray = make_ray(mode, 5, 0, 1, 2);
        auto segments = walk(ray);
        ASSERT_EQ(segments.size(), 10u) << int(mode);
        for (int k = 0; k < 10; ++k) {
            const float j = k % 5 + 1, from = k % 5 == 0 ? 1 : segments[k - 1].to[0];
            EXPECT_EQ(segments[k].from[0], from) << int(mode) << " " << k;
            const float expected[3] = {1 + 8 * j / 5, 2 - 4 * j / 5, 3 + 4 * j / 5};
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(segments[k].to[c], expected[c], 1e-5) << int(mode) << " " << k;
        }
    }
    for (int count : {1, 6}) {
        Ray jittered = make_ray(3, count, 50, 1, 2);
        auto segments = walk(jittered);
        EXPECT_EQ(Floats(segments.back().to, segments.back().to + 3), (Floats{9, -2, 7}));
        EXPECT_TRUE(count == 1 || std::abs(segments[2].to[0] - 5) > 1e-3f);  // the middle joints move
    }
    Ray ray = make_ray(0, 1, 0, 0, 2.9f);  // bolt counts are truncated, huge ones held to the limit
    EXPECT_EQ(ray.bolts, 2);
    ray.bolts = 1 << 30;
    EXPECT_EQ(walk(ray).size(), static_cast<size_t>(RAY_MAX_BOLTS));
}

// Offsets are drawn in thousandths of the amplitude: a re-roll below the amplitude, each
// frame's jitter below a tenth of it, accumulating until the next re-roll.
TEST(RayWalk, JitterAccumulatesWithinItsBoundUntilAReroll) {
    Ray ray = make_ray(1, 6, 1, 0, 1);
    auto largest = [&] {
        float m = 0;
        for (int i = 0; i < 18; ++i) m = std::max(m, std::abs(ray.offsets[i]));
        return m;
    };
    for (int frame = 0; frame < 10; ++frame) walk(ray);
    EXPECT_GT(largest(), 0.1f);  // more than one frame's worth
    EXPECT_LE(largest(), 10 * 0.099f + 1e-5f);
    ray.amplitude = 4;
    Random random;
    ray_reroll(ray, random);
    EXPECT_GT(largest(), 1.0f);
    EXPECT_LE(largest(), 0.999f * 4 + 1e-5f);
    for (float v : ray.offsets) EXPECT_NEAR(v / 0.004f, std::round(v / 0.004f), 1e-2);
    EXPECT_EQ(ray.offsets[18], 0);  // the spare joint at the end is never touched
}

// Glow passes narrow by one unit down to what is left of the width, growing brighter.
TEST(RayGlow, PassesNarrowAndBrighten) {
    auto passes = [](float layers) {
        Floats out;
        for (const auto& p : ray_glow_passes(layers))
            for (float v : {p.width, p.alpha}) out.push_back(std::round(v * 1e4f) / 1e4f);
        return out;
    };
    EXPECT_EQ(passes(3), (Floats{3, 0.3333f, 2, 0.6667f, 1, 1}));
    EXPECT_EQ(passes(2.5f), (Floats{2.5f, 0.4f, 1.5f, 0.8f, 0.5f, 1.2f}));
    for (float none : {0.0f, -2.0f, NAN}) EXPECT_TRUE(passes(none).empty()) << none;
}

// The ray section: jagged glowing bolts between two spline-driven points, their joints
// re-rolled now and then and jittered every frame.
#pragma once

#include <cstdint>
#include <vector>

#include "base/random.h"

struct Ray {
    float start[3] = {};
    float end[3] = {};
    float colour[3] = {};
    int32_t segments = 0;
    float amplitude = 0;
    float layers = 0;
    uint8_t mode = 0;  // 0: chained; anything else: anchored
    float reroll = 0;
    std::vector<float> offsets;  // (segments + 1) x 3; only the first `segments` are used
    int32_t bolts = 0;
};

// Channels each of the two splines needs: end points, amplitude, layers, re-roll and bolts;
// then the colour.
inline constexpr int RAY_CHANNELS[2] = {10, 3};

// Limits that keep absurd spline values from stalling a frame.
inline constexpr int RAY_MAX_SEGMENTS = 100000;
inline constexpr int RAY_MAX_BOLTS = 1024;
inline constexpr int RAY_MAX_LAYERS = 256;

// Rolls the offsets of the first `segments` joints anew: x, y, z each a random sign times a
// random multiple of amplitude / 1000 below amplitude.
void ray_reroll(Ray& ray, Random& random);

// Stores the values of spline 0 (10 channels) and spline 1 (3 channels) in the record.
void ray_set_channels(Ray& ray, const float ch0[10], const float ch1[3]);

// One pass of the glow: a line width in pixels and an alpha.
struct RayPass {
    float width;
    float alpha;
};

// Passes k = 0, 1, ... while k < layers: width layers - k, alpha (k + 1) / layers.
std::vector<RayPass> ray_glow_passes(float layers);

// Walks every bolt of the frame: the re-roll test, then for each segment the jitter of its
// joint and `segment(previous, point)` with the two joint positions (3 floats each).
template <typename Segment>
void ray_walk(Ray& ray, Random& random, Segment&& segment);

// Implementation details of ray_walk.
bool ray_reroll_due(const Ray& ray, Random& random);
void ray_jitter(Ray& ray, Random& random, int joint);
void ray_joint(const Ray& ray, int j, const float previous[3], float point[3]);

template <typename Segment>
void ray_walk(Ray& ray, Random& random, Segment&& segment) {
    const int bolts = ray.bolts < RAY_MAX_BOLTS ? ray.bolts : RAY_MAX_BOLTS;
    for (int bolt = 0; bolt < bolts; ++bolt) {
        if (ray_reroll_due(ray, random)) ray_reroll(ray, random);
        float previous[3] = {ray.start[0], ray.start[1], ray.start[2]};
        for (int j = 1; j <= ray.segments; ++j) {
            ray_jitter(ray, random, j - 1);
            float point[3];
            ray_joint(ray, j, previous, point);
            segment(static_cast<const float*>(previous), static_cast<const float*>(point));
            for (int c = 0; c < 3; ++c) previous[c] = point[c];
        }
    }
}

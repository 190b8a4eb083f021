// The "ray" section type.
#include "sections/ray.h"

#include "core/random.h"
#include "script/section.h"
#include "sections/particles.h"

namespace {
// A random sign, drawn first, times a random magnitude below `modulus`, times amplitude / 1000.
double ray_random_offset(uint32_t modulus, float amplitude) {
    const double sign = (random_next() & 1u) ? -1.0 : 1.0;
    const uint32_t magnitude = random_next() % modulus;
    return sign * magnitude * amplitude * 0.001;
}
}  // namespace

void ray_reroll(Ray& ray) {
    for (int i = 0; i < ray.segments; ++i) {
        for (int c = 0; c < 3; ++c)
            ray.offsets[3 * i + c] = static_cast<float>(ray_random_offset(1000u, ray.amplitude));
    }
}

void ray_set_channels(Ray& ray, const float ch0[10], const float ch1[3]) {
    for (int c = 0; c < 3; ++c) {
        ray.start[c] = ch0[c];
        ray.end[c] = ch0[3 + c];
        ray.colour[c] = ch1[c];
    }
    ray.amplitude = ch0[6];
    ray.layers = ch0[7];
    ray.reroll = ch0[8];
    ray.bolts = truncate_to_int(ch0[9]);
}

std::vector<RayPass> ray_glow_passes(float layers) {
    std::vector<RayPass> passes;
    for (int k = 0; k < RAY_MAX_LAYERS && static_cast<float>(k) < layers; ++k) {
        passes.push_back({layers - static_cast<float>(k), static_cast<float>(k + 1) / layers});
    }
    return passes;
}

bool ray_reroll_due(const Ray& ray) {
    return ray.reroll > (random_next() % 1000u) * 0.001;
}

void ray_jitter(Ray& ray, int joint) {
    for (int c = 0; c < 3; ++c) {
        float& offset = ray.offsets[3 * joint + c];
        offset = static_cast<float>(offset + ray_random_offset(100u, ray.amplitude));
    }
}

void ray_joint(const Ray& ray, int j, const float previous[3], float point[3]) {
    const float* offset = &ray.offsets[3 * (j - 1)];
    for (int c = 0; c < 3; ++c) {
        const float span = ray.end[c] - ray.start[c];
        if (ray.mode == 0) {
            point[c] = previous[c] + span / static_cast<float>(ray.segments) + offset[c];
        } else if (j == ray.segments) {
            point[c] = ray.end[c];
        } else {
            point[c] =
                ray.start[c] + span * static_cast<float>(j) / static_cast<float>(ray.segments) + offset[c];
        }
    }
}

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType ray_type = {"ray",        section_noop, section_noop,
                                     section_noop, section_noop, section_noop};

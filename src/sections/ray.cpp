// The "ray" section type.
#include "sections/ray.h"

#include <GL/gl.h>

#include <memory>

#include "base/error.h"
#include "base/random.h"
#include "resources/spline.h"
#include "script/section.h"
#include "sections/demo.h"
#include "sections/particles.h"

namespace {
// A random sign, drawn first, times a random magnitude below `modulus`, times amplitude / 1000.
double ray_random_offset(Random& random, uint32_t modulus, float amplitude) {
    const double sign = (random_next(random) & 1u) ? -1.0 : 1.0;
    const uint32_t magnitude = random_next(random) % modulus;
    return sign * magnitude * amplitude * 0.001;
}
}  // namespace

void ray_reroll(Ray& ray, Random& random) {
    for (int i = 0; i < ray.segments; ++i) {
        for (int c = 0; c < 3; ++c)
            ray.offsets[3 * i + c] = static_cast<float>(ray_random_offset(random, 1000u, ray.amplitude));
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

bool ray_reroll_due(const Ray& ray, Random& random) {
    return ray.reroll > (random_next(random) % 1000u) * 0.001;
}

void ray_jitter(Ray& ray, Random& random, int joint) {
    for (int c = 0; c < 3; ++c) {
        float& offset = ray.offsets[3 * joint + c];
        offset = static_cast<float>(offset + ray_random_offset(random, 100u, ray.amplitude));
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

void ray_check(const Section& section, const SectionTypes&, bool) {
    if (section.spline_count != 2) fatal_error("ray: two splines needed");
    if (section.param_count != 2) fatal_error("ray: two params needed");
    for (int k = 0; k < 2; ++k) {
        if (section_spline_short(section, k, RAY_CHANNELS[k])) {
            ErrorPlace place = section_at_spline(section, k);
            fatal_error("ray: spline %d needs %d channels", k, RAY_CHANNELS[k]);
        }
    }
    const int segments = truncate_to_int(section.params[1]);
    if (segments < 0 || segments > RAY_MAX_SEGMENTS) {
        ErrorPlace place = section_at_param(section, 1);
        fatal_error("ray: invalid segment count");
    }
}

namespace {

// The bolt as a run's first frame finds it: every offset 0. The amplitude is 0 until the first
// frame sets it, so every offset rolled stays 0, but the numbers are drawn all the same.
void ray_settle(Ray& ray, Random& random) {
    ray.amplitude = 0;
    ray.offsets.assign(3 * (static_cast<size_t>(ray.segments) + 1), 0.0f);
    ray_reroll(ray, random);
}

void ray_init(Section& section, Frame& f) {
    ray_check(section, f.demo.types, false);
    Ray& ray = *demo_record_new<Ray>(f.demo);
    section.data = &ray;
    ray.mode = static_cast<uint8_t>(truncate_to_int(section.params[0]));
    ray.segments = truncate_to_int(section.params[1]);
    ray_settle(ray, f.demo.random);
}

// A seek puts the bolt back as a run started there finds it, drawing what its init drew.
void ray_redraw(Section& section, Frame& f) {
    ray_settle(*static_cast<Ray*>(section.data), f.demo.random);
}

Ray& ray_at_elapsed(Section& section) {
    Ray& ray = *static_cast<Ray*>(section.data);
    float ch0[SPLINE_MAX_CHANNELS] = {}, ch1[SPLINE_MAX_CHANNELS] = {};
    spline_eval(section.splines[0], ch0, section.elapsed);
    spline_eval(section.splines[1], ch1, section.elapsed);
    ray_set_channels(ray, ch0, ch1);
    return ray;
}

// The bolts' walk draws random numbers and moves the joints: an undrawn frame walks them too.
void ray_skip(Section& section, Frame& f) {
    ray_walk(ray_at_elapsed(section), f.demo.random, [](const float*, const float*) {});
}

void ray_render(Section& section, Frame& f) {
    Ray& ray = ray_at_elapsed(section);
    const std::vector<RayPass> passes = ray_glow_passes(ray.layers);

    glDisable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_BLEND);
    ray_walk(ray, f.demo.random, [&](const float* previous, const float* point) {
        for (const RayPass& pass : passes) {
            glLineWidth(pass.width);
            glColor4f(ray.colour[0], ray.colour[1], ray.colour[2], pass.alpha);
            glBegin(GL_LINES);
            glVertex3fv(previous);
            glVertex3fv(point);
            glEnd();
        }
    });
    glLineWidth(1);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
}

}  // namespace

extern const SectionType ray_type = {"ray",        section_noop, ray_init,   section_noop, ray_render,
                                     section_noop, ray_check,    ray_redraw, ray_skip};

// The "particleMatrix" section type.
#include "sections/particle_matrix.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/error.h"
#include "gfx/free_camera.h"
#include "resources/spline.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/section_blend.h"
#include "sections/demo.h"
#include "sections/section_files.h"

std::unique_ptr<ParticleSystem> particle_matrix_system_new(int count) {
    auto system = particle_system_new(count, 1.0f);
    for (int i = 0; i < system->count; ++i) {
        system->particles[i].alive = 1;
        particle_set_color(*system, i, 1, 1, 1, 1);
        system->particles[i].texture_index = 0;
    }
    return system;
}

namespace {

// How far a sine or cosine built by angle addition may be from the library's value for the same
// angle. The library's values are within a unit in the last place (2^-53 for values up to 1) of
// the true ones, and each sum rounds two products and itself once: about 2^-50 at most, and
// 2^-48 leaves a margin over that.
constexpr double ADDED_ERROR = 0x1p-48;

// Sine and cosine of i times `angle` for i = 0 to count - 1, unless `table` already holds them for
// this angle. A library call per link would take a large part of a frame for long chains, so
// with i = start + k (start a multiple of a block of about the square root of count, k within the
// block) they come from sin(a + b) = sin a cos b + cos a sin b and cos(a + b) = cos a cos b -
// sin a sin b, with a = start times the angle and b = k times it: both are exact in double (i
// below 2^24, the angle of 24 bits), so a + b is exactly i times the angle, and the library is
// called about 2 sqrt(count) times.
void link_angles(LinkAngles& table, float angle, int count) {
    const size_t size = static_cast<size_t>(std::max(count, 1)) * 2;
    if (table.sin_cos.size() == size && table.angle == angle) return;
    table.sin_cos.resize(size);
    table.angle = angle;
    double* sc = table.sin_cos.data();
    const int block = static_cast<int>(std::sqrt(static_cast<double>(count))) + 1;
    for (int i = 0; i < std::min(block, count); ++i) {
        const double a = static_cast<double>(static_cast<float>(i)) * angle;
        sc[i * 2] = std::sin(a);
        sc[i * 2 + 1] = std::cos(a);
    }
    for (int start = block; start < count; start += block) {
        const double a = static_cast<double>(start) * angle;
        const double sa = std::sin(a), ca = std::cos(a);
        const int end = std::min(start + block, count);
        for (int i = start; i < end; ++i) {
            const double sb = sc[(i - start) * 2], cb = sc[(i - start) * 2 + 1];
            sc[i * 2] = sa * cb + ca * sb;
            sc[i * 2 + 1] = ca * cb - sa * sb;
        }
    }
    // A zero angle adds sines of 0 and cosines of 1: exact.
    table.error = count > block && angle != 0 ? ADDED_ERROR : 0;
}

// 1 when `v` rounds to the same float as every value within `off` of it (rounding is monotonic,
// so the two ends of the range tell), else 0; 0 for NaN. An int, so that the links' three
// coordinates combine without a branch each.
int rounds_alike(double v, double off) {
    const float f = static_cast<float>(v);
    return static_cast<int>(static_cast<float>(v - off) == f) &
           static_cast<int>(static_cast<float>(v + off) == f);
}

}  // namespace

void particle_matrix_place(ParticleSystem& system, const float first[3], const float shape[4],
                           const float color[4]) {
    constexpr float pi = 3.1415927f;
    const float step = shape[0];
    const float yaw = shape[1] * pi / 180.0f;
    const float pitch = shape[2] * pi / 180.0f;
    // The sines and cosines depend on the angles only, which often stay from frame to frame.
    link_angles(system.link_climb, pitch, system.count);
    link_angles(system.link_turn, yaw, system.count);
    // With sines and cosines up to `error` away from the library's, a coordinate (in double,
    // before it is rounded to float) may be off by up to (error + 2^-50) |step| + 2^-50 |v|: the
    // difference the products carry, and a few units in the last place from each rounding of the
    // product, the step and the sum. When that could change the float, the link is worked out
    // from the library's own sine and cosine, so the chain is the same as if every link were.
    // An infinite step could make NaN of one product and infinity of the other: no shortcut then.
    const double error = std::isfinite(step) ? system.link_climb.error + system.link_turn.error : INFINITY;
    const double step_off = (error + 0x1p-50) * std::fabs(static_cast<double>(step));
    const double* climb = system.link_climb.sin_cos.data();
    const double* turn = system.link_turn.sin_cos.data();
    Particle* p = system.particles.data();
    if (system.count == 0) return;
    // The last link's end stays in registers: each link starts where the last one ended.
    float qx = first[0], qy = first[1], qz = first[2];
    for (int i = 0; i < system.count; ++i) {
        if (i > 0) {
            const double* c = climb + static_cast<size_t>(i) * 2;
            const double* t = turn + static_cast<size_t>(i) * 2;
            double x = qx + c[1] * t[0] * step;
            double y = qy + c[0] * step;
            double z = qz + c[1] * t[1] * step;
            if (error != 0 && !(rounds_alike(x, step_off + 0x1p-50 * std::fabs(x)) &
                                rounds_alike(y, step_off + 0x1p-50 * std::fabs(y)) &
                                rounds_alike(z, step_off + 0x1p-50 * std::fabs(z)))) {
                // Double precision keeps long chains from drifting as i grows.
                const double u = static_cast<double>(static_cast<float>(i)) * pitch;
                const double v = static_cast<double>(static_cast<float>(i)) * yaw;
                const double cu = std::cos(u), su = std::sin(u), cv = std::cos(v), sv = std::sin(v);
                x = qx + cu * sv * step;
                y = qy + su * step;
                z = qz + cu * cv * step;
            }
            qx = static_cast<float>(x);
            qy = static_cast<float>(y);
            qz = static_cast<float>(z);
        }
        p[i].position = {qx, qy, qz};
        for (int k = 0; k < 4; ++k) p[i].color[k] = color[k];
    }
    system.size = shape[3];
}

void particle_matrix_layout(ParticleSystem& system, const Section& section, float t, int s) {
    float values[3][SPLINE_MAX_CHANNELS] = {};
    for (int k = 0; k < 3; ++k) spline_eval(section.splines[s + k], values[k], t);
    particle_matrix_place(system, values[0], values[1], values[2]);
}

void particle_matrix_check(const Section& section, const SectionTypes&, bool files) {
    // The layout reads three splines; without them it would read past the section's list.
    if (section.spline_count < 3) fatal_error("particleMatrix: three splines needed");
    for (int k = 0; k < 3; ++k) {
        if (section_spline_short(section, k, PARTICLE_MATRIX_CHANNELS[k])) {
            ErrorPlace place = section_at_spline(section, k);
            fatal_error("particleMatrix: spline %d needs %d channels", k, PARTICLE_MATRIX_CHANNELS[k]);
        }
    }
    const int count = truncate_to_int(section.params[0]);
    if (count < 0 || count > PARTICLE_MAX_COUNT) {
        ErrorPlace place = section_at_param(section, 0);
        fatal_error("particleMatrix: invalid particle count");
    }
    if (section.params[1] != 1.0f && section.params[1] != 0.0f) {
        ErrorPlace place = section_at_param(section, 1);
        fatal_error("particleMatrix: invalid modulation");
    }
    // The picture is the first string, read unchecked like every field the counts leave out.
    if (files) section_texture_check(section, 0);
}

void particle_matrix_init(Section& section, Frame& f) {
    particle_matrix_check(section, f.demo.types, false);
    const int count = truncate_to_int(section.params[0]);
    ParticleSystem& system = *demo_keep(f.demo, particle_matrix_system_new(count));
    section.data = &system;
    const int texture = section_texture_load(f.demo, section, 0);
    system.textures = {texture};
    system.texture_count = 1;
    if (section.params[1] == 1.0f) texture_set_flags(texture, TEX_MODULATE);
    particle_system_upload(system);
}

void particle_matrix_render(Section& section, Frame& f) {
    ParticleSystem& system = *static_cast<ParticleSystem*>(section.data);
    section_blend_begin(section);
    debug_axes(f.demo.settings.debug != 0);
    particle_matrix_layout(system, section, section.elapsed, 0);
    particle_system_draw(system);
    section_blend_end(section);
}

extern const SectionType particle_matrix_type = {
    "particleMatrix",       section_noop, particle_matrix_init, section_noop,
    particle_matrix_render, section_noop, particle_matrix_check};

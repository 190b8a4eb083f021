// The "particleMatrix" section type.
#include "sections/particle_matrix.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/error.h"
#include "gfx/view.h"
#include "resources/spline.h"
#include "resources/texture.h"
#include "script/section.h"
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

// Sine and cosine of i times `angle` for links i = 1 to count - 1, unless `table` already holds
// them for this angle.
void link_angles(std::vector<double>& table, float& kept, float angle, int count) {
    const size_t size = static_cast<size_t>(std::max(count, 1)) * 2;
    if (table.size() == size && kept == angle) return;
    table.assign(size, 0.0);
    kept = angle;
    for (int i = 1; i < count; ++i) {
        // Double precision keeps long chains from drifting as i grows.
        const double a = static_cast<double>(static_cast<float>(i)) * angle;
        table[static_cast<size_t>(i) * 2] = std::sin(a);
        table[static_cast<size_t>(i) * 2 + 1] = std::cos(a);
    }
}

}  // namespace

void particle_matrix_place(ParticleSystem& system, const float first[3], const float shape[4],
                           const float color[4]) {
    constexpr float pi = 3.1415927f;
    const float step = shape[0];
    const float yaw = shape[1] * pi / 180.0f;
    const float pitch = shape[2] * pi / 180.0f;
    // The sines and cosines depend on the angles only, which often stay from frame to frame.
    link_angles(system.link_climb, system.link_pitch, pitch, system.count);
    link_angles(system.link_turn, system.link_yaw, yaw, system.count);
    Particle* p = system.particles.data();
    if (system.count > 0) p[0].position = {first[0], first[1], first[2]};
    for (int i = 1; i < system.count; ++i) {
        const double* climb = &system.link_climb[static_cast<size_t>(i) * 2];
        const double* turn = &system.link_turn[static_cast<size_t>(i) * 2];
        const Vector3& q = p[i - 1].position;
        p[i].position.x = static_cast<float>(q.x + climb[1] * turn[0] * step);
        p[i].position.y = static_cast<float>(q.y + climb[0] * step);
        p[i].position.z = static_cast<float>(q.z + climb[1] * turn[1] * step);
    }
    if (system.count > 0) system.size = shape[3];
    for (int i = 0; i < system.count; ++i) {
        for (int c = 0; c < 4; ++c) p[i].color[c] = color[c];
    }
}

void particle_matrix_layout(ParticleSystem& system, float t, int s) {
    float values[3][SPLINE_MAX_CHANNELS] = {};
    for (int k = 0; k < 3; ++k) spline_eval(current_section->splines[s + k], values[k], t);
    particle_matrix_place(system, values[0], values[1], values[2]);
}

void particle_matrix_check(const Section& section, bool files) {
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

void particle_matrix_init() {
    Section& section = *current_section;
    particle_matrix_check(section, false);
    const int count = truncate_to_int(section.params[0]);
    ParticleSystem& system = *section_data_keep(particle_matrix_system_new(count));
    section.data = &system;
    const int texture = section_texture_load(section, 0);
    system.textures = {texture};
    system.texture_count = 1;
    if (section.params[1] == 1.0f) texture_set_flags(texture, TEX_MODULATE);
    particle_system_upload(system);
}

void particle_matrix_render() {
    const Section& section = *current_section;
    ParticleSystem& system = *static_cast<ParticleSystem*>(section.data);
    section_blend_begin(section);
    debug_axes();
    particle_matrix_layout(system, section.elapsed, 0);
    particle_system_draw(system);
    section_blend_end(section);
}

extern const SectionType particle_matrix_type = {
    "particleMatrix",       section_noop, particle_matrix_init, section_noop,
    particle_matrix_render, section_noop, particle_matrix_check};

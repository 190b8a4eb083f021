// The "particleMatrix" section type.
#include "sections/particle_matrix.h"

#include <cmath>

#include "script/section.h"

std::unique_ptr<ParticleSystem> particle_matrix_system_new(int count) {
    auto system = particle_system_new(count, 1.0f);
    for (int i = 0; i < system->count; ++i) {
        system->particles[i].alive = 1;
        particle_set_color(*system, i, 1, 1, 1, 1);
        system->particles[i].texture_index = 0;
    }
    return system;
}

void particle_matrix_place(ParticleSystem& system, const float first[3], const float shape[4],
                           const float color[4]) {
    constexpr float pi = 3.1415927f;
    const float step = shape[0];
    const float yaw = shape[1] * pi / 180.0f;
    const float pitch = shape[2] * pi / 180.0f;
    Particle* p = system.particles.data();
    if (system.count > 0) p[0].position = {first[0], first[1], first[2]};
    for (int i = 1; i < system.count; ++i) {
        // Double precision keeps long chains from drifting as i grows.
        const double u = static_cast<double>(static_cast<float>(i)) * pitch;
        const double v = static_cast<double>(static_cast<float>(i)) * yaw;
        const Vector3& q = p[i - 1].position;
        p[i].position.x = static_cast<float>(q.x + std::cos(u) * std::sin(v) * step);
        p[i].position.y = static_cast<float>(q.y + std::sin(u) * step);
        p[i].position.z = static_cast<float>(q.z + std::cos(u) * std::cos(v) * step);
    }
    if (system.count > 0) system.size = shape[3];
    for (int i = 0; i < system.count; ++i) {
        for (int c = 0; c < 4; ++c) p[i].color[c] = color[c];
    }
}

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType particle_matrix_type = {"particleMatrix", section_noop, section_noop,
                                                 section_noop,     section_noop, section_noop};

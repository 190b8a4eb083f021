// The "pathway" section type.
#include "sections/pathway.h"

#include "core/random.h"
#include "script/section.h"

namespace {
// A random sign, then a random magnitude below 100, scaled to steps of 0.002.
float pathway_random_acceleration() {
    const double sign = (random_next() & 1u) ? -1.0 : 1.0;
    const uint32_t magnitude = random_next() % 100u;
    return static_cast<float>(sign * magnitude * 0.002);
}
}  // namespace

void pathway_reset(ParticleSystem& system, float r, float g, float b) {
    for (int i = 0; i < system.count; ++i) {
        particle_set_color(system, i, r, g, b, 1);
        particle_set_position(system, i, 0, 0, 0);
        particle_set_velocity(system, i, 0, 0, 0);
        const float z = pathway_random_acceleration();
        const float y = pathway_random_acceleration();
        const float x = pathway_random_acceleration();
        particle_set_acceleration(system, i, x, y, z);
        Particle& p = system.particles[i];
        p.alive = 0;
        p.life = PATHWAY_LIFE;
        p.texture_index = 0;
    }
}

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType pathway_type = {"pathway",    section_noop, section_noop,
                                         section_noop, section_noop, section_noop};

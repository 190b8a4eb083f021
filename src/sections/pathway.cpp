// The "pathway" section type.
#include "sections/pathway.h"

#include <GL/gl.h>

#include <vector>

#include "base/error.h"
#include "base/random.h"
#include "gfx/free_camera.h"
#include "resources/spline.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/demo.h"
#include "sections/section_files.h"

namespace {
// A random sign, then a random magnitude below 100, scaled to steps of 0.002.
float pathway_random_acceleration(Random& random) {
    const double sign = (random_next(random) & 1u) ? -1.0 : 1.0;
    const uint32_t magnitude = random_next(random) % 100u;
    return static_cast<float>(sign * magnitude * 0.002);
}
}  // namespace

void pathway_reset(ParticleSystem& system, Random& random, float r, float g, float b) {
    for (int i = 0; i < system.count; ++i) {
        particle_set_color(system, i, r, g, b, 1);
        particle_set_position(system, i, 0, 0, 0);
        particle_set_velocity(system, i, 0, 0, 0);
        const float z = pathway_random_acceleration(random);
        const float y = pathway_random_acceleration(random);
        const float x = pathway_random_acceleration(random);
        particle_set_acceleration(system, i, x, y, z);
        Particle& p = system.particles[i];
        p.alive = 0;
        p.life = PATHWAY_LIFE;
        p.texture_index = 0;
    }
}

void pathway_check(const Section& section, const SectionTypes&, bool files) {
    if (section.param_count != 5) fatal_error("pathway: five floats needed");
    const float rate = section.params[0];
    if (!(rate > 0)) {
        ErrorPlace place = section_at_param(section, 0);
        fatal_error("pathway: rate must be greater than 0");
    }
    if (section.string_count < 1) fatal_error("pathway: one string needed");
    if (section.spline_count < 1) fatal_error("pathway: one spline needed");
    if (section_spline_short(section, 0, 3)) {
        ErrorPlace place = section_at_spline(section, 0);
        fatal_error("pathway: spline 0 needs 3 channels");
    }
    const float count = (section.end - section.start) * rate;
    if (!(count <= static_cast<float>(PARTICLE_MAX_COUNT))) {
        ErrorPlace place = section_at_param(section, 0);
        fatal_error("pathway: too many particles");
    }
    if (files) section_texture_check(section, 0);
}

void pathway_init(Section& section, Frame& f) {
    pathway_check(section, f.demo.types, false);
    const float count = (section.end - section.start) * section.params[0];

    Pathway& pathway = *demo_record_new<Pathway>(f.demo);
    section.data = &pathway;
    pathway.texture = section_texture_load(f.demo, section, 0);
    texture_set_flags(pathway.texture, TEX_MODULATE);
    texture_upload(pathway.texture);
    pathway.last_time = 0;
    pathway.system = particle_system_new(truncate_to_int(count), section.params[1]);
    pathway.system->textures = {pathway.texture};
    pathway.system->texture_count = 1;
}

void pathway_start(Section& section, Frame& f) {
    Pathway& pathway = *static_cast<Pathway*>(section.data);
    pathway.last_time = 0;
    pathway_reset(*pathway.system, f.demo.random, section.params[2], section.params[3], section.params[4]);
}

void pathway_render(Section& section, Frame& f) {
    Pathway& pathway = *static_cast<Pathway*>(section.data);
    const Spline* path = section.splines[0];
    pathway_emit(pathway, section.elapsed, section.params[0], [path](float t, float out[3]) {
        float values[SPLINE_MAX_CHANNELS] = {};
        spline_eval(path, values, t);
        for (int c = 0; c < 3; ++c) out[c] = values[c];
    });
    debug_axes(f.demo.settings.debug != 0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    particle_system_update(*pathway.system, section.elapsed - pathway.last_time);
    particle_system_draw(*pathway.system);
    pathway.last_time = section.elapsed;
    glDisable(GL_BLEND);
    glPopMatrix();
}

extern const SectionType pathway_type = {"pathway",      section_noop, pathway_init, pathway_start,
                                         pathway_render, section_noop, pathway_check};

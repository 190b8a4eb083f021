// The pathway section: a trail of sprites born at a fixed rate along a spline path, each at the
// place the path had at its birth time, drifting under a small random acceleration of its own.
#pragma once

#include <memory>

#include "base/random.h"
#include "sections/particles.h"

struct Frame;
struct Section;

struct Pathway {
    float point[3] = {};  // the latest sampled path position
    int texture = -1;
    float last_time = 0;  // Section.elapsed at the previous frame
    std::unique_ptr<ParticleSystem> system;
};

// Life given to every particle at the start: longer than any ordinary section.
inline constexpr float PATHWAY_LIFE = 1000.0f;

// The start of a pass: every particle back at the origin, at rest, not alive, with the given
// colour, full alpha, and a fresh random acceleration (drawn z first, then y, then x).
void pathway_reset(ParticleSystem& system, Random& random, float r, float g, float b);

// The emission walk: particle i is born at time i / rate at the path's position for that time.
// The walk starts from particle 0 every frame and stops at the first birth time past `elapsed`.
// `path(t, out)` writes the path's x, y, z at t seconds into out.
template <typename Path>
void pathway_emit(Pathway& pathway, float elapsed, float rate, Path&& path) {
    if (elapsed < 0) return;
    ParticleSystem& system = *pathway.system;
    float birth = 0;
    for (int i = 0; i < system.count; ++i) {
        path(birth, pathway.point);
        Particle& p = system.particles[i];
        if (!p.alive) {
            p.alive = 1;
            particle_set_position(system, i, pathway.point[0], pathway.point[1], pathway.point[2]);
        }
        birth += 1.0f / rate;
        if (birth > elapsed) break;
    }
}

void pathway_init(Section& s, Frame& f);
void pathway_start(Section& s, Frame& f);
void pathway_render(Section& s, Frame& f);

// The particleMatrix section: a chain of sprites that winds through space, its shape, sprite
// size and colour driven by three splines.
#pragma once

#include "sections/particles.h"

struct Frame;
struct Section;

// Channels each of the three splines needs, in order: first position; step, turn, climb and
// sprite half-size; colour.
inline constexpr int PARTICLE_MATRIX_CHANNELS[3] = {3, 4, 4};

// A system of `count` particles, all alive, white, on texture 0, half-size 1.
std::unique_ptr<ParticleSystem> particle_matrix_system_new(int count);

// Lays the chain out from evaluated spline values: first = position of particle 0 (3 values),
// shape = step length, turn and climb per step in degrees, sprite half-size (4 values),
// color = r, g, b, a (4 values).
void particle_matrix_place(ParticleSystem& system, const float first[3], const float shape[4],
                           const float color[4]);

// Evaluates the section's splines s, s + 1 and s + 2 at t and lays the chain out.
void particle_matrix_layout(ParticleSystem& system, const Section& section, float t, int s);

void particle_matrix_init(Section& s, Frame& f);
void particle_matrix_render(Section& s, Frame& f);

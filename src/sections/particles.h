// The particle system shared by particleMatrix and pathway: a fixed array of sprites, each with
// position, motion, life and colour, moved by a simple Euler step and drawn as camera-facing quads.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "gfx/vector3.h"

struct Particle {
    int32_t alive = 0;  // non-zero: drawn and updated
    int32_t texture_index = 0;
    Vector3 position;
    Vector3 velocity;      // units per second
    Vector3 acceleration;  // units per second squared
    float life = 0;        // seconds left
    float color[4] = {};   // r, g, b, a
};

// The sine and cosine of i times an angle for every link i of a particleMatrix chain, the angle
// (radians) they were worked out for, and how far any of them may be from the maths library's
// own sine and cosine of that multiple (0: they are the library's values).
struct LinkAngles {
    std::vector<double> sin_cos;  // link i: sine at 2i, cosine at 2i + 1
    float angle = 0;
    double error = 0;
};

struct ParticleSystem {
    std::vector<Particle> particles;  // `count` records, zero-filled at creation
    int count = 0;
    std::vector<int> textures;  // texture handles, filled by the owner
    int texture_count = 0;
    float size = 0;  // sprite half-size in world units
    // particleMatrix: sine and cosine of every link's turn and of its climb, each kept while its
    // angle per link stays.
    LinkAngles link_turn;
    LinkAngles link_climb;
};

// Most particles one system may hold; larger requests are refused by the owning sections.
inline constexpr int PARTICLE_MAX_COUNT = 1 << 20;

// `count` zero-filled particles (none alive; a negative count gives none) with the given half-size.
std::unique_ptr<ParticleSystem> particle_system_new(int count, float size);

void particle_set_position(ParticleSystem& system, int i, float x, float y, float z);
void particle_set_velocity(ParticleSystem& system, int i, float x, float y, float z);
void particle_set_acceleration(ParticleSystem& system, int i, float x, float y, float z);
void particle_set_color(ParticleSystem& system, int i, float r, float g, float b, float a);

// Advances every alive particle by dt seconds: position with the old velocity, then velocity,
// then life (below 0: no longer alive), then alpha -= dt / the new life.
void particle_system_update(ParticleSystem& system, float dt);

// The camera's right and up directions in world space, read from a column-major modelview
// matrix and scaled to the sprite half-size.
void particle_sprite_axes(const float modelview[16], float size, Vector3& right, Vector3& up);

// The four corners of a sprite centred on p, in drawing order, with texture coordinates
// (0, 0), (1, 0), (1, 1), (0, 1). Inline: the draw calls it for every sprite, every frame.
inline void particle_sprite_corners(const Vector3& p, const Vector3& right, const Vector3& up,
                                    Vector3 corners[4]) {
    corners[0] = {p.x - right.x + up.x, p.y - right.y + up.y, p.z - right.z + up.z};
    corners[1] = {p.x + right.x + up.x, p.y + right.y + up.y, p.z + right.z + up.z};
    corners[2] = {p.x + right.x - up.x, p.y + right.y - up.y, p.z + right.z - up.z};
    corners[3] = {p.x - right.x - up.x, p.y - right.y - up.y, p.z - right.z - up.z};
}

// GL side: uploads the system's textures, and draws every alive particle under the current
// matrices without writing depth, rebinding only when the texture changes along the array.
void particle_system_upload(const ParticleSystem& system);
void particle_system_draw(const ParticleSystem& system);

// Float to int, truncated toward zero, with NaN read as 0 and values out of range held at the
// int limits (a plain conversion of such values is undefined).
int truncate_to_int(float value);

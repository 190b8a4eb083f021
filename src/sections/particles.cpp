// The particle system: records, the update step and the sprite geometry.
#include "sections/particles.h"

#include <GL/gl.h>

#include <cmath>
#include <limits>

#include "resources/texture.h"

std::unique_ptr<ParticleSystem> particle_system_new(int count, float size) {
    auto system = std::make_unique<ParticleSystem>();
    if (count < 0) count = 0;
    system->particles.resize(static_cast<size_t>(count));
    system->count = count;
    system->size = size;
    return system;
}

void particle_set_position(ParticleSystem& system, int i, float x, float y, float z) {
    system.particles[i].position = {x, y, z};
}

void particle_set_velocity(ParticleSystem& system, int i, float x, float y, float z) {
    system.particles[i].velocity = {x, y, z};
}

void particle_set_acceleration(ParticleSystem& system, int i, float x, float y, float z) {
    system.particles[i].acceleration = {x, y, z};
}

void particle_set_color(ParticleSystem& system, int i, float r, float g, float b, float a) {
    float* c = system.particles[i].color;
    c[0] = r;
    c[1] = g;
    c[2] = b;
    c[3] = a;
}

void particle_system_update(ParticleSystem& system, float dt) {
    for (Particle& p : system.particles) {
        if (!p.alive) continue;
        p.position.x += p.velocity.x * dt;
        p.position.y += p.velocity.y * dt;
        p.position.z += p.velocity.z * dt;
        p.velocity.x += p.acceleration.x * dt;
        p.velocity.y += p.acceleration.y * dt;
        p.velocity.z += p.acceleration.z * dt;
        p.life -= dt;
        if (p.life < 0) p.alive = 0;
        // The fade divides by the life left; a life of exactly 0 is the end of the fade (the
        // limit of the division), not an infinity or a NaN handed on to GL.
        if (p.life == 0) {
            p.color[3] = 0;
        } else {
            p.color[3] -= dt / p.life;
        }
    }
}

void particle_sprite_axes(const float m[16], float size, Vector3& right, Vector3& up) {
    right = {m[0] * size, m[4] * size, m[8] * size};
    up = {m[1] * size, m[5] * size, m[9] * size};
}

void particle_system_upload(const ParticleSystem& system) {
    for (int i = 0; i < system.texture_count; ++i) texture_upload(system.textures[i]);
}

void particle_system_draw(const ParticleSystem& system) {
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    Vector3 right, up, corners[4];
    particle_sprite_axes(m, system.size, right, up);
    static constexpr float tex[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};

    glDepthMask(GL_FALSE);
    glBegin(GL_QUADS);
    int last_texture = -1;
    for (const Particle& p : system.particles) {
        if (!p.alive) continue;
        if (p.texture_index < 0 || p.texture_index >= system.texture_count) continue;
        const int handle = system.textures[p.texture_index];
        if (handle != last_texture) {
            glEnd();
            texture_bind(handle);
            glBegin(GL_QUADS);
            last_texture = handle;
        }
        glColor4fv(p.color);
        particle_sprite_corners(p.position, right, up, corners);
        for (int k = 0; k < 4; ++k) {
            glTexCoord2f(tex[k][0], tex[k][1]);
            glVertex3fv(&corners[k].x);
        }
    }
    glEnd();
    glDepthMask(GL_TRUE);
}

int truncate_to_int(float value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0f) return std::numeric_limits<int>::max();
    if (value <= -2147483648.0f) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

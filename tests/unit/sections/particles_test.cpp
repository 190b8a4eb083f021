#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "sections/particles.h"

TEST(ParticleSystem, NewHoldsZeroFilledDeadParticles) {
    auto system = particle_system_new(3, 0.5f);
    ASSERT_EQ(system->count, 3);
    ASSERT_EQ(system->particles.size(), 3u);
    EXPECT_EQ(system->size, 0.5f);
    EXPECT_EQ(system->texture_count, 0);
    for (const Particle& p : system->particles) {
        EXPECT_EQ(p.alive, 0);
        EXPECT_EQ(p.life, 0);
        EXPECT_EQ(p.color[3], 0);
    }
    EXPECT_EQ(particle_system_new(-4, 1)->count, 0);
    EXPECT_TRUE(particle_system_new(-4, 1)->particles.empty());
}

TEST(ParticleSystem, UpdateMovesWithTheOldVelocityThenAgesAndFades) {
    auto system = particle_system_new(2, 1);
    particle_set_position(*system, 0, 1, 2, 3);
    particle_set_velocity(*system, 0, 1, 0, 0);
    particle_set_acceleration(*system, 0, 0, 2, 0);
    particle_set_color(*system, 0, 1, 1, 1, 1);
    Particle& p = system->particles[0];
    p.alive = 1;
    p.life = 0.5f;
    // Particle 1 is not alive: the step leaves it alone.
    particle_set_velocity(*system, 1, 5, 5, 5);
    system->particles[1].life = 3;

    particle_system_update(*system, 0.75f);

    EXPECT_FLOAT_EQ(p.position.x, 1.75f);  // old velocity
    EXPECT_FLOAT_EQ(p.position.y, 2.0f);   // the acceleration has not reached the position yet
    EXPECT_FLOAT_EQ(p.velocity.y, 1.5f);
    EXPECT_FLOAT_EQ(p.life, -0.25f);
    EXPECT_EQ(p.alive, 0);
    // Divided by the new life, -0.25: the alpha rises by 4 x dt.
    EXPECT_FLOAT_EQ(p.color[3], 1 + 4 * 0.75f);

    const Particle& q = system->particles[1];
    EXPECT_EQ(q.position.x, 0);
    EXPECT_EQ(q.life, 3);
}

TEST(ParticleSystem, LifeReachingExactlyZeroLeavesAFiniteTransparentSprite) {
    auto system = particle_system_new(1, 1);
    Particle& p = system->particles[0];
    p.alive = 1;
    p.life = 0.5f;
    p.color[3] = 0.8f;
    particle_system_update(*system, 0.5f);
    EXPECT_EQ(p.life, 0);
    EXPECT_EQ(p.alive, 1);  // only a life below 0 ends it
    EXPECT_TRUE(std::isfinite(p.color[3]));
    EXPECT_EQ(p.color[3], 0);
    // A frame that does not move time (0 / 0) stays finite too.
    particle_system_update(*system, 0);
    EXPECT_TRUE(std::isfinite(p.color[3]));
    // The next real step ends it.
    particle_system_update(*system, 0.1f);
    EXPECT_EQ(p.alive, 0);
    EXPECT_TRUE(std::isfinite(p.color[3]));
}

TEST(ParticleSystem, SpritesFaceTheViewer) {
    // A modelview turning the world 30 degrees about a tilted axis, then moving it: the rotation
    // part R is what the sprite axes come from.
    const float c = std::cos(0.5235988f), s = std::sin(0.5235988f);
    // Rotation about x by 30 degrees, then about y by 30 degrees: R = Ry * Rx, column-major.
    float R[3][3] = {{c, s * s, -s * c}, {0, c, s}, {s, -c * s, c * c}};  // R[col][row]
    float m[16] = {};
    for (int col = 0; col < 3; ++col)
        for (int row = 0; row < 3; ++row) m[col * 4 + row] = R[col][row];
    m[12] = 4;
    m[13] = -2;
    m[14] = -7;
    m[15] = 1;

    Vector3 right, up, corners[4];
    particle_sprite_axes(m, 0.25f, right, up);
    const Vector3 p{1, 2, 3};
    particle_sprite_corners(p, right, up, corners);

    // In eye space each corner is offset from the centre by (-+0.25, +-0.25, 0), in the order
    // top left, top right, bottom right, bottom left.
    const float expected[4][2] = {{-0.25f, 0.25f}, {0.25f, 0.25f}, {0.25f, -0.25f}, {-0.25f, -0.25f}};
    for (int k = 0; k < 4; ++k) {
        const float d[3] = {corners[k].x - p.x, corners[k].y - p.y, corners[k].z - p.z};
        float eye[3] = {};
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col) eye[row] += R[col][row] * d[col];
        EXPECT_NEAR(eye[0], expected[k][0], 1e-6) << "corner " << k;
        EXPECT_NEAR(eye[1], expected[k][1], 1e-6) << "corner " << k;
        EXPECT_NEAR(eye[2], 0, 1e-6) << "corner " << k;
    }
}

TEST(ParticleSystem, TruncationIsSafeForEveryFloat) {
    EXPECT_EQ(truncate_to_int(7.9f), 7);
    EXPECT_EQ(truncate_to_int(-7.9f), -7);
    EXPECT_EQ(truncate_to_int(0.9f), 0);
    EXPECT_EQ(truncate_to_int(NAN), 0);
    EXPECT_EQ(truncate_to_int(1e20f), INT_MAX);
    EXPECT_EQ(truncate_to_int(-INFINITY), INT_MIN);
}

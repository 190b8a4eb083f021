#include <gtest/gtest.h>

#include <cmath>

#include "sections/particle_matrix.h"

namespace {
float distance(const Vector3& a, const Vector3& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

const float FIRST[3] = {1, 2, 3};
const float WHITE[4] = {1, 1, 1, 1};
}  // namespace

TEST(ParticleMatrixLayout, OneParticleSitsAtTheFirstPositionWithTheSplineSize) {
    auto system = particle_matrix_system_new(1);
    const float shape[4] = {5, 10, 20, 0.75f};
    particle_matrix_place(*system, FIRST, shape, WHITE);
    EXPECT_EQ(system->particles[0].alive, 1);
    EXPECT_EQ(system->particles[0].position.x, 1);
    EXPECT_EQ(system->particles[0].position.y, 2);
    EXPECT_EQ(system->particles[0].position.z, 3);
    EXPECT_EQ(system->size, 0.75f);
}

TEST(ParticleMatrixLayout, ZeroTurnsGiveAStraightLineAlongZ) {
    auto system = particle_matrix_system_new(6);
    const float shape[4] = {1, 0, 0, 0.2f};
    particle_matrix_place(*system, FIRST, shape, WHITE);
    for (int i = 0; i < 6; ++i) {
        const Vector3& q = system->particles[i].position;
        EXPECT_FLOAT_EQ(q.x, 1);
        EXPECT_FLOAT_EQ(q.y, 2);
        EXPECT_FLOAT_EQ(q.z, 3.0f + i);
    }
    EXPECT_EQ(system->size, 0.2f);
}

TEST(ParticleMatrixLayout, TurningThirtySixDegreesMakesADecagon) {
    auto system = particle_matrix_system_new(11);
    const float shape[4] = {1, 36, 0, 1};
    particle_matrix_place(*system, FIRST, shape, WHITE);
    const auto& p = system->particles;
    Vector3 centre;
    for (int i = 0; i < 10; ++i) {
        centre.x += p[i].position.x / 10;
        centre.y += p[i].position.y / 10;
        centre.z += p[i].position.z / 10;
    }
    // A regular decagon of side 1 has a circumradius of 1 / (2 sin 18 degrees).
    const float radius = 1.0f / (2.0f * std::sin(0.31415927f));
    for (int i = 0; i < 10; ++i) {
        EXPECT_NEAR(distance(p[i].position, p[i + 1].position), 1, 1e-5);
        EXPECT_NEAR(distance(p[i].position, centre), radius, 1e-4);
        EXPECT_FLOAT_EQ(p[i].position.y, 2);
    }
    EXPECT_NEAR(distance(p[10].position, p[0].position), 0, 1e-5);
}

TEST(ParticleMatrixLayout, LinksTurnAndClimbStepByStep) {
    // A quarter turn per link: link 1 heads along +x, link 2 along -z, link 3 along -x.
    auto system = particle_matrix_system_new(4);
    const float turn[4] = {2, 90, 0, 1};
    particle_matrix_place(*system, FIRST, turn, WHITE);
    const auto& p = system->particles;
    EXPECT_NEAR(p[1].position.x - p[0].position.x, 2, 1e-5);
    EXPECT_NEAR(p[1].position.z - p[0].position.z, 0, 1e-5);
    EXPECT_NEAR(p[2].position.z - p[1].position.z, -2, 1e-5);
    EXPECT_NEAR(p[3].position.x - p[2].position.x, -2, 1e-5);

    // A climb of 90 degrees points link 1 straight up and link 2 straight down again.
    const float climb[4] = {2, 0, 90, 1};
    particle_matrix_place(*system, FIRST, climb, WHITE);
    EXPECT_NEAR(p[1].position.y - p[0].position.y, 2, 1e-5);
    EXPECT_NEAR(p[1].position.z - p[0].position.z, 0, 1e-5);
    EXPECT_NEAR(p[2].position.y - p[1].position.y, 0, 1e-5);
    EXPECT_NEAR(p[2].position.z - p[1].position.z, -2, 1e-5);
}

TEST(ParticleMatrixLayout, ASpiralClimbsBySteadySteps) {
    // Turning 36 and climbing 10 degrees per link: every link keeps its length, and link 9 has
    // climbed 90 degrees, pointing straight up.
    auto system = particle_matrix_system_new(12);
    const float shape[4] = {1.5f, 36, 10, 1};
    particle_matrix_place(*system, FIRST, shape, WHITE);
    const auto& p = system->particles;
    for (int i = 0; i < 11; ++i) EXPECT_NEAR(distance(p[i].position, p[i + 1].position), 1.5, 1e-5);
    EXPECT_NEAR(p[9].position.y - p[8].position.y, 1.5, 1e-5);
    EXPECT_NEAR(p[9].position.x - p[8].position.x, 0, 1e-5);
    EXPECT_NEAR(p[9].position.z - p[8].position.z, 0, 1e-5);
    for (int i = 1; i < 9; ++i)
        EXPECT_GT(p[i + 1].position.y - p[i].position.y, p[i].position.y - p[i - 1].position.y);
}

TEST(ParticleMatrixLayout, LongChainsStillCloseOnThemselves) {
    auto system = particle_matrix_system_new(10001);
    const float shape[4] = {0.5f, 36, 0, 1};
    particle_matrix_place(*system, FIRST, shape, WHITE);
    const auto& p = system->particles;
    for (int i = 0; i < 10000; i += 997) EXPECT_NEAR(distance(p[i].position, p[i + 1].position), 0.5, 1e-4);
    // Ten thousand links later the decagon still closes on particle 0.
    EXPECT_NEAR(distance(p[10000].position, p[0].position), 0, 2e-3);
}

TEST(ParticleMatrixLayout, EveryParticleTakesTheColourAndAnEmptySystemIsLeftAlone) {
    auto system = particle_matrix_system_new(3);
    const float shape[4] = {1, 0, 0, 1};
    const float colour[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    particle_matrix_place(*system, FIRST, shape, colour);
    for (const Particle& q : system->particles) {
        for (int c = 0; c < 4; ++c) EXPECT_EQ(q.color[c], colour[c]);
    }
    auto empty = particle_matrix_system_new(0);
    empty->size = 1.0f;
    const float big[4] = {1, 0, 0, 9};
    particle_matrix_place(*empty, FIRST, big, colour);
    EXPECT_EQ(empty->size, 1.0f);
}

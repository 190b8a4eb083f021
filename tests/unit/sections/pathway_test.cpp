#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/random.h"
#include "sections/pathway.h"

namespace {
// A path that is easy to recognise: x = t, y = 2t, z = -t; it counts its evaluations.
struct LinePath {
    int calls = 0;
    void operator()(float t, float out[3]) {
        ++calls;
        out[0] = t;
        out[1] = 2 * t;
        out[2] = -t;
    }
};

Pathway make_pathway(float rate, float seconds) {
    Pathway pathway;
    pathway.system = particle_system_new(static_cast<int>(seconds * rate), 0.1f);
    random_seed(0, 0);
    pathway_reset(*pathway.system, 0.5f, 0.25f, 1);
    return pathway;
}

int alive_count(const ParticleSystem& system) {
    int n = 0;
    for (const Particle& p : system.particles) n += p.alive ? 1 : 0;
    return n;
}

float acceleration_from(uint32_t sign_draw, uint32_t magnitude_draw) {
    return static_cast<float>((sign_draw & 1u ? -1.0 : 1.0) * (magnitude_draw % 100u) * 0.002);
}
}  // namespace

TEST(PathwayEmission, BirthsFollowTheRate) {
    Pathway pathway = make_pathway(10, 5);
    ASSERT_EQ(pathway.system->count, 50);
    EXPECT_EQ(alive_count(*pathway.system), 0);

    LinePath path;
    pathway_emit(pathway, 0, 10, path);
    EXPECT_EQ(alive_count(*pathway.system), 1);
    EXPECT_EQ(pathway.system->particles[0].alive, 1);

    pathway_emit(pathway, 0.25f, 10, path);
    EXPECT_EQ(alive_count(*pathway.system), 3);
    // Each at the place the path had at its own birth time (0, 0.1, 0.2), not the current one.
    for (int i = 0; i < 3; ++i) {
        const Vector3& p = pathway.system->particles[i].position;
        EXPECT_NEAR(p.x, 0.1f * i, 1e-6);
        EXPECT_NEAR(p.y, 0.2f * i, 1e-6);
        EXPECT_NEAR(p.z, -0.1f * i, 1e-6);
    }
    EXPECT_NEAR(pathway.point[0], 0.2f, 1e-6);

    // Far past the end: all 50 and no 51st.
    path.calls = 0;
    pathway_emit(pathway, 100, 10, path);
    EXPECT_EQ(alive_count(*pathway.system), 50);
    EXPECT_EQ(path.calls, 50);
    EXPECT_NEAR(pathway.system->particles[49].position.x, 4.9f, 1e-4);
}

TEST(PathwayEmission, BornParticlesAreNotPutBackAndNegativeTimesEmitNothing) {
    Pathway pathway = make_pathway(4, 2);
    LinePath path;
    pathway_emit(pathway, -0.5f, 4, path);
    EXPECT_EQ(path.calls, 0);
    EXPECT_EQ(alive_count(*pathway.system), 0);

    pathway_emit(pathway, 0.3f, 4, path);  // births at 0 and 0.25
    EXPECT_EQ(alive_count(*pathway.system), 2);
    particle_set_velocity(*pathway.system, 0, 1, 0, 0);
    particle_system_update(*pathway.system, 1);
    const float moved = pathway.system->particles[0].position.x;
    EXPECT_NEAR(moved, 1, 1e-6);
    pathway_emit(pathway, 0.6f, 4, path);
    EXPECT_EQ(pathway.system->particles[0].position.x, moved);
    EXPECT_EQ(alive_count(*pathway.system), 3);
}

TEST(PathwayStart, ResetDrawsAccelerationsZThenYThenX) {
    random_seed(0, 0);
    std::vector<uint32_t> draws(12);
    for (auto& d : draws) d = random_next();

    Pathway pathway = make_pathway(1, 3);
    const auto& p = pathway.system->particles;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(p[i].acceleration.z, acceleration_from(draws[6 * i], draws[6 * i + 1])) << i;
        EXPECT_EQ(p[i].acceleration.y, acceleration_from(draws[6 * i + 2], draws[6 * i + 3])) << i;
        EXPECT_EQ(p[i].acceleration.x, acceleration_from(draws[6 * i + 4], draws[6 * i + 5])) << i;
    }
    for (const Particle& q : p) {
        EXPECT_EQ(q.alive, 0);
        EXPECT_EQ(q.life, PATHWAY_LIFE);
        EXPECT_EQ(q.texture_index, 0);
        EXPECT_EQ(q.color[0], 0.5f);
        EXPECT_EQ(q.color[1], 0.25f);
        EXPECT_EQ(q.color[2], 1.0f);
        EXPECT_EQ(q.color[3], 1.0f);
        for (float a : {q.acceleration.x, q.acceleration.y, q.acceleration.z}) {
            EXPECT_LE(std::abs(a), 0.198f + 1e-6f);
            EXPECT_NEAR(a / 0.002f, std::round(a / 0.002f), 1e-3);
        }
    }
}

TEST(PathwayStart, ASecondPassLooksLikeTheFirst) {
    Pathway pathway = make_pathway(8, 2);
    LinePath path;
    pathway_emit(pathway, 0.5f, 8, path);
    particle_system_update(*pathway.system, 0.5f);
    const std::vector<Particle> first = pathway.system->particles;

    // The loop restart reseeds the generator, then the start resets the particles.
    random_seed(0, 0);
    pathway_reset(*pathway.system, 0.5f, 0.25f, 1);
    EXPECT_EQ(alive_count(*pathway.system), 0);
    EXPECT_EQ(pathway.system->particles[0].position.x, 0);
    pathway_emit(pathway, 0.5f, 8, path);
    particle_system_update(*pathway.system, 0.5f);
    for (size_t i = 0; i < first.size(); ++i) {
        const Particle& a = first[i];
        const Particle& b = pathway.system->particles[i];
        EXPECT_EQ(a.alive, b.alive);
        EXPECT_EQ(a.position.x, b.position.x);
        EXPECT_EQ(a.position.z, b.position.z);
        EXPECT_EQ(a.velocity.y, b.velocity.y);
        EXPECT_EQ(a.color[3], b.color[3]);
    }
}

// The particle sections' pure logic: the shared particle step and sprites, the particleMatrix
// chain, the particleTex picture and the pathway's emission.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "core/random.h"
#include "media_files.h"
#include "resources/texture.h"
#include "sections/particle_matrix.h"
#include "sections/particle_tex.h"
#include "sections/particles.h"
#include "sections/pathway.h"
#include "test_support.h"

namespace {

float distance(const Vector3& a, const Vector3& b) {
    return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z);
}

int alive_count(const ParticleSystem& system) {
    int n = 0;
    for (const Particle& p : system.particles) n += p.alive ? 1 : 0;
    return n;
}

// A packed shape image from its bytes, row by row.
struct Shape {
    std::vector<uint8_t> bytes;
    ShapePixels pixels;
    Shape(int width, int height, int bytes_per_pixel, int pitch, std::vector<uint8_t> data)
        : bytes(std::move(data)) {
        pixels.pixels = bytes.data();
        pixels.width = width;
        pixels.height = height;
        pixels.pitch = pitch;
        pixels.bytes_per_pixel = bytes_per_pixel;
    }
};

// The path x = t, y = 2t, z = -t, counting its evaluations.
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

}  // namespace

TEST(ParticleSystem, AStepMovesWithTheOldVelocityThenAgesAndFadesOnlyLiveParticles) {
    auto system = particle_system_new(2, 1);
    particle_set_position(*system, 0, 1, 2, 3);
    particle_set_velocity(*system, 0, 1, 0, 0);
    particle_set_acceleration(*system, 0, 0, 2, 0);
    particle_set_color(*system, 0, 1, 1, 1, 1);
    Particle& p = system->particles[0];
    p.alive = 1;
    p.life = 0.5f;
    particle_set_velocity(*system, 1, 5, 5, 5);  // not alive: left alone
    system->particles[1].life = 3;

    particle_system_update(*system, 0.75f);
    EXPECT_FLOAT_EQ(p.position.x, 1.75f);
    EXPECT_FLOAT_EQ(p.position.y, 2.0f);  // the acceleration reaches the velocity first
    EXPECT_FLOAT_EQ(p.velocity.y, 1.5f);
    EXPECT_FLOAT_EQ(p.life, -0.25f);
    EXPECT_EQ(p.alive, 0);
    EXPECT_FLOAT_EQ(p.color[3], 1 + 4 * 0.75f);  // alpha -= dt / life, with the new life -0.25
    EXPECT_EQ(system->particles[1].position.x, 0);
    EXPECT_EQ(system->particles[1].life, 3);
    EXPECT_TRUE(particle_system_new(-4, 1)->particles.empty());
}

TEST(ParticleSystem, LifeReachingExactlyZeroLeavesAFiniteTransparentSprite) {
    auto system = particle_system_new(1, 1);
    Particle& p = system->particles[0];
    p.alive = 1;
    p.life = 0.5f;
    p.color[3] = 0.8f;
    particle_system_update(*system, 0.5f);
    EXPECT_EQ(p.alive, 1);  // only a life below 0 ends it
    EXPECT_EQ(p.color[3], 0);
    particle_system_update(*system, 0);  // 0 / 0
    EXPECT_TRUE(std::isfinite(p.color[3]));
    particle_system_update(*system, 0.1f);
    EXPECT_EQ(p.alive, 0);
    EXPECT_TRUE(std::isfinite(p.color[3]));
}

TEST(ParticleSystem, SpritesFaceTheViewer) {
    // The modelview turns 30 degrees about x, then 30 about y (R = Ry Rx), then moves the world.
    const float c = std::cos(0.5235988f), s = std::sin(0.5235988f);
    const float R[3][3] = {{c, s * s, -s * c}, {0, c, s}, {s, -c * s, c * c}};  // R[column][row]
    float m[16] = {};
    for (int col = 0; col < 3; ++col)
        for (int row = 0; row < 3; ++row) m[col * 4 + row] = R[col][row];
    m[12] = 4, m[13] = -2, m[14] = -7, m[15] = 1;
    Vector3 right, up, corners[4];
    particle_sprite_axes(m, 0.25f, right, up);
    const Vector3 p{1, 2, 3};
    particle_sprite_corners(p, right, up, corners);
    // In eye space: top left, top right, bottom right, bottom left, 0.25 from the centre.
    const float expected[4][2] = {{-0.25f, 0.25f}, {0.25f, 0.25f}, {0.25f, -0.25f}, {-0.25f, -0.25f}};
    for (int k = 0; k < 4; ++k) {
        const float d[3] = {corners[k].x - p.x, corners[k].y - p.y, corners[k].z - p.z};
        float eye[3] = {};
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col) eye[row] += R[col][row] * d[col];
        EXPECT_NEAR(eye[0], expected[k][0], 1e-6) << k;
        EXPECT_NEAR(eye[1], expected[k][1], 1e-6) << k;
        EXPECT_NEAR(eye[2], 0, 1e-6) << k;
    }
}

TEST(ParticleSystem, TruncationIsSafeForEveryFloat) {
    const std::pair<float, int> cases[] = {{7.9f, 7}, {-7.9f, -7},      {0.9f, 0},
                                           {NAN, 0},  {1e20f, INT_MAX}, {-INFINITY, INT_MIN}};
    for (auto [in, out] : cases) EXPECT_EQ(truncate_to_int(in), out) << in;
}

// Each link has the given length and turns and climbs by the given angles from the last one.
TEST(ParticleMatrix, LinksTurnAndClimbStepByStep) {
    const float first[3] = {1, 2, 3}, colour[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    const struct {
        const char* what;
        float shape[4];
        Vector3 links[3];  // the first three steps
    } cases[] = {
        {"straight", {1, 0, 0, 0.2f}, {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}},
        {"quarter turns", {2, 90, 0, 1}, {{2, 0, 0}, {0, 0, -2}, {-2, 0, 0}}},
        {"quarter climbs", {2, 0, 90, 1}, {{0, 2, 0}, {0, 0, -2}, {0, -2, 0}}},
    };
    for (const auto& c : cases) {
        auto system = particle_matrix_system_new(4);
        particle_matrix_place(*system, first, c.shape, colour);
        const auto& p = system->particles;
        EXPECT_EQ(p[0].position.x, 1);
        EXPECT_EQ(p[0].position.z, 3);
        EXPECT_EQ(system->size, c.shape[3]);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(p[i + 1].position.x - p[i].position.x, c.links[i].x, 1e-5) << c.what << i;
            EXPECT_NEAR(p[i + 1].position.y - p[i].position.y, c.links[i].y, 1e-5) << c.what << i;
            EXPECT_NEAR(p[i + 1].position.z - p[i].position.z, c.links[i].z, 1e-5) << c.what << i;
        }
        for (const Particle& q : p) {
            EXPECT_EQ(q.alive, 1);
            EXPECT_EQ(q.color[3], 0.4f);
        }
    }
}

TEST(ParticleMatrix, TurningThirtySixDegreesMakesADecagonThatStillClosesAfterTenThousandLinks) {
    const float first[3] = {1, 2, 3}, white[4] = {1, 1, 1, 1}, shape[4] = {1, 36, 0, 1};
    auto system = particle_matrix_system_new(10001);
    particle_matrix_place(*system, first, shape, white);
    const auto& p = system->particles;
    Vector3 centre;
    for (int i = 0; i < 10; ++i) {
        centre.x += p[i].position.x / 10;
        centre.z += p[i].position.z / 10;
    }
    centre.y = 2;
    // A regular decagon of side 1 has a circumradius of 1 / (2 sin 18 degrees).
    const float radius = 1.0f / (2.0f * std::sin(0.31415927f));
    for (int i = 0; i < 10; ++i) EXPECT_NEAR(distance(p[i].position, centre), radius, 1e-4) << i;
    for (int i = 0; i < 10000; i += 997) EXPECT_NEAR(distance(p[i].position, p[i + 1].position), 1, 1e-4);
    EXPECT_NEAR(distance(p[10].position, p[0].position), 0, 1e-5);
    EXPECT_NEAR(distance(p[10000].position, p[0].position), 0, 4e-3);
    auto empty = particle_matrix_system_new(0);  // nothing to place, nothing touched
    empty->size = 1;
    particle_matrix_place(*empty, first, shape, white);
    EXPECT_EQ(empty->size, 1);
}

TEST(ParticleTex, OneParticlePerBrightPixelInBufferOrder) {
    // 3 x 2: row 0 = dark, red, grey 51; row 1 = (50,50,51) whose integer mean is 50, white, dark.
    Shape shape(3, 2, 3, 9, {0, 0, 0, 200, 10, 20, 51, 51, 51, 50, 50, 51, 255, 255, 255, 1, 2, 3});
    auto particles = particle_tex_build(shape.pixels, 1, 77);
    const int expected[3][5] = {{0, 1, 200, 10, 20}, {0, 2, 51, 51, 51}, {1, 1, 255, 255, 255}};
    ASSERT_EQ(particles.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const TexParticle& p = particles[i];
        EXPECT_EQ(std::vector<int>({p.row, p.column, p.colour[0], p.colour[1], p.colour[2], p.colour[3]}),
                  std::vector<int>(
                      {expected[i][0], expected[i][1], expected[i][2], expected[i][3], expected[i][4], 77}));
        for (int m = 0; m < 3; ++m) EXPECT_EQ(p.scatter[m], 0);  // range 1: formed from the start
    }
    // A grey image has one byte per pixel; nothing is read past the buffer's end.
    Shape grey(2, 2, 1, 2, {60, 40, 0, 255});
    grey.pixels.green = grey.pixels.blue = 0;
    auto g = particle_tex_build(grey.pixels, 1, 255);
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0].colour[1], 60);
    EXPECT_EQ(g[1].row, 1);
    EXPECT_EQ(g[1].column, 1);
    // Layouts that cannot be read give no particles.
    Shape ok(2, 2, 3, 8, std::vector<uint8_t>(16, 255));
    EXPECT_EQ(shape_pixels_problem(ok.pixels), "");
    for (auto broken : {&ShapePixels::pitch, &ShapePixels::bytes_per_pixel, &ShapePixels::height}) {
        ShapePixels bad = ok.pixels;
        bad.*broken = bad.*broken == 3 ? 2 : bad.*broken == 8 ? 5 : 0;
        EXPECT_NE(shape_pixels_problem(bad), "");
        EXPECT_TRUE(particle_tex_build(bad, 1, 255).empty());
    }
}

TEST(ParticleTex, ScatterIsAWholeNumberBelowTheRangeAndTheSameOnEveryRun) {
    Shape shape(8, 8, 3, 24, std::vector<uint8_t>(192, 255));
    random_seed(0, 0);
    auto first = particle_tex_build(shape.pixels, 7, 255);
    random_seed(0, 0);
    auto second = particle_tex_build(shape.pixels, 7, 255);
    ASSERT_EQ(first.size(), 64u);
    bool negative = false, positive = false;
    for (size_t i = 0; i < first.size(); ++i) {
        for (int m = 0; m < 3; ++m) {
            const float v = first[i].scatter[m];
            EXPECT_EQ(v, std::trunc(v));
            EXPECT_LT(std::abs(v), 7);
            negative |= v < 0;
            positive |= v > 0;
            EXPECT_EQ(first[i].position[m], v);
            EXPECT_EQ(second[i].scatter[m], v);
        }
    }
    EXPECT_TRUE(negative && positive);
}

TEST(ParticleTex, ParticlesGatherFromTheirScatterIntoThePicture) {
    EXPECT_EQ(particle_tex_ease(0, 2, 6), 1.0f);
    EXPECT_NEAR(particle_tex_ease(2, 2, 6), 0.5f, 1e-6);
    EXPECT_EQ(particle_tex_ease(4.4f - 1.1f, 1.1f, 4.4f), 0.0f);  // exactly formed at the end
    const std::pair<float, int> alphas[] = {{0, 0},         {0.5f, 127}, {1, 255},
                                            {1.0001f, 255}, {-0.1f, 0},  {NAN, 0}};
    for (auto [alpha, byte] : alphas) EXPECT_EQ(particle_tex_alpha_byte(alpha), byte) << alpha;

    ParticleImage image;
    image.particles = {{{}, {2, -3, 4}, 5, 1, {1, 2, 3, 4}}, {{}, {-1, 0, 1}, 0, 3, {1, 2, 3, 4}}};
    image.step_x = image.step_y = 0.5f;
    image.half_width = 2.5f;
    image.half_height = 2;
    // Ease 0: rows along x, columns along y, centred, (row x 0.5 - 2, column x 0.5 - 2.5, 0).
    particle_tex_place(image, 0, 200);
    EXPECT_FLOAT_EQ(image.particles[0].position[0], -1.5f);
    EXPECT_FLOAT_EQ(image.particles[0].position[1], 0);
    EXPECT_EQ(image.particles[0].position[2], 0);
    EXPECT_EQ(image.particles[1].colour[3], 200);
    // Ease 1: the picture place plus the whole scatter.
    particle_tex_place(image, 1, 10);
    EXPECT_FLOAT_EQ(image.particles[0].position[0], 0.5f);
    EXPECT_FLOAT_EQ(image.particles[0].position[1], -3);
    EXPECT_FLOAT_EQ(image.particles[0].position[2], 4);
}

TEST(ParticleTex, TgaShapesWithAndWithoutAlphaGiveTheSameParticles) {
    texture_table_reset();
    TempDir dir;
    ScopedChdir cd(dir.path);
    // 3 x 3: red, dark, grey / dark, green, dark / blue, dark, white.
    const std::string rgb(
        "\xc8\x0a\x14\x00\x00\x00\x33\x33\x33\x00\x00\x00\x0a\xc8\x14\x00\x00\x00"
        "\x14\x0a\xc8\x00\x00\x00\xff\xff\xff",
        27);
    std::string rgba;
    for (size_t i = 0; i < rgb.size(); i += 3) rgba += rgb.substr(i, 3) + static_cast<char>(i * 9);
    media::save("rgb.tga", media::tga(3, 3, rgb, 24));
    media::save("rgba.tga", media::tga(3, 3, rgba, 32));
    for (const char* name : {"rgb.tga", "rgba.tga"}) {
        const Texture* t = texture_get(texture_load(name));
        ASSERT_NE(t, nullptr) << name;
        auto particles = particle_tex_build(particle_tex_shape_pixels(*t), 1, 255);
        const int expected[5][5] = {{0, 0, 200, 10, 20},
                                    {0, 2, 51, 51, 51},
                                    {1, 1, 10, 200, 20},
                                    {2, 0, 20, 10, 200},
                                    {2, 2, 255, 255, 255}};
        ASSERT_EQ(particles.size(), 5u) << name;
        for (int i = 0; i < 5; ++i) {
            const TexParticle& p = particles[i];
            EXPECT_EQ(std::vector<int>({p.row, p.column, p.colour[0], p.colour[1], p.colour[2]}),
                      std::vector<int>(expected[i], expected[i] + 5))
                << name << " " << i;
        }
    }
    texture_table_reset();
}

TEST(Pathway, ParticlesAreBornAtTheRateWhereThePathWasAtTheirBirth) {
    Pathway pathway = make_pathway(10, 5);
    LinePath path;
    pathway_emit(pathway, -0.5f, 10, path);  // before the start: nothing
    EXPECT_EQ(path.calls, 0);
    pathway_emit(pathway, 0, 10, path);
    EXPECT_EQ(alive_count(*pathway.system), 1);
    pathway_emit(pathway, 0.25f, 10, path);
    ASSERT_EQ(alive_count(*pathway.system), 3);
    for (int i = 0; i < 3; ++i) {  // born at 0, 0.1, 0.2
        const Vector3& p = pathway.system->particles[i].position;
        EXPECT_NEAR(p.x, 0.1f * i, 1e-6);
        EXPECT_NEAR(p.y, 0.2f * i, 1e-6);
        EXPECT_NEAR(p.z, -0.1f * i, 1e-6);
    }
    // Born particles move on their own; a later emission does not put them back.
    particle_set_velocity(*pathway.system, 0, 1, 0, 0);
    particle_system_update(*pathway.system, 1);
    pathway_emit(pathway, 0.25f, 10, path);
    EXPECT_NEAR(pathway.system->particles[0].position.x, 1, 1e-6);
    // Far past the end: all 50 and no 51st.
    path.calls = 0;
    pathway_emit(pathway, 100, 10, path);
    EXPECT_EQ(alive_count(*pathway.system), 50);
    EXPECT_EQ(path.calls, 50);  // the walk starts from particle 0 every frame
    EXPECT_NEAR(pathway.system->particles[49].position.x, 4.9f, 1e-4);
}

TEST(Pathway, ResetGivesSmallRandomAccelerationsAndASecondPassLooksLikeTheFirst) {
    Pathway pathway = make_pathway(8, 2);
    bool varied = false;
    for (const Particle& q : pathway.system->particles) {
        EXPECT_EQ(q.alive, 0);
        EXPECT_EQ(q.life, PATHWAY_LIFE);
        EXPECT_EQ(std::vector<float>(q.color, q.color + 4), (std::vector<float>{0.5f, 0.25f, 1, 1}));
        for (float a : {q.acceleration.x, q.acceleration.y, q.acceleration.z}) {
            EXPECT_LE(std::abs(a), 0.2f);  // steps of 0.002 below 100 of them
            EXPECT_NEAR(a / 0.002f, std::round(a / 0.002f), 1e-3);
            varied |= a != pathway.system->particles[0].acceleration.x;
        }
    }
    EXPECT_TRUE(varied);
    LinePath path;
    pathway_emit(pathway, 0.5f, 8, path);
    particle_system_update(*pathway.system, 0.5f);
    const std::vector<Particle> first = pathway.system->particles;
    // The loop restart reseeds the generator, then the start resets the particles.
    random_seed(0, 0);
    pathway_reset(*pathway.system, 0.5f, 0.25f, 1);
    EXPECT_EQ(alive_count(*pathway.system), 0);
    pathway_emit(pathway, 0.5f, 8, path);
    particle_system_update(*pathway.system, 0.5f);
    for (size_t i = 0; i < first.size(); ++i) {
        const Particle &a = first[i], &b = pathway.system->particles[i];
        EXPECT_EQ(a.alive, b.alive);
        EXPECT_EQ(a.position.x, b.position.x);
        EXPECT_EQ(a.position.z, b.position.z);
        EXPECT_EQ(a.velocity.y, b.velocity.y);
        EXPECT_EQ(a.color[3], b.color[3]);
    }
}

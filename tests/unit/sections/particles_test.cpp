// The particle sections' pure logic: the shared particle step and sprites, the particleMatrix
// chain, the particleTex picture and the pathway's emission.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "base/random.h"
#include "media_files.h"
#include "resources/texture.h"
#include "sections/particle_matrix.h"
#include "sections/particle_tex.h"
#include "sections/particles.h"
#include "sections/pathway.h"
#include "test_support.h"

namespace {

long alive_count(const ParticleSystem& system) {
    return std::count_if(system.particles.begin(), system.particles.end(), [](auto& p) { return p.alive; });
}

// The path x = t, y = 2t, z = -t.
void line_path(float t, float out[3]) {
    out[0] = t, out[1] = 2 * t, out[2] = -t;
}

Pathway make_pathway(float rate, float seconds) {
    Pathway pathway;
    pathway.system = particle_system_new(static_cast<int>(seconds * rate), 0.1f);
    Random random;
    pathway_reset(*pathway.system, random, 0.5f, 0.25f, 1);
    return pathway;
}

}  // namespace

TEST(ParticleSystem, AStepMovesWithTheOldVelocityThenAgesAndFadesOnlyLiveParticles) {
    auto system = particle_system_new(3, 1);
    Particle &p = system->particles[0], &dead = system->particles[1], &ending = system->particles[2];
    p.position = {1, 2, 3}, p.velocity = {1, 0, 0}, p.acceleration = {0, 2, 0}, dead.velocity = {5, 5, 5};
    p.color[3] = 1, p.alive = ending.alive = 1, p.life = ending.life = 0.5f;
    particle_system_update(*system, 0.75f);
    // alpha -= dt / life, with the new life -0.25
    EXPECT_EQ((std::vector<float>{p.position.x, p.position.y, p.velocity.y, p.life, float(p.alive),
                                  p.color[3], dead.position.x, dead.life}),
              (std::vector<float>{1.75f, 2, 1.5f, -0.25f, 0, 1 + 4 * 0.75f, 0, 0}));
    // A life reaching exactly 0 leaves a transparent sprite, alive until its life is below 0, and
    // a frame that does not move time (0 / 0) leaves it finite.
    ending.life = 0.5f, ending.alive = 1, ending.color[3] = 0.8f;
    particle_system_update(*system, 0.5f);
    EXPECT_TRUE(ending.alive == 1 && ending.color[3] == 0);
    particle_system_update(*system, 0);
    particle_system_update(*system, 0.1f);
    EXPECT_TRUE(ending.alive == 0 && std::isfinite(ending.color[3]));
    EXPECT_TRUE(particle_system_new(-4, 1)->particles.empty());
    // Particle counts are script floats truncated: safe for every float.
    const std::pair<float, int> cases[] = {{-7.9f, -7}, {NAN, 0}, {1e20f, INT_MAX}, {-INFINITY, INT_MIN}};
    for (auto [in, out] : cases) EXPECT_EQ(truncate_to_int(in), out) << in;
}

// The modelview turns 30 degrees about x, then 30 about y (R = Ry Rx), then moves the world: in
// eye space the corners lie top left, top right, bottom right, bottom left, 0.25 from the centre.
TEST(ParticleSystem, SpritesFaceTheViewer) {
    const float c = std::cos(0.5235988f), s = std::sin(0.5235988f);
    const float m[16] = {c, s * s, -s * c, 0, 0, c, s, 0, s, -c * s, c * c, 0, 4, -2, -7, 1};
    Vector3 right, up, corners[4];
    particle_sprite_axes(m, 0.25f, right, up);
    particle_sprite_corners({1, 2, 3}, right, up, corners);
    const float expected[4][2] = {{-0.25f, 0.25f}, {0.25f, 0.25f}, {0.25f, -0.25f}, {-0.25f, -0.25f}};
    for (int k = 0; k < 4; ++k)
        for (int row = 0; row < 3; ++row)
            EXPECT_NEAR(m[row] * (corners[k].x - 1) + m[4 + row] * (corners[k].y - 2) +
                            m[8 + row] * (corners[k].z - 3),
                        row < 2 ? expected[k][row] : 0, 1e-6)
                << k;
}

// Link i placed from the library's sine and cosine of i times the turn and the climb, in double
// precision, one link after the other: the chain the section must lay out, to the last bit.
std::vector<Vector3> chain_link_by_link(int count, const float first[3], const float shape[4]) {
    const double turn = shape[1] * 3.1415927f / 180.0f, climb = shape[2] * 3.1415927f / 180.0f;
    std::vector<Vector3> chain{{first[0], first[1], first[2]}};
    for (int i = 1; i < count; ++i) {
        const Vector3 q = chain.back();
        const double u = i * climb, v = i * turn;
        chain.push_back({static_cast<float>(q.x + std::cos(u) * std::sin(v) * shape[0]),
                         static_cast<float>(q.y + std::sin(u) * shape[0]),
                         static_cast<float>(q.z + std::cos(u) * std::cos(v) * shape[0])});
    }
    return chain;
}

// One chain laid out again shape after shape, as frames do: a still shape, a turn growing a
// little each frame, a climb going back down, quarter turns, and half turns, where the chain
// folds back on itself and the sines of near multiples of pi are so small that any other way of
// working them out rounds some links to other floats. Every link takes the colour and the size.
TEST(ParticleMatrix, EveryLinkIsWhereItsOwnSineAndCosinePutIt) {
    const float first[3] = {0.5f, -2, 1}, colour[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    const float shapes[][4] = {{0.05f, 7, 0.05f, 1},   {0.05f, 7, 0.05f, 1},   {0.05f, 7.001f, 0.05f, 1},
                               {0.05f, 7.002f, -3, 1}, {1, 180, 0, 0.2f},      {2.5f, 180, 90, 1},
                               {1, 0, 0, 1},           {-0.3f, 1234.5f, 0, 1}, {1, 180.001f, 0.5f, 1},
                               {2, 90, 0, 3},          {2, 0, 90, 1}};
    const int count = 10000;
    auto system = particle_matrix_system_new(count);
    for (const auto& shape : shapes) {
        particle_matrix_place(*system, first, shape, colour);
        const std::vector<Vector3> want = chain_link_by_link(count, first, shape);
        int wrong = 0;
        for (int i = 0; i < count; ++i) {
            const Particle& q = system->particles[i];
            wrong += q.position.x != want[i].x || q.position.y != want[i].y || q.position.z != want[i].z ||
                     !std::equal(colour, colour + 4, q.color) || q.alive != 1;
        }
        EXPECT_EQ(wrong, 0) << shape[0] << " " << shape[1] << " " << shape[2];
        EXPECT_EQ(system->size, shape[3]);
    }
}

// One particle per bright pixel in buffer order, a loaded shape read through its own layout:
// 24-bit rows padded to four bytes in memory, or 32 bits whose alpha plays no part. 3 x 3: red,
// dark, grey 51 / (50,50,51) whose integer mean is 50, green, dark / blue, dark, white.
TEST(ParticleTex, BrightPixelsOfTgaShapesWithAndWithoutAlphaGiveTheSameParticles) {
    texture_table_reset();
    TempDir dir;
    ScopedChdir cd(dir.path);
    const std::string rgb(
        "\xc8\x0a\x14\x00\x00\x00\x33\x33\x33\x32\x32\x33\x0a\xc8\x14\x00\x00\x00"
        "\x14\x0a\xc8\x00\x00\x00\xff\xff\xff",
        27);
    std::string rgba;
    for (size_t i = 0; i < rgb.size(); i += 3) rgba += rgb.substr(i, 3) + static_cast<char>(i * 9);
    media::save("rgb.tga", media::tga(3, 3, rgb, 24));
    media::save("rgba.tga", media::tga(3, 3, rgba, 32));
    Random random;
    for (const char* name : {"rgb.tga", "rgba.tga"}) {
        const Texture* t = texture_get(texture_load(name, 5));
        ASSERT_NE(t, nullptr) << name;
        std::vector<int> seen;
        for (const TexParticle& p : particle_tex_build(random, particle_tex_shape_pixels(*t), 1, 77)) {
            seen.insert(seen.end(),
                        {p.row * 3 + p.column, p.colour[0], p.colour[1], p.colour[2], p.colour[3]});
        }
        EXPECT_EQ(seen, (std::vector<int>{0,  200, 10, 20, 77, 2,   51, 51, 51,  77,  4,   10, 200,
                                          20, 77,  6,  20, 10, 200, 77, 8,  255, 255, 255, 77}))
            << name;
    }
    texture_table_reset();
    // A grey image has one byte per pixel; nothing is read past the buffer's end.
    const std::vector<uint8_t> grey_bytes = {60, 40, 0, 255};
    ShapePixels grey{.pixels = grey_bytes.data(), .width = 2, .height = 2, .pitch = 2, .bytes_per_pixel = 1};
    grey.red = grey.green = grey.blue = 0;
    auto g = particle_tex_build(random, grey, 1, 255);
    ASSERT_EQ(g.size(), 2u);
    EXPECT_TRUE(g[0].colour[1] == 60 && g[1].row == 1 && g[1].column == 1);
    // Layouts that cannot be read give no particles: rows shorter than their pixels, two bytes a pixel.
    ShapePixels short_rows = grey, two_bytes = grey;
    short_rows.pitch = 1;
    two_bytes.bytes_per_pixel = 2, two_bytes.pitch = 4, two_bytes.blue = 2;
    for (const ShapePixels& bad : {short_rows, two_bytes}) {
        EXPECT_NE(shape_pixels_problem(bad), "");
        EXPECT_TRUE(particle_tex_build(random, bad, 1, 255).empty());
    }
}

TEST(ParticleTex, ScatterIsAWholeNumberBelowTheRangeAndTheSameOnEveryRun) {
    const std::vector<uint8_t> white(192, 255);
    const ShapePixels shape{
        .pixels = white.data(), .width = 8, .height = 8, .pitch = 24, .bytes_per_pixel = 3};
    auto build = [&] {
        Random random;
        return particle_tex_build(random, shape, 7, 255);
    };
    const auto first = build(), second = build();
    ASSERT_EQ(first.size(), 64u);
    std::set<float> values;
    for (size_t i = 0; i < 64; ++i)
        for (int m = 0; m < 3; ++m) {
            values.insert(first[i].scatter[m]);
            EXPECT_TRUE(first[i].position[m] == first[i].scatter[m] &&
                        second[i].scatter[m] == first[i].scatter[m]);
        }
    // Whole numbers from -6 to 6, each of them drawn among 192.
    EXPECT_EQ(values, (std::set<float>{-6, -5, -4, -3, -2, -1, 0, 1, 2, 3, 4, 5, 6}));
}

TEST(ParticleTex, ParticlesGatherFromTheirScatterIntoThePicture) {
    EXPECT_TRUE(particle_tex_ease(0, 2, 6) == 1 && std::fabs(particle_tex_ease(2, 2, 6) - 0.5f) < 1e-6f);
    EXPECT_EQ(particle_tex_ease(4.4f - 1.1f, 1.1f, 4.4f), 0.0f);  // exactly formed at the end
    const std::pair<float, int> alphas[] = {{0.5f, 127}, {1.0001f, 255}, {-0.1f, 0}, {NAN, 0}};
    for (auto [alpha, byte] : alphas) EXPECT_EQ(particle_tex_alpha_byte(alpha), byte) << alpha;

    ParticleImage image;
    image.particles = {{{}, {2, -3, 4}, 5, 1, {1, 2, 3, 4}}, {{}, {-1, 0, 1}, 0, 3, {1, 2, 3, 4}}};
    image.step_x = image.step_y = 0.5f;
    image.half_width = 2.5f, image.half_height = 2;
    // Ease 0: rows along x, columns along y, centred, (row x 0.5 - 2, column x 0.5 - 2.5, 0).
    particle_tex_place(image, 0, 200);
    EXPECT_THAT(image.particles[0].position, ::testing::ElementsAre(-1.5f, 0, 0));
    EXPECT_EQ(image.particles[1].colour[3], 200);
    // Ease 1: the picture place plus the whole scatter.
    particle_tex_place(image, 1, 10);
    EXPECT_THAT(image.particles[0].position, ::testing::ElementsAre(0.5f, -3, 4));
}

TEST(Pathway, ParticlesAreBornAtTheRateWhereThePathWasAtTheirBirth) {
    Pathway pathway = make_pathway(10, 5);
    auto emit = [&](float t) {
        pathway_emit(pathway, t, 10, line_path);
        return alive_count(*pathway.system);
    };
    // None before the start, then one every tenth of a second: born at 0, 0.1 and 0.2.
    ASSERT_EQ((std::vector<long>{emit(-0.5f), emit(0), emit(0.25f)}), (std::vector<long>{0, 1, 3}));
    for (int i = 0; i < 3; ++i) {
        const Vector3& p = pathway.system->particles[i].position;
        EXPECT_NEAR(std::hypot(p.x - 0.1f * i, p.y - 0.2f * i, p.z + 0.1f * i), 0, 1e-6);
    }
    // Born particles move on their own; a later emission does not put them back.
    particle_set_velocity(*pathway.system, 0, 1, 0, 0);
    particle_system_update(*pathway.system, 1);
    emit(0.25f);
    EXPECT_NEAR(pathway.system->particles[0].position.x, 1, 1e-6);
    EXPECT_EQ(emit(100), 50);  // far past the end: all 50 and no 51st
}

TEST(Pathway, ResetGivesSmallRandomAccelerationsAndASecondPassLooksLikeTheFirst) {
    Pathway many = make_pathway(100, 10);
    std::set<float> steps;  // accelerations in steps of 0.002, fewer than 100 of them either way
    for (const Particle& q : many.system->particles) {
        EXPECT_TRUE(q.alive == 0 && q.life == PATHWAY_LIFE);
        EXPECT_THAT(q.color, ::testing::ElementsAre(0.5f, 0.25f, 1, 1));
        for (float a : {q.acceleration.x, q.acceleration.y, q.acceleration.z})
            steps.insert(std::round(a / 0.002f));
    }
    EXPECT_TRUE(steps.size() == 199u && *steps.begin() == -99 && *steps.rbegin() == 99);
    auto pass = [&] {  // the loop restart reseeds the generator, then the start resets the particles
        Random random;
        pathway_reset(*many.system, random, 0.5f, 0.25f, 1);
        pathway_emit(many, 0.5f, 100, line_path);
        particle_system_update(*many.system, 0.5f);
        std::vector<float> state;
        for (const Particle& p : many.system->particles)
            state.insert(state.end(), {float(p.alive), p.position.x, p.position.z, p.velocity.y, p.color[3]});
        return state;
    };
    EXPECT_EQ(pass(), pass());
}

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/random.h"
#include "media_files.h"
#include "resources/texture.h"
#include "sections/particle_tex.h"
#include "test_support.h"

namespace {
// A packed RGB shape from a list of pixels, row by row.
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

float signed_draw(uint32_t sign_draw, uint32_t magnitude_draw, uint32_t range) {
    return (sign_draw & 1u ? -1.0f : 1.0f) * static_cast<float>(magnitude_draw % range);
}
}  // namespace

TEST(ParticleTexBuild, BrightMeansAMeanAbove50) {
    EXPECT_TRUE(shape_pixel_bright(51, 51, 51));
    EXPECT_FALSE(shape_pixel_bright(50, 50, 51));
    EXPECT_TRUE(shape_pixel_bright(0, 0, 153));
    EXPECT_FALSE(shape_pixel_bright(0, 0, 152));
}

TEST(ParticleTexBuild, OneParticlePerBrightPixelInBufferOrder) {
    // 3 x 2: row 0 = dark, red, grey; row 1 = (50,50,51), white, dark.
    Shape shape(3, 2, 3, 9, {0, 0, 0, 200, 10, 20, 51, 51, 51, 50, 50, 51, 255, 255, 255, 1, 2, 3});
    random_seed(0, 0);
    auto particles = particle_tex_build(shape.pixels, 1, 77);
    ASSERT_EQ(particles.size(), 3u);
    const int expected[3][5] = {{0, 1, 200, 10, 20}, {0, 2, 51, 51, 51}, {1, 1, 255, 255, 255}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(particles[i].row, expected[i][0]);
        EXPECT_EQ(particles[i].column, expected[i][1]);
        EXPECT_EQ(particles[i].colour[0], expected[i][2]);
        EXPECT_EQ(particles[i].colour[1], expected[i][3]);
        EXPECT_EQ(particles[i].colour[2], expected[i][4]);
        EXPECT_EQ(particles[i].colour[3], 77);
        // Range 1: no scatter at all; the picture is formed from the start.
        for (int m = 0; m < 3; ++m) {
            EXPECT_EQ(particles[i].scatter[m], 0);
            EXPECT_EQ(particles[i].position[m], 0);
        }
    }
}

TEST(ParticleTexBuild, ScatterComesFromTheDefaultSeedsSignFirst) {
    Shape shape(2, 1, 3, 6, {255, 255, 255, 255, 255, 255});
    random_seed(0, 0);
    std::vector<uint32_t> draws(12);
    for (auto& d : draws) d = random_next();

    random_seed(0, 0);
    auto first = particle_tex_build(shape.pixels, 7, 255);
    ASSERT_EQ(first.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        for (int m = 0; m < 3; ++m) {
            const int d = 6 * i + 2 * m;
            EXPECT_EQ(first[i].scatter[m], signed_draw(draws[d], draws[d + 1], 7)) << i << "," << m;
            EXPECT_EQ(first[i].position[m], first[i].scatter[m]);
        }
    }
    // The same on every run.
    random_seed(0, 0);
    auto second = particle_tex_build(shape.pixels, 7, 255);
    for (int i = 0; i < 2; ++i)
        for (int m = 0; m < 3; ++m) EXPECT_EQ(second[i].scatter[m], first[i].scatter[m]);
}

TEST(ParticleTexBuild, ReadsOneGreyBytePerPixel) {
    // Nothing is read past the end of the buffer.
    Shape grey(2, 2, 1, 2, {60, 40, 0, 255});
    grey.pixels.green = 0;
    grey.pixels.blue = 0;
    auto c = particle_tex_build(grey.pixels, 1, 255);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].row, 0);
    EXPECT_EQ(c[0].colour[1], 60);
    EXPECT_EQ(c[1].row, 1);
    EXPECT_EQ(c[1].column, 1);
}

TEST(ParticleTexBuild, RefusesLayoutsItCannotRead) {
    Shape ok(2, 2, 3, 8, std::vector<uint8_t>(16, 255));
    EXPECT_EQ(shape_pixels_problem(ok.pixels), "");
    ShapePixels short_rows = ok.pixels;
    short_rows.pitch = 5;
    EXPECT_NE(shape_pixels_problem(short_rows), "");
    ShapePixels two_bytes = ok.pixels;
    two_bytes.bytes_per_pixel = 2;
    EXPECT_NE(shape_pixels_problem(two_bytes), "");
    ShapePixels empty = ok.pixels;
    empty.height = 0;
    EXPECT_NE(shape_pixels_problem(empty), "");
    EXPECT_TRUE(particle_tex_build(short_rows, 1, 255).empty());
}

TEST(ParticleTexRender, EaseRunsFromOneToExactlyZero) {
    EXPECT_EQ(particle_tex_ease(0, 2, 6), 1.0f);
    EXPECT_NEAR(particle_tex_ease(2, 2, 6), 0.5f, 1e-6);
    EXPECT_EQ(particle_tex_ease(4, 2, 6), 0.0f);
    const float start = 1.1f, end = 4.4f;
    EXPECT_EQ(particle_tex_ease(end - start, start, end), 0.0f);
}

TEST(ParticleTexRender, AlphaBytesAreHeldInRange) {
    EXPECT_EQ(particle_tex_alpha_byte(0), 0);
    EXPECT_EQ(particle_tex_alpha_byte(0.5f), 127);
    EXPECT_EQ(particle_tex_alpha_byte(1), 255);
    // Slightly past the end of a fade-in, or a script value above 1, must not wrap to nearly 0.
    EXPECT_EQ(particle_tex_alpha_byte(1.0001f), 255);
    EXPECT_EQ(particle_tex_alpha_byte(1.2f), 255);
    EXPECT_EQ(particle_tex_alpha_byte(-0.1f), 0);
    EXPECT_EQ(particle_tex_alpha_byte(NAN), 0);
}

TEST(ParticleTexRender, ParticlesGatherIntoThePicture) {
    ParticleImage image;
    image.particles.resize(2);
    image.particles[0] = {{}, {2, -3, 4}, 5, 1, {1, 2, 3, 4}};
    image.particles[1] = {{}, {-1, 0, 1}, 0, 3, {1, 2, 3, 4}};
    image.step_x = image.step_y = 0.5f;
    image.half_width = 10 * 0.5f * 0.5f;
    image.half_height = 8 * 0.5f * 0.5f;

    particle_tex_place(image, 0, 200);
    // Rows along x, columns along y, centred: (row x 0.5 - 2, column x 0.5 - 2.5, 0).
    EXPECT_FLOAT_EQ(image.particles[0].position[0], 1 * 0.5f - 2);
    EXPECT_FLOAT_EQ(image.particles[0].position[1], 5 * 0.5f - 2.5f);
    EXPECT_EQ(image.particles[0].position[2], 0);
    EXPECT_FLOAT_EQ(image.particles[1].position[0], 3 * 0.5f - 2);
    EXPECT_EQ(image.particles[1].colour[3], 200);
    EXPECT_EQ(image.particles[1].colour[0], 1);

    particle_tex_place(image, 1, 10);
    EXPECT_FLOAT_EQ(image.particles[0].position[0], 1 * 0.5f - 2 + 2);
    EXPECT_FLOAT_EQ(image.particles[0].position[1], 5 * 0.5f - 2.5f - 3);
    EXPECT_FLOAT_EQ(image.particles[0].position[2], 4);
    EXPECT_EQ(image.particles[0].colour[3], 10);
}

namespace {
struct LoadedShapes : testing::Test {
    void SetUp() override { texture_table_reset(); }
    void TearDown() override { texture_table_reset(); }
};
}  // namespace

TEST_F(LoadedShapes, TgaImagesWithAndWithoutAlphaGiveTheSameParticles) {
    TempDir dir;
    ScopedChdir cd(dir.path);
    // 3 x 3 pixels: 9-byte rows, padded to 12 in memory; stored blue first in the file.
    const std::string rgb(
        "\xc8\x0a\x14\x00\x00\x00\x33\x33\x33"
        "\x00\x00\x00\x0a\xc8\x14\x00\x00\x00"
        "\x14\x0a\xc8\x00\x00\x00\xff\xff\xff",
        27);
    std::string rgba;
    for (size_t i = 0; i < rgb.size(); i += 3) rgba += rgb.substr(i, 3) + static_cast<char>(i * 9);
    media::save("rgb.tga", media::tga(3, 3, rgb, 24));
    media::save("rgba.tga", media::tga(3, 3, rgba, 32));

    const Texture* a = texture_get(texture_load("rgb.tga"));
    const Texture* b = texture_get(texture_load("rgba.tga"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    random_seed(0, 0);
    auto from_rgb = particle_tex_build(particle_tex_shape_pixels(*a), 1, 255);
    auto from_rgba = particle_tex_build(particle_tex_shape_pixels(*b), 1, 255);

    // The bright pixels, row by row: (0,0) red, (0,2) grey, (1,1) green, (2,0) blue, (2,2) white.
    const int expected[5][5] = {{0, 0, 200, 10, 20},
                                {0, 2, 51, 51, 51},
                                {1, 1, 10, 200, 20},
                                {2, 0, 20, 10, 200},
                                {2, 2, 255, 255, 255}};
    for (const auto* particles : {&from_rgb, &from_rgba}) {
        ASSERT_EQ(particles->size(), 5u);
        for (int i = 0; i < 5; ++i) {
            const TexParticle& p = (*particles)[i];
            EXPECT_EQ(p.row, expected[i][0]) << i;
            EXPECT_EQ(p.column, expected[i][1]) << i;
            EXPECT_EQ(p.colour[0], expected[i][2]) << i;
            EXPECT_EQ(p.colour[1], expected[i][3]) << i;
            EXPECT_EQ(p.colour[2], expected[i][4]) << i;
        }
    }
}

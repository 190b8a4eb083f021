// What the particle, path, ray and sky box sections put on screen, from recorded frames.
#include "particles_support.h"

using namespace particles_e2e;

namespace {
// Two equal keys: a constant spline.
std::string constant_spline(const std::string& key) {
    return key + "\n" + key + "\n";
}

}  // namespace

TEST(ParticleMatrixPlayback, ASpriteIsASquareTintedByTheColourSpline) {
    Demo demo;
    demo.file("data/pos.spl", constant_spline("0 0 0"));
    demo.file("data/shape.spl", constant_spline("1 0 0 1"));
    demo.file("data/colour.spl", constant_spline("1 0 0 1"));
    demo.script(std::string(CAMERA) +
                "[particleMatrix]\nstart 0\nend 1\nlayer 2\nparam 1 1\nstring data/white.tga\n"
                "spline data/pos.spl\nspline data/shape.spl\nspline data/colour.spl\n");
    expect_clean_exit(demo.run());
    Frame f = demo.frame(2);
    ASSERT_TRUE(f.ok());
    // Half-size 1 at the origin: 14.4 pixels to each side, 12.8 up and down.
    const Pixel c = project(0, 0);
    EXPECT_PRED4(near_colour, f.at(c.x, c.y), 255, 0, 0) << f.at(c.x, c.y);
    EXPECT_PRED4(near_colour, f.at(c.x + 12, c.y), 255, 0, 0);
    EXPECT_PRED4(near_colour, f.at(c.x - 12, c.y - 10), 255, 0, 0);
    EXPECT_PRED1(black, f.at(c.x + 17, c.y));
    EXPECT_PRED1(black, f.at(c.x, c.y + 15));
}

TEST(ParticleMatrixPlayback, SpritesFaceACameraLookingFromTheSide) {
    Demo demo;
    // Eye on the x axis, 6 units out, looking at the origin.
    demo.file("data/camera.spl", constant_spline("6 0 0 0 0 0 0 0 0 90 0.1 100"));
    demo.file("data/pos.spl", constant_spline("0 0 0"));
    demo.file("data/shape.spl", constant_spline("1 0 0 1"));
    demo.file("data/colour.spl", constant_spline("0 0 1 1"));
    demo.script(
        "[camera]\nstart 0\nend 1\nlayer 1\nspline data/camera.spl\n"
        "[particleMatrix]\nstart 0\nend 1\nlayer 2\nparam 1 1\nstring data/white.tga\n"
        "spline data/pos.spl\nspline data/shape.spl\nspline data/colour.spl\n");
    expect_clean_exit(demo.run());
    Frame f = demo.frame(1);
    ASSERT_TRUE(f.ok());
    // A quad lying in a world plane would be seen edge on; a facing sprite is a square of
    // 2 x 12 by 2 x 10.7 pixels around the centre.
    EXPECT_PRED4(near_colour, f.at(128, 64), 0, 0, 255);
    EXPECT_PRED4(near_colour, f.at(128 + 9, 64), 0, 0, 255);
    EXPECT_PRED4(near_colour, f.at(128 - 9, 64 + 8), 0, 0, 255);
    EXPECT_PRED1(black, f.at(128 + 15, 64));
    EXPECT_PRED1(black, f.at(128, 64 + 14));
}

TEST(ParticleMatrixPlayback, AChainOfSpritesAlongAStraightLine) {
    Demo demo;
    // Turn 90 degrees per link: link 1 along +x, link 2 along -z (hidden behind), ...
    // With step 2 particle 1 sits at (1, 0, 0) from particle 0 at (-1, 0, 0).
    demo.file("data/pos.spl", constant_spline("-1 0 0"));
    demo.file("data/shape.spl", constant_spline("2 90 0 0.4"));
    demo.file("data/colour.spl", constant_spline("1 1 1 1"));
    demo.script(std::string(CAMERA) +
                "[particleMatrix]\nstart 0\nend 1\nlayer 2\nparam 2 0\nstring data/white.tga\n"
                "spline data/pos.spl\nspline data/shape.spl\nspline data/colour.spl\n");
    expect_clean_exit(demo.run());
    Frame f = demo.frame(0);
    ASSERT_TRUE(f.ok());
    const Pixel a = project(-1, 0), b = project(1, 0), mid = project(0, 0);
    EXPECT_PRED4(near_colour, f.at(a.x, a.y), 255, 255, 255);
    EXPECT_PRED4(near_colour, f.at(b.x, b.y), 255, 255, 255);
    EXPECT_PRED1(black, f.at(mid.x, mid.y));
}

namespace {
// A 2 x 2 picture: red, green / blue, dark. Its rows of 6 bytes are padded in memory.
std::string shape_rgb() {
    return std::string("\xff\x00\x00\x00\xff\x00\x00\x00\xff\x00\x00\x00", 12);
}

const char* const PARTICLE_TEX =
    "[particleTex]\nstart 0\nend 1\nlayer 2\nstring data/shape.tga\nstring data/white.tga\n"
    "param 2 0.9 3 0 0 0 1 1\n";

void expect_picture(const Frame& f) {
    // Column 0 at x = -2, column 1 at 0; row 0 at y = 2, row 1 at 0.
    const Pixel red = project(-2, 2), green = project(0, 2), blue = project(-2, 0), dark = project(0, 0);
    EXPECT_PRED4(near_colour, f.at(red.x, red.y), 255, 0, 0) << f.at(red.x, red.y);
    EXPECT_PRED4(near_colour, f.at(green.x, green.y), 0, 255, 0) << f.at(green.x, green.y);
    EXPECT_PRED4(near_colour, f.at(blue.x, blue.y), 0, 0, 255) << f.at(blue.x, blue.y);
    EXPECT_PRED1(black, f.at(dark.x, dark.y)) << f.at(dark.x, dark.y);
}
}  // namespace

TEST(ParticleTexPlayback, ThePictureFormsAtTheSectionsEnd) {
    Demo demo;
    write_tga(demo.dir.file("data/shape.tga"), 2, 2, shape_rgb());
    demo.script(std::string(CAMERA) + PARTICLE_TEX);
    expect_clean_exit(demo.run());
    Frame first = demo.frame(0), last = demo.frame(4);
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(last.ok());
    expect_picture(last);
    // Scattered at the start.
    EXPECT_NE(first.bytes, last.bytes);
}

TEST(ParticleTexPlayback, TheFadeRunsFromTheStartAlphaToTheEndAlpha) {
    Demo demo;
    write_tga(demo.dir.file("data/shape.tga"), 2, 2, shape_rgb());
    demo.script(std::string(CAMERA) +
                "[particleTex]\nstart 0\nend 1\nlayer 2\nstring data/shape.tga\nstring data/white.tga\n"
                "param 2 0.9 1 0 0 0 0 1\n");
    expect_clean_exit(demo.run());
    // Scatter range 1: the picture stands still and only fades in, by additive blending.
    const Pixel red = project(-2, 2);
    int previous = -1;
    for (int n = 0; n <= 4; ++n) {
        Frame f = demo.frame(n);
        ASSERT_TRUE(f.ok());
        const Rgb c = f.at(red.x, red.y);
        EXPECT_NEAR(c.r, 255 * n / 4, 4) << "frame " << n;
        EXPECT_GT(c.r, previous);
        previous = c.r;
    }
}

TEST(PathwayPlayback, ParticlesAreBornAlongThePath) {
    Demo demo;
    demo.file("data/path.spl", "-3 0 0\n3 0 0\n");
    demo.script(std::string(CAMERA) +
                "[pathway]\nstart 0\nend 1\nlayer 2\nparam 10 0.2 0 1 0\nstring data/white.tga\n"
                "spline data/path.spl\n");
    expect_clean_exit(demo.run());
    Frame first = demo.frame(0), last = demo.frame(4);
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(last.ok());
    // At the start only particle 0, at the path's start.
    const Pixel start = project(-3, 0), middle = project(0, 0);
    EXPECT_GT(first.at(start.x, start.y).g, 200);
    EXPECT_PRED1(black, first.at(middle.x, middle.y));
    // At the end all ten, at the path's places for 0, 0.1, ... 0.9 s, and nothing beyond.
    for (int k = 0; k < 10; ++k) {
        const Pixel p = project(-3 + 0.6f * k, 0);
        EXPECT_GT(last.at(p.x, p.y).g, 200) << "particle " << k;
        EXPECT_EQ(last.at(p.x, p.y).r, 0);
    }
    const Pixel beyond = project(3, 0), above = project(0, 1);
    EXPECT_PRED1(black, last.at(beyond.x, beyond.y));
    EXPECT_PRED1(black, last.at(above.x, above.y));
}

namespace {
std::string ray_demo(int mode, const std::string& first) {
    return std::string(CAMERA) + "[ray]\nstart 0\nend 1\nlayer 2\nparam " + std::to_string(mode) +
           " 4\nspline data/" + first + "\nspline data/colour.spl\n";
}
}  // namespace

TEST(RayPlayback, BoltsWithoutJitterAreStraightGlowingLines) {
    for (int mode : {0, 1}) {
        Demo demo;
        demo.file("data/bolt.spl", constant_spline("-3 0 0 3 0 0 0 3 0 1"));
        demo.file("data/colour.spl", constant_spline("1 1 0"));
        demo.script(ray_demo(mode, "bolt.spl"));
        expect_clean_exit(demo.run());
        Frame f = demo.frame(1);
        ASSERT_TRUE(f.ok());
        const Pixel left = project(-3, 0), right = project(3, 0);
        for (int x = left.x + 2; x < right.x - 2; x += 5) {
            EXPECT_PRED4(near_colour, f.at(x, left.y), 255, 255, 0) << "mode " << mode << " x " << x;
            EXPECT_PRED1(black, f.at(x, left.y + 6));
            EXPECT_PRED1(black, f.at(x, left.y - 6));
        }
        EXPECT_PRED1(black, f.at(left.x - 6, left.y));
        EXPECT_PRED1(black, f.at(right.x + 6, right.y));
    }
}

TEST(RayPlayback, NoBoltsDrawNothingAndLeaveTexturingOnForLaterSections) {
    Demo demo;
    demo.file("data/bolt.spl", constant_spline("-3 0 0 3 0 0 0 3 0 0"));
    demo.file("data/colour.spl", constant_spline("1 1 0"));
    demo.file("data/pos.spl", constant_spline("0 1 0"));
    demo.file("data/shape.spl", constant_spline("1 0 0 0.5"));
    demo.file("data/white.spl", constant_spline("1 1 1 1"));
    write_tga(demo.dir.file("data/orange.tga"), 8, 8, solid_rgb(8, 8, 200, 100, 40));
    // A sprite drawn after the ray shows its texture, not its plain white colour.
    demo.script(ray_demo(1, "bolt.spl") +
                "[particleMatrix]\nstart 0\nend 1\nlayer 3\nparam 1 0\nstring data/orange.tga\n"
                "spline data/pos.spl\nspline data/shape.spl\nspline data/white.spl\n");
    expect_clean_exit(demo.run());
    Frame f = demo.frame(1);
    ASSERT_TRUE(f.ok());
    const Pixel line = project(0, 0), sprite = project(0, 1);
    EXPECT_PRED1(black, f.at(line.x + 20, line.y));
    EXPECT_PRED4(near_colour, f.at(sprite.x, sprite.y), 200, 100, 40);
}

namespace {
const char* const SKY = "[macroBox]\nstart 0\nend 1\nlayer 2\nstring data/sky.tga\n";
}

TEST(MacroBoxPlayback, TheBoxFillsTheViewAndFadesIn) {
    // Clamped edges blend with the black border within half a texel of each face's edge, so the
    // checks allow for thin seams.
    Demo demo;
    write_tga(demo.dir.file("data/sky.tga"), 64, 64, solid_rgb(64, 64, 200, 100, 40));
    demo.script(std::string(CAMERA) + SKY + "param 1 1 1\n");
    expect_clean_exit(demo.run());
    Frame f = demo.frame(2);
    ASSERT_TRUE(f.ok());
    EXPECT_GT(share_near(f, 200, 100, 40), 0.9);
    for (int y = 0; y < FRAME_HEIGHT; ++y)
        for (int x = 0; x < FRAME_WIDTH; ++x) ASSERT_GE(f.at(x, y).r, 40) << x << "," << y;

    Demo fade;
    write_tga(fade.dir.file("data/sky.tga"), 64, 64, solid_rgb(64, 64, 200, 100, 40));
    fade.script(std::string(CAMERA) + SKY + "param 2 0 1\nblend SRC_ALPHA ONE_MINUS_SRC_ALPHA\n");
    expect_clean_exit(fade.run());
    for (int n = 0; n <= 4; ++n) {
        Frame g = fade.frame(n);
        ASSERT_TRUE(g.ok());
        // Two copies blended over each other: 1 - (1 - a)^2 of the colour.
        const double a = n / 4.0, cover = 1 - (1 - a) * (1 - a);
        const int r = static_cast<int>(200 * cover + 0.5), gr = static_cast<int>(100 * cover + 0.5),
                  b = static_cast<int>(40 * cover + 0.5);
        EXPECT_GT(share_near(g, r, gr, b, 4), 0.8) << "frame " << n;
    }
}

TEST(MacroBoxPlayback, ZeroLayersDrawNothingButLaterSpritesStillSeeTheCamera) {
    Demo demo;
    write_tga(demo.dir.file("data/sky.tga"), 64, 64, solid_rgb(64, 64, 200, 100, 40));
    demo.file("data/pos.spl", constant_spline("1 0 0"));
    demo.file("data/shape.spl", constant_spline("1 0 0 0.5"));
    demo.file("data/white.spl", constant_spline("1 1 1 1"));
    demo.script(std::string(CAMERA) + SKY + "param 0.9 1 1\n" +
                "[particleMatrix]\nstart 0\nend 1\nlayer 3\nparam 1 0\nstring data/white.tga\n"
                "spline data/pos.spl\nspline data/shape.spl\nspline data/white.spl\n");
    expect_clean_exit(demo.run());
    Frame f = demo.frame(1);
    ASSERT_TRUE(f.ok());
    const Pixel sprite = project(1, 0);
    EXPECT_PRED1(black, f.at(20, 20));
    EXPECT_PRED4(near_colour, f.at(sprite.x, sprite.y), 255, 255, 255);
}

TEST(MacroBoxPlayback, ObjectsDrawnAfterTheBoxAreNeverHiddenByIt) {
    Demo demo;
    write_tga(demo.dir.file("data/sky.tga"), 64, 64, solid_rgb(64, 64, 200, 100, 40));
    // A sprite 40 units away, far behind the box's walls (10 units from the eye).
    demo.file("data/pos.spl", constant_spline("0 0 -35"));
    demo.file("data/shape.spl", constant_spline("1 0 0 3"));
    demo.file("data/white.spl", constant_spline("1 1 1 1"));
    demo.script(std::string(CAMERA) + SKY + "param 1 1 1\n" +
                "[particleMatrix]\nstart 0\nend 1\nlayer 3\nparam 1 0\nstring data/white.tga\n"
                "spline data/pos.spl\nspline data/shape.spl\nspline data/white.spl\n");
    expect_clean_exit(demo.run());
    Frame f = demo.frame(1);
    ASSERT_TRUE(f.ok());
    EXPECT_PRED4(near_colour, f.at(128, 64), 255, 255, 255);
    EXPECT_GT(share_near(f, 200, 100, 40), 0.8);
}

// Cameras, 3DS objects, copies and effects played by the real player with recording on:
// the recorded frames are compared with where the camera's projection puts things.
#include <string>

#include "mesh_writer.h"
#include "player.h"

namespace {

// A camera section without spline looks from (0, 0, 5) down -z with 90 degrees vertically and
// the 16:9 display aspect, into 256 x 128 frames: the pixel column and row of an eye-space point.
int column_of(float x, float depth) {
    return static_cast<int>((1 + x / (depth * 16.0f / 9.0f)) / 2 * 256);
}
int row_of(float y, float depth) {
    return static_cast<int>((1 + y / depth) / 2 * 128);
}

}  // namespace

TEST(Scene, EveryObjectModeDrawsAndLeavesTheDefaultStateBehind) {
    Demo demo;
    MaterialDraft skin{"skin"};
    skin.map_name = "skin.tga";
    demo.picture("data/skin.tga", 8, 8, Rgb{200, 100, 0});
    demo.picture("data/env.tga", 8, 8, Rgb{0, 120, 240});
    demo.picture("data/ramp.tga", 8, 1, Rgb{250, 250, 0});
    demo.file("data/cube.3ds", mesh_write_3ds({skin}, {mesh_draft_cube("cube", 1, "skin")}));
    demo.file("data/turn.spl", "1 1 1 25 35 0 0 0 0\n");
    // From 0.1 s a radial blur and the plain-coloured object alone change GL state for their own
    // drawing, in ways the showcase's pictures would not show: the halves drawn last over the
    // blue must still come out textured, unblended and in place.
    const Rgb left{10, 200, 30}, right{250, 20, 140};
    write_tga(demo.dir.file("data/halves.tga"), 256, 128, quadrant_rgb(256, 128, left, right, left, right));
    demo.background("data/env.tga", 0.1f, 0.2f, 0);
    demo.background("data/halves.tga", 0.1f, 0.2f, 4);
    demo.section("[camera]\n" + span(0, 0.2f, 1) + "[efxRadialBlur]\n" + span(0.1f, 0.2f, 3) +
                 "param {2, 0.5, 0.1, 0.5, 0.1, 0.5, 0.5, 0.5, 0.5}\n");
    const char* modes[] = {"Wireframe", "Color", "Flat", "Shaded", "Texture", "Environment", "Cell"};
    for (int i = 0; i < 7; ++i) {
        // Turned by the inner spline, then moved into place by the outer one.
        const std::string at = "data/at" + std::to_string(i) + ".spl";
        demo.file(at, "1 1 1 0 0 0 " + std::to_string(-6 + 2 * i) + " 0 0\n");
        std::string extra = "spline " + at + "\nspline data/turn.spl\n";
        if (i == 5) extra += "string data/env.tga\n";
        if (i == 6) extra += "string data/ramp.tga\n";
        demo.section("[object]\n" + span(0, i == 1 ? 0.2f : 0.1f, 2) + "string " + modes[i] +
                     "\nstring data/\nstring cube.3ds\nparam 1 0 1 1 1 1 1\n" + extra);
    }
    // A GL error in any mode would be warned about on standard error.
    expect_clean_exit(demo.run());
    TgaPicture f = demo.frame(1);
    for (int i = 0; i < 7; ++i) {
        const int x = column_of(-6.0f + 2 * i, 5);
        EXPECT_GT(21 * 41 - count_colour(f, black, 0, x - 10, x + 10, 44, 84), 30) << modes[i];
    }
    for (auto [i, colour] :
         {std::pair{1, white}, {4, Rgb{200, 100, 0}}, {5, Rgb{0, 120, 240}}, {6, Rgb{250, 250, 0}}})
        EXPECT_EQ(f.at(column_of(-6.0f + 2 * i, 5), 64), colour) << modes[i];
    EXPECT_COLOUR(colour_at(demo.frame(3), 0.2f, 0.5f), left, 1) << " left half";
    EXPECT_COLOUR(colour_at(demo.frame(3), 0.8f, 0.5f), right, 1) << " right half";
}

// Render mesh fed back over its first second, then black and white over the next, then render
// mesh not kept over the third; from 3 s, copies of images, then of objects in three modes.
TEST(Scene, RenderMeshShiftsBlackAndWhiteDrainsAndMatricesDrawTintedCopiesInColourAndEnvironmentOnly) {
    Demo demo;
    demo.set("record_fps 10");
    const Rgb left{220, 30, 20}, right{20, 200, 40};
    write_tga(demo.dir.file("data/halves.tga"), 256, 128, quadrant_rgb(256, 128, left, right, left, right));
    demo.background("data/halves.tga", 0, 1, 0);
    demo.section("[efxRenderMesh]\n" + span(0, 1, 1) + "param {0, 1, 1, 1}\n");
    demo.picture("data/green.tga", 8, 8, Rgb{40, 220, 90});
    demo.background("data/green.tga", 1, 2, 0);
    demo.section("[efxBlackWhite]\n" + span(1, 2, 1) + "param {0, 1}\n");
    demo.background("data/halves.tga", 2, 3, 0);
    demo.section("[efxRenderMesh]\n" + span(2, 3, 1) + "param {0, 1, 1, 0}\n");
    demo.picture("data/dot.tga", 8, 8, white);
    demo.picture("data/env.tga", 8, 8, Rgb{0, 120, 240});
    demo.file("data/cube.3ds", mesh_write_3ds({}, {mesh_draft_cube("cube", 1, "")}));
    // Image copies: base 40 units away on the left, steps of 10 to the right, red to blue over 1 s.
    demo.file("data/base.spl", "1 1 1 0 0 0 -12 0 -40\n");
    demo.file("data/step.spl", "1 1 1 0 0 0 10 0 0\n");
    demo.file("data/tint.spl", "1 0 0 1\n0 0 1 1\n");
    demo.section("[camera]\n" + span(3, 4, 1) + "[imageMatrix]\n" + span(3, 4, 2) +
                 "param 2.5 1\nstring data/dot.tga\nspline data/base.spl\nspline data/step.spl\nspline "
                 "data/tint.spl\n");
    // Object copies from 3 units left, 2 apart, 10 units from the eye, in three modes in turn.
    demo.file("data/obase.spl", "1 1 1 0 0 0 -3 0 -5\n");
    demo.file("data/ostep.spl", "1 1 1 0 0 0 2 0 0\n");
    const char* modes[] = {"Color", "Environment", "Texture"};
    for (int i = 0; i < 3; ++i) {
        const float start = 4.1f + 0.3f * static_cast<float>(i);
        demo.section("[camera]\n" + span(start, start + 0.2f, 1) + "[objectMatrix]\n" +
                     span(start, start + 0.2f, 2) +
                     "string data/env.tga\nstring data/\nstring cube.3ds\nstring " + modes[i] +
                     "\nparam 2.5 1 0 0 0\nspline data/obase.spl\nspline data/ostep.spl\n");
    }
    expect_clean_exit(demo.run());
    // Each step moves the picture left by 1/100 of the frame: the edge between the halves, at
    // 128 pixels, moves 2.56 pixels a frame, and frame k shows k + 1 steps. Not kept, the warped
    // picture is not fed back: every frame from 2 s is the plain one moved one step.
    for (auto [k, steps] : {std::pair{0, 1}, {4, 5}, {9, 10}, {29, 1}}) {
        const int edge = static_cast<int>(128 - 2.56 * steps);
        EXPECT_COLOUR(demo.frame(k).at(edge - 3, 64), left, 12) << " frame " << k;
        EXPECT_COLOUR(demo.frame(k).at(edge + 4, 64), right, 12) << " frame " << k;
    }
    // Copies into a luminance texture keep the red channel: the grey is (40, 40, 40).
    for (int k : {0, 3, 7}) {
        const double a = k / 10.0;
        const Rgb want{40, static_cast<uint8_t>(220 - 180 * a + 0.5),
                       static_cast<uint8_t>(90 - 50 * a + 0.5)};
        EXPECT_COLOUR(colour_at(demo.frame(10 + k), 0.5f, 0.5f), want, 2) << " frame " << 10 + k;
    }
    // At 3.9 s copies at x = -12, -2, 8 read the tint at 0, 0.36, 0.72 s.
    TgaPicture images = demo.frame(39);
    const float times[3] = {0, 0.36f, 0.72f};
    for (int i = 0; i < 3; ++i) {
        const Rgb want{static_cast<uint8_t>(255 * (1 - times[i])), 0, static_cast<uint8_t>(255 * times[i])};
        EXPECT_COLOUR(images.at(column_of(-12 + 10.0f * i, 45), row_of(0, 45)), want, 3) << " copy " << i;
    }
    TgaPicture colour = demo.frame(42), environment = demo.frame(45), texture = demo.frame(48);
    for (float x : {-3.0f, -1.0f, 1.0f}) {
        EXPECT_EQ(colour.at(column_of(x, 10), row_of(0, 10)), red) << x;
        EXPECT_EQ(environment.at(column_of(x, 10), row_of(0, 10)), (Rgb{0, 120, 240})) << x;
    }
    EXPECT_EQ(count_colour(texture, black), texture.width * texture.height);
}

// Radial blur, deformation and the feedback mesh, seen in recorded frames.
#include "effects_frames.h"

namespace {
const Rgb kRed{220, 30, 20};
const Rgb kGreen{20, 200, 40};
}  // namespace

TEST(FeedbackEffects, RadialBlurWithoutStepDoublesPerPass) {
    DemoBuilder demo;
    effect_demo_clock(demo, 10, 1);
    demo.background(effect_plain(demo, "data/dark.tga", {30, 20, 10}), 0, 2, 0);
    // Strength 1, step 0: every pass adds the unmagnified frame.
    const std::string blur = "layer 1\nparam {1, 0, 1, 0, 0.5, 0.5, 0.5, 0.5}\n";
    demo.section("[efxRadialBlur]\nstart 0\nend 0.25\nparam {1}\n" + blur);
    demo.section("[efxRadialBlur]\nstart 0.35\nend 0.65\nparam {2.5}\n" + blur);
    demo.section("[efxRadialBlur]\nstart 0.75\nend 1\nparam {0}\n" + blur);
    effect_run_ok(demo);
    for (auto [x, y] : {std::pair{0.1f, 0.1f}, std::pair{0.5f, 0.5f}, std::pair{0.9f, 0.9f}}) {
        EXPECT_COLOUR(colour_at(demo.frame(2), x, y), (Rgb{60, 40, 20}), 1) << " one pass";
        // 2.5 runs three passes.
        EXPECT_COLOUR(colour_at(demo.frame(5), x, y), (Rgb{240, 160, 80}), 2) << " three passes";
        EXPECT_COLOUR(colour_at(demo.frame(8), x, y), (Rgb{30, 20, 10}), 1) << " no pass";
    }
}

TEST(FeedbackEffects, RadialBlurSmearsAwayFromItsFixedPoint) {
    DemoBuilder demo;
    effect_demo_clock(demo, 10, 0.3f);
    demo.background(effect_halves(demo, "data/halves.tga", kRed, kGreen), 0, 1, 0);
    // Half strength, step 0.2, centre (0, 0): pass 1 lays the pass-0 result magnified about the
    // lower-left corner, screen x showing texture x 0.8 x, so red spreads into the green half.
    demo.section("[efxRadialBlur]\nstart 0\nend 1\nlayer 1\nparam {2, 0.5, 0.2, 0.5, 0.2, 0, 0, 0, 0}\n");
    effect_run_ok(demo);
    TgaPicture f = demo.frame(1);
    // Pass 0 leaves red (255, 45, 30) and green (30, 255, 60).
    // Screen 0.3 reads texture 0.24 (red): green channel 45 + 22.5.
    EXPECT_COLOUR(colour_at(f, 0.3f, 0.5f), (Rgb{255, 67, 45}), 3);
    // Screen 0.55 is green but reads texture 0.44 (red).
    EXPECT_COLOUR(colour_at(f, 0.55f, 0.5f), (Rgb{157, 255, 75}), 3);
    // Screen 0.7 reads texture 0.56 (green).
    EXPECT_COLOUR(colour_at(f, 0.7f, 0.5f), (Rgb{45, 255, 90}), 3);
}

TEST(FeedbackEffects, DeformWithoutSplinesRedrawsTheFrameInPlace) {
    DemoBuilder demo;
    effect_demo_clock(demo, 10, 1);
    demo.background(effect_halves(demo, "data/halves.tga", kRed, kGreen), 0, 2, 0);
    demo.section("[efxDeform]\nstart 0\nend 0.45\nlayer 1\nparam {4, 8, 8}\n");
    effect_run_ok(demo);
    TgaPicture deformed = demo.frame(2);
    TgaPicture plain = demo.frame(8);
    ASSERT_EQ(deformed.width, 256);
    ASSERT_EQ(plain.width, 256);
    // 320 div 3 leaves the last column two window pixels short: skip the right edge.
    int differing = 0;
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 248; ++x) {
            if (!effect_near(deformed.at(x, y), plain.at(x, y), 8)) ++differing;
        }
    }
    // At most the seam between the halves may shift by a pixel.
    EXPECT_LE(differing, 2 * 128) << "pixels changed by a flat sheet";
}

TEST(FeedbackEffects, DeformMovesTheSheetWithAControlPoint) {
    DemoBuilder demo;
    effect_demo_clock(demo, 10, 0.3f);
    demo.background(effect_halves(demo, "data/halves.tga", kRed, kGreen), 0, 1, 0);
    // The top-right corner of a 2 x 2 sheet pulled all the way to the top-left corner.
    write_file(demo.dir.file("data/corner.spl"), "; i j dx dy dz\n1 1 -320 0 0\n1 1 -320 0 0\n");
    demo.section("[efxDeform]\nstart 0\nend 1\nlayer 1\nparam {2, 16, 16}\nspline data/corner.spl\n");
    effect_run_ok(demo);
    TgaPicture f = demo.frame(1);
    // The sheet now covers the triangle below the diagonal from top-left to bottom-right; a
    // screen point (X, Y) inside it shows the texture at x = X / (1 - Y).
    EXPECT_COLOUR(colour_at(f, 0.45f, 0.5f), kGreen, 10) << " texture x 0.9";
    EXPECT_COLOUR(colour_at(f, 0.35f, 0.6f), kGreen, 10) << " texture x 0.875";
    EXPECT_COLOUR(colour_at(f, 0.2f, 0.2f), kRed, 10) << " texture x 0.25";
    EXPECT_COLOUR(colour_at(f, 0.7f, 0.2f), kGreen, 10) << " texture x 0.875";
    // Outside the sheet the frame is as the background left it.
    EXPECT_COLOUR(colour_at(f, 0.3f, 0.9f), kRed, 10) << " uncovered, left";
    EXPECT_COLOUR(colour_at(f, 0.9f, 0.9f), kGreen, 10) << " uncovered, right";
}

TEST(FeedbackEffects, DeformIgnoresSplinesNamingNoPoint) {
    DemoBuilder demo;
    effect_demo_clock(demo, 10, 0.3f);
    demo.background(effect_halves(demo, "data/halves.tga", kRed, kGreen), 0, 1, 0);
    write_file(demo.dir.file("data/outside.spl"), "2 1 -320 0 0\n2 1 -320 0 0\n");
    write_file(demo.dir.file("data/below.spl"), "0 -3 0 500 0\n0 -3 0 500 0\n");
    demo.section(
        "[efxDeform]\nstart 0\nend 1\nlayer 1\nparam {2, 8, 8}\nspline data/outside.spl\nspline "
        "data/below.spl\n");
    effect_run_ok(demo);
    TgaPicture f = demo.frame(1);
    EXPECT_COLOUR(colour_at(f, 0.45f, 0.5f), kRed, 10);
    EXPECT_COLOUR(colour_at(f, 0.55f, 0.5f), kGreen, 10);
    EXPECT_COLOUR(colour_at(f, 0.1f, 0.1f), kRed, 10);
}

TEST(FeedbackEffects, RenderMeshShiftsOnceOrAccumulatesWhenFedBack) {
    for (int feedback : {1, 0}) {
        DemoBuilder demo;
        effect_demo_clock(demo, 10, 1);
        demo.background(effect_halves(demo, "data/halves.tga", kRed, kGreen), 0, 2, 0);
        demo.section("[efxRenderMesh]\nstart 0\nend 1\nlayer 1\nparam {0, 1, 1, " + std::to_string(feedback) +
                     "}\n");
        effect_run_ok(demo);
        // Each step moves the picture left by 1/100 of the frame: the edge between the halves,
        // at 128 pixels, moves 2.56 pixels. Fed back, frame k shows k + 1 steps; else one.
        for (int k : {0, 4, 9}) {
            TgaPicture f = demo.frame(k);
            ASSERT_EQ(f.width, 256);
            const int edge = static_cast<int>(128 - 2.56 * (feedback ? k + 1 : 1));
            EXPECT_COLOUR(f.at(edge - 3, 64), kRed, 12) << " frame " << k << ", feedback " << feedback;
            EXPECT_COLOUR(f.at(edge + 4, 64), kGreen, 12) << " frame " << k << ", feedback " << feedback;
        }
    }
}

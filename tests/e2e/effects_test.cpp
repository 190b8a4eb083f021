// Fades, tints, black and white and inversion, seen in recorded frames.
#include "effects_frames.h"

TEST(FrameEffects, FaderBlendsItsColourInOverTheSection) {
    DemoBuilder demo;
    effect_demo_clock(demo, 10, 1);
    demo.background(effect_plain(demo, "data/blue.tga", {0, 0, 255}), 0, 2, 0);
    // From transparent red to opaque red over one second.
    demo.section("[efxFader]\nstart 0\nend 1\nlayer 1\nparam {1, 0, 0, 0, 1, 0, 0, 1}\n");
    effect_run_ok(demo);
    for (int k : {0, 2, 5, 8}) {
        TgaPicture f = demo.frame(k);
        ASSERT_EQ(f.width, 256);
        ASSERT_EQ(f.height, 128);
        const double t = k / 10.0;
        const Rgb want{static_cast<uint8_t>(255 * t + 0.5), 0, static_cast<uint8_t>(255 * (1 - t) + 0.5)};
        for (auto [x, y] : {std::pair{0.1f, 0.1f}, std::pair{0.5f, 0.5f}, std::pair{0.9f, 0.8f}}) {
            EXPECT_COLOUR(colour_at(f, x, y), want, 2) << " frame " << k;
        }
    }
}

TEST(FrameEffects, ColourStaysCurrentForLaterDrawsThatUseIt) {
    DemoBuilder demo;
    effect_demo_clock(demo, 10, 1);
    demo.background(effect_plain(demo, "data/red.tga", {255, 0, 0}), 0, 2, 0);
    // A 24-bit picture drawn with the replace environment takes its alpha from the current
    // colour, so the tint's alpha decides how much of the blue picture covers the red one.
    demo.section("[efxColor]\nstart 0\nend 0.45\nlayer 1\nparam {1, 1, 1, 0.25}\n");
    demo.section("[efxColor]\nstart 0.75\nend 1\nlayer 1\nparam {0.5, 0.5, 0.5}\n");
    effect_plain(demo, "data/blue.tga", {0, 0, 255});
    demo.section(
        "[background]\nstart 0\nend 2\nlayer 2\nstring data/blue.tga\nblend SRC_ALPHA ONE_MINUS_SRC_ALPHA\n");
    effect_run_ok(demo);
    EXPECT_COLOUR(colour_at(demo.frame(2), 0.5f, 0.5f), (Rgb{191, 0, 64}), 2) << " alpha 0.25";
    // No colour section is active here: the last colour set still holds.
    EXPECT_COLOUR(colour_at(demo.frame(6), 0.5f, 0.5f), (Rgb{191, 0, 64}), 2) << " colour kept";
    // Three params set alpha 1.
    EXPECT_COLOUR(colour_at(demo.frame(9), 0.5f, 0.5f), (Rgb{0, 0, 255}), 2) << " three params";
}

TEST(FrameEffects, BlackAndWhiteGreysTheFrameByItsOpacity) {
    DemoBuilder demo;
    effect_demo_clock(demo, 10, 1);
    demo.background(effect_plain(demo, "data/orange.tga", {200, 100, 50}), 0, 2, 0);
    demo.section("[efxBlackWhite]\nstart 0\nend 0.25\nlayer 1\nparam {1, 1}\n");
    demo.section("[efxBlackWhite]\nstart 0.35\nend 0.65\nlayer 1\nparam {0.5, 0.5}\n");
    demo.section("[efxBlackWhite]\nstart 0.75\nend 1\nlayer 1\nparam {0, 0}\n");
    effect_run_ok(demo);
    const Rgb grey = colour_at(demo.frame(2), 0.5f, 0.5f);
    EXPECT_EQ(grey[0], grey[1]);
    EXPECT_EQ(grey[1], grey[2]);
    // Copies into a luminance texture keep the red channel.
    EXPECT_NEAR(grey[0], 200, 2);
    const Rgb half{static_cast<uint8_t>((200 + grey[0]) / 2), static_cast<uint8_t>((100 + grey[1]) / 2),
                   static_cast<uint8_t>((50 + grey[2]) / 2)};
    EXPECT_COLOUR(colour_at(demo.frame(5), 0.3f, 0.6f), half, 2) << " half grey";
    EXPECT_COLOUR(colour_at(demo.frame(8), 0.5f, 0.5f), (Rgb{200, 100, 50}), 1) << " opacity 0";
}

TEST(FrameEffects, BlackAndWhiteDrainsColourLinearly) {
    DemoBuilder demo;
    effect_demo_clock(demo, 10, 1.5f);
    demo.background(effect_plain(demo, "data/green.tga", {40, 220, 90}), 0, 2, 0);
    demo.section("[efxBlackWhite]\nstart 0\nend 1\nlayer 1\nparam {0, 1}\n");
    demo.section("[efxBlackWhite]\nstart 1.15\nend 2\nlayer 1\nparam {1, 1}\n");
    effect_run_ok(demo);
    const Rgb grey = colour_at(demo.frame(14), 0.5f, 0.5f);
    EXPECT_EQ(grey[0], grey[2]);
    for (int k : {0, 4, 7}) {
        const double a = k / 10.0;
        const Rgb c = colour_at(demo.frame(k), 0.5f, 0.5f);
        EXPECT_NEAR(c[1], 220 + (grey[1] - 220) * a, 2) << "frame " << k;
        EXPECT_NEAR(c[2], 90 + (grey[2] - 90) * a, 2) << "frame " << k;
    }
}

TEST(FrameEffects, InverseInvertsAndTwiceGivesTheFrameBack) {
    DemoBuilder demo;
    effect_demo_clock(demo, 10, 1.25f);
    demo.background(effect_plain(demo, "data/orange.tga", {200, 100, 50}), 0, 2, 0);
    demo.section("[efxInverse]\nstart 0\nend 1\nlayer 1\n");
    demo.section("[efxInverse]\nstart 0.55\nend 1\nlayer 2\n");
    effect_run_ok(demo);
    for (auto [x, y] : {std::pair{0.1f, 0.1f}, std::pair{0.5f, 0.5f}, std::pair{0.9f, 0.9f}}) {
        EXPECT_COLOUR(colour_at(demo.frame(3), x, y), (Rgb{55, 155, 205}), 1) << " inverted";
        EXPECT_COLOUR(colour_at(demo.frame(8), x, y), (Rgb{200, 100, 50}), 1) << " inverted twice";
    }
    // Every pixel, the filtered edges included, becomes its complement.
    TgaPicture plain = demo.frame(11);  // both inverses over
    TgaPicture once = demo.frame(3);
    for (int x : {0, 1, 128, 255}) {
        const Rgb p = plain.at(x, 0);
        const Rgb q = once.at(x, 0);
        for (int c = 0; c < 3; ++c) EXPECT_EQ(q[c], 255 - p[c]) << "column " << x;
    }
}

TEST(FrameEffects, EffectsLeaveTheDefaultStateForLaterSections) {
    // A picture drawn after each effect must still come out textured and unblended.
    DemoBuilder demo;
    effect_demo_clock(demo, 10, 0.3f);
    demo.background(effect_plain(demo, "data/grey.tga", {100, 100, 100}), 0, 1, 0);
    demo.section("[efxFader]\nstart 0\nend 1\nlayer 1\nparam {1, 0, 0, 0.5, 1, 0, 0, 0.5}\n");
    demo.section("[efxInverse]\nstart 0\nend 1\nlayer 2\n");
    demo.section("[efxBlackWhite]\nstart 0\nend 1\nlayer 3\nparam {0.5, 0.5}\n");
    demo.section(
        "[efxRadialBlur]\nstart 0\nend 1\nlayer 4\nparam {2, 0.5, 0.1, 0.5, 0.1, 0.5, 0.5, 0.5, 0.5}\n");
    demo.background(effect_halves(demo, "data/halves.tga", {10, 200, 30}, {250, 20, 140}), 0, 1, 5);
    effect_run_ok(demo);
    TgaPicture f = demo.frame(1);
    EXPECT_COLOUR(colour_at(f, 0.2f, 0.5f), (Rgb{10, 200, 30}), 1) << " left half";
    EXPECT_COLOUR(colour_at(f, 0.8f, 0.5f), (Rgb{250, 20, 140}), 1) << " right half";
}

// efxRepeat driving other effect types on its own clock, and the load messages of the effects.
#include "effects_frames.h"

namespace {

// Brightness of a white background under a black fade, at the middle of frame n.
int level(const DemoBuilder& demo, int n) {
    return colour_at(demo.frame(n), 0.5f, 0.5f)[1];
}

void white_demo_with_fade(DemoBuilder& demo, float until, float start, float end, const std::string& clock) {
    effect_demo_clock(demo, 4, until);
    demo.background(effect_plain(demo, "data/white.tga", {255, 255, 255}), 0, 5, 0);
    demo.section("[efxRepeat]\nstart " + std::to_string(start) + "\nend " + std::to_string(end) +
                 "\nlayer 1\nparam {" + clock + "}\nstring efxFader\nparam {0, 0, 0, 0, 0, 0, 0, 1}\n");
}

}  // namespace

TEST(RepeatEffect, FadesForOneSecondInEveryTwo) {
    DemoBuilder demo;
    white_demo_with_fade(demo, 3.9f, 0, 4, "2, 1, 0");
    effect_run_ok(demo);
    // Frames every quarter second; each repetition fades to black over its first second.
    for (int rep : {0, 1}) {
        const int base = 8 * rep;
        EXPECT_NEAR(level(demo, base + 0), 255, 2) << "repetition " << rep;
        EXPECT_NEAR(level(demo, base + 2), 128, 2) << "repetition " << rep;
        EXPECT_NEAR(level(demo, base + 3), 64, 2) << "repetition " << rep;
        EXPECT_NEAR(level(demo, base + 4), 0, 2) << "repetition " << rep;
        // Nothing is drawn in the gap.
        for (int k = 5; k < 8; ++k) EXPECT_EQ(level(demo, base + k), 255) << "frame " << base + k;
    }
}

TEST(RepeatEffect, LongRepetitionsAreCutAndRestartFromTheBeginning) {
    DemoBuilder demo;
    // Each repetition would take 3 s to reach black but is cut after 1 s.
    white_demo_with_fade(demo, 2.9f, 0, 3, "1, 3, 0");
    effect_run_ok(demo);
    EXPECT_NEAR(level(demo, 4), 170, 2);   // 1 s in: a third of the way
    EXPECT_EQ(level(demo, 5), 255);        // the frame that ends it draws nothing
    EXPECT_NEAR(level(demo, 6), 255, 1);   // begins again at elapsed 0
    EXPECT_NEAR(level(demo, 7), 234, 2);   // 0.25 s into the new repetition
    EXPECT_NEAR(level(demo, 8), 212, 2);   // 0.5 s into it
    EXPECT_EQ(level(demo, 9), 255);        // cut again
    EXPECT_NEAR(level(demo, 10), 255, 1);  // and begun again
}

TEST(RepeatEffect, InnerTypesWithSharedResourcesWork) {
    // No direct black-and-white or deform section: the repeat has to prepare them.
    DemoBuilder demo;
    effect_demo_clock(demo, 10, 0.5f);
    demo.background(effect_plain(demo, "data/orange.tga", {200, 100, 50}), 0, 1, 0);
    demo.section("[efxRepeat]\nstart 0\nend 1\nlayer 1\nparam {10, 10, 0, 1, 1}\nstring efxBlackWhite\n");
    demo.section("[efxRepeat]\nstart 0\nend 1\nlayer 2\nparam {10, 10, 0, 3, 4, 4}\nstring efxDeform\n");
    effect_run_ok(demo);
    const Rgb c = colour_at(demo.frame(2), 0.4f, 0.5f);
    EXPECT_COLOUR(c, (Rgb{200, 200, 200}), 3);
}

TEST(RepeatEffect, RepeatAlongsideADirectSectionOfTheSameType) {
    DemoBuilder demo;
    effect_demo_clock(demo, 10, 0.5f);
    demo.background(effect_plain(demo, "data/orange.tga", {200, 100, 50}), 0, 1, 0);
    demo.section("[efxBlackWhite]\nstart 0\nend 0.25\nlayer 1\nparam {1, 1}\n");
    demo.section("[efxRepeat]\nstart 0.35\nend 1\nlayer 1\nparam {10, 10, 0, 1, 1}\nstring efxBlackWhite\n");
    effect_run_ok(demo);
    const Rgb direct = colour_at(demo.frame(1), 0.5f, 0.5f);
    EXPECT_COLOUR(direct, (Rgb{200, 200, 200}), 3);
    EXPECT_COLOUR(colour_at(demo.frame(4), 0.5f, 0.5f), direct, 0);
    EXPECT_COLOUR(colour_at(demo.frame(3), 0.5f, 0.5f), (Rgb{200, 100, 50}), 1);
}

namespace {

// Runs a demo with one more section and returns what the player said as it ended.
PlayerResult failing(const std::string& section, const std::string& file = "",
                     const std::string& contents = "") {
    DemoBuilder demo;
    effect_demo_clock(demo, 10, 1);
    demo.background(effect_plain(demo, "data/white.tga", {255, 255, 255}), 0, 2, 0);
    if (!file.empty()) write_file(demo.dir.file(file), contents);
    demo.section(section);
    return demo.run();
}

void expect_fatal(const std::string& section, const std::string& message) {
    PlayerResult r = failing(section);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 255) << section;
    EXPECT_EQ(r.err, "Error: " + message + "\n") << section;
}

}  // namespace

TEST(EffectMessages, InitChecksOfEveryEffect) {
    const std::string head = "start 0\nend 1\nlayer 1\n";
    expect_fatal("[efxBlackWhite]\n" + head + "param {1}\n", "Two floats needed in black & white");
    expect_fatal("[efxBlackWhite]\n" + head + "param {1, 1, 1}\n", "Two floats needed in black & white");
    expect_fatal("[efxColor]\n" + head + "param {1, 1}\n", "3 - 4 floats needed in color");
    expect_fatal("[efxColor]\n" + head + "param {1, 1, 1, 1, 1}\n", "3 - 4 floats needed in color");
    expect_fatal("[efxFader]\n" + head + "param {1, 1, 1, 1, 1, 1, 1}\n", "Eight floats needed in fader");
    expect_fatal("[efxRadialBlur]\n" + head + "param {1, 1, 1, 1, 1, 1, 1, 1}\n",
                 "Nine floats needed in radial blur");
    expect_fatal("[efxDeform]\n" + head + "param {4, 8}\n", "Three floats needed in deform effect");
    expect_fatal("[efxDeform]\n" + head + "param {4, 0, 8}\n", "1 to 255 mesh steps needed in deform effect");
    expect_fatal("[efxDeform]\n" + head + "param {4, 8, 300}\n",
                 "1 to 255 mesh steps needed in deform effect");
}

TEST(EffectMessages, DeformRefusesWhatOpenGLCannotEvaluate) {
    for (const std::string n : {"1", "260"}) {
        PlayerResult r = failing("[efxDeform]\nstart 0\nend 1\nparam {" + n + ", 8, 8}\n");
        EXPECT_EQ(r.exit_status, 255);
        EXPECT_EQ(r.err.rfind("Error: 2 to ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(" control points needed in deform effect\n"), std::string::npos) << r.err;
    }
    PlayerResult r = failing("[efxDeform]\nstart 0\nend 1\nparam {3, 8, 8}\nspline data/short.spl\n",
                             "data/short.spl", "1 1 5\n1 1 5\n");
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.err, "Error: Five channels needed in deform spline 'data/short.spl'\n");
}

TEST(EffectMessages, RepeatChecksInOrderThenTheInnerType) {
    const std::string head = "[efxRepeat]\nstart 0\nend 1\nlayer 1\n";
    expect_fatal(head + "param {1, 1}\nstring efxFader\n", "3 float(s) needed in repeat");
    expect_fatal(head + "param {1, 1, 0}\n", "1 string(s) needed in repeat");
    expect_fatal(head + "param {1, 1, 0}\nstring efxfader\n", "Script: unknown section 'efxfader' in repeat");
    // Exactly three params leave the inner fader with none.
    expect_fatal(head + "param {1, 1, 0}\nstring efxFader\n", "Eight floats needed in fader");
    expect_fatal(head + "param {1, 1, 0, 1, 1}\nstring efxRadialBlur\n", "Nine floats needed in radial blur");
}

// Demos of loading screens and background pictures, played with recording on; the recorded
// frames show what the viewer would have seen.
#include <gtest/gtest.h>

#include <filesystem>

#include "demo_builder.h"

namespace {

const Rgb red{255, 0, 0};
const Rgb green{0, 255, 0};
const Rgb blue{0, 0, 255};
const Rgb white{255, 255, 255};
const Rgb black{0, 0, 0};

// The colour in the middle of the frame.
Rgb centre(const TgaPicture& p) {
    return colour_at(p, 0.5f, 0.5f);
}

std::vector<std::string> frame_names(int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%08d.tga", i);
        names.push_back(name);
    }
    return names;
}

}  // namespace

TEST(Playback, BackgroundFillsTheDefaultFrameTheRightWayUpAndTheDemoEnds) {
    DemoBuilder demo;
    demo.set("gl_width 800");
    demo.set("gl_height 600");
    demo.set("gl_rttWidth 512");
    demo.set("gl_rttHeight 512");
    demo.picture("data/quad.tga", 16, 16, quadrant_rgb(16, 16, red, green, blue, white));
    demo.background("data/quad.tga", 0, 0.05f);
    PlayerResult r = demo.run();
    expect_clean_exit(r);

    // Frames at 0 and 0.04 show the picture; the one at 0.08 stops it, and nothing is left.
    ASSERT_EQ(demo.frames(), frame_names(3));
    for (int i = 0; i < 2; ++i) {
        TgaPicture f = demo.frame(i);
        EXPECT_EQ(f.type, 2);
        EXPECT_EQ(f.width, 512);
        EXPECT_EQ(f.height, 512);
        EXPECT_EQ(colour_at(f, 0.25f, 0.75f), red) << "top left, frame " << i;
        EXPECT_EQ(colour_at(f, 0.75f, 0.75f), green) << "top right";
        EXPECT_EQ(colour_at(f, 0.25f, 0.25f), blue) << "bottom left";
        EXPECT_EQ(colour_at(f, 0.75f, 0.25f), white) << "bottom right";
    }
    EXPECT_EQ(centre(demo.frame(2)), black);
}

TEST(Playback, HigherLayersDrawOverLowerOnesWhateverTheOrderOfParsing) {
    DemoBuilder demo;
    demo.picture("data/red.tga", 8, 8, red);
    demo.picture("data/green.tga", 8, 8, green);
    demo.background("data/red.tga", 0, 0.01f, 5);
    demo.background("data/green.tga", 0, 0.01f, 2);
    expect_clean_exit(demo.run());
    ASSERT_EQ(demo.frames(), frame_names(2));
    EXPECT_EQ(centre(demo.frame(0)), red);
}

TEST(Playback, OnOneLayerTheFirstParsedIsOnTopAndLaterStartsGoBeneath) {
    DemoBuilder demo;
    demo.picture("data/red.tga", 8, 8, red);
    demo.picture("data/green.tga", 8, 8, green);
    demo.picture("data/blue.tga", 8, 8, blue);
    // Same start: the one parsed last is drawn first, underneath.
    demo.background("data/red.tga", 0, 0.1f, 3);
    demo.background("data/green.tga", 0, 0.1f, 3);
    // Starting a frame later on the same layer puts blue beneath both.
    demo.background("data/blue.tga", 0.04f, 0.1f, 3);
    expect_clean_exit(demo.run());
    ASSERT_EQ(demo.frames(), frame_names(4));
    EXPECT_EQ(centre(demo.frame(0)), red);
    EXPECT_EQ(centre(demo.frame(1)), red);
    EXPECT_EQ(centre(demo.frame(2)), red);
}

TEST(Playback, DemoStartDropsFinishedSectionsAndStartsTheRestPartWay) {
    DemoBuilder demo;
    demo.set("demo_start 2");
    demo.picture("data/red.tga", 8, 8, red);
    demo.picture("data/green.tga", 8, 8, green);
    demo.picture("data/blue.tga", 8, 8, blue);
    demo.background("data/red.tga", 0, 2.1f, 1);
    demo.background("data/green.tga", 2.04f, 2.1f, 2);
    demo.background("data/blue.tga", 0, 2, 3);  // ends where the demo starts: dropped
    expect_clean_exit(demo.run());
    // Frames at 2.00, 2.04, 2.08 and 2.12, where both have stopped.
    ASSERT_EQ(demo.frames(), frame_names(4));
    EXPECT_EQ(centre(demo.frame(0)), red);
    EXPECT_EQ(centre(demo.frame(1)), green);
    EXPECT_EQ(centre(demo.frame(2)), green);
    EXPECT_EQ(centre(demo.frame(3)), black);
}

TEST(Playback, DemoEndEndsAfterTheFirstFramePastIt) {
    DemoBuilder demo;
    demo.set("demo_end 0.1");
    demo.picture("data/red.tga", 8, 8, red);
    demo.picture("data/green.tga", 8, 8, green);
    demo.background("data/red.tga", 0, 100, 1);
    demo.background("data/green.tga", 0.1f, 100, 2);  // starts at the end: dropped
    expect_clean_exit(demo.run());
    // 0, 0.04, 0.08 and 0.12, the first frame past 0.1, although red has 100 s to go.
    ASSERT_EQ(demo.frames(), frame_names(4));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(centre(demo.frame(i)), red) << i;
}

TEST(Playback, RecordedFramesHaveTheFrameSizeWhateverTheRowAlignment) {
    DemoBuilder demo;
    demo.set("gl_rttWidth 150");  // 450-byte rows
    demo.set("gl_rttHeight 90");
    demo.set("compress_tga 0");
    demo.picture("data/quad.tga", 16, 16, quadrant_rgb(16, 16, red, green, blue, white));
    demo.background("data/quad.tga", 0, 0.01f);
    expect_clean_exit(demo.run());
    ASSERT_EQ(demo.frames(), frame_names(2));
    EXPECT_EQ(std::filesystem::file_size(demo.dir.file("video/00000000.tga")), 18u + 150 * 90 * 3);
    TgaPicture f = demo.frame(0);
    EXPECT_EQ(f.width, 150);
    EXPECT_EQ(f.height, 90);
    // Rows read with padding would shear the picture: the quadrants would drift from row to row.
    for (float fy : {0.2f, 0.3f}) {
        EXPECT_EQ(colour_at(f, 0.1f, fy), blue);
        EXPECT_EQ(colour_at(f, 0.4f, fy), blue);
        EXPECT_EQ(colour_at(f, 0.6f, fy), white);
        EXPECT_EQ(colour_at(f, 0.9f, fy), white);
    }
    for (float fy : {0.7f, 0.8f}) {
        EXPECT_EQ(colour_at(f, 0.1f, fy), red);
        EXPECT_EQ(colour_at(f, 0.4f, fy), red);
        EXPECT_EQ(colour_at(f, 0.6f, fy), green);
        EXPECT_EQ(colour_at(f, 0.9f, fy), green);
    }
}

TEST(Playback, CompressedFramesDecodeToTheSamePixels) {
    std::vector<TgaPicture> runs[2];
    for (int compress = 0; compress < 2; ++compress) {
        DemoBuilder demo;
        demo.set("compress_tga " + std::to_string(compress));
        demo.picture("data/quad.tga", 16, 16, quadrant_rgb(16, 16, red, green, blue, white));
        demo.background("data/quad.tga", 0, 0.05f);
        expect_clean_exit(demo.run());
        ASSERT_EQ(demo.frames(), frame_names(3));
        for (int i = 0; i < 3; ++i) runs[compress].push_back(demo.frame(i));
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(runs[0][i].type, 2);
        EXPECT_EQ(runs[1][i].type, 10);
        EXPECT_EQ(runs[1][i].width, 256);
        EXPECT_EQ(runs[1][i].rgb, runs[0][i].rgb) << "frame " << i;
    }
}

TEST(Playback, RecordingWithoutAVideoDirectoryWritesNothingAndEnds) {
    DemoBuilder demo;
    std::filesystem::remove(demo.dir.file("video"));
    demo.picture("data/red.tga", 8, 8, red);
    demo.background("data/red.tga", 0, 0.1f);
    PlayerResult r = demo.run();
    EXPECT_EQ(r.exit_status, 0);
    // Said once, not once a frame.
    EXPECT_EQ(r.err,
              "Warning: record is set but there is no folder 'video' here: the frames are not written "
              "(create the folder to keep them)\n");
    EXPECT_FALSE(std::filesystem::exists(demo.dir.file("video")));
    EXPECT_FALSE(std::filesystem::exists(demo.dir.file("video/00000000.tga")));
}

TEST(Playback, LoadingSectionInTheTimelineShowsTheLoadingScreenInTheFrame) {
    DemoBuilder demo;
    demo.sections.clear();
    demo.picture("data/back.tga", 8, 8, blue);
    demo.picture("data/front.tga", 8, 8, green);
    demo.picture("data/red.tga", 8, 8, red);
    demo.background("data/red.tga", 0, 0.1f, 1);
    // On a higher layer the loading screen covers the frame with the counters as loading left
    // them: the loading section counts in both totals but its type is never prepared, so the
    // progress stays at 3/4 (two types, two sections, three steps). The front picture is thus
    // blended at 3/4 over the back one, and the bar is filled to 3/4 of its width.
    demo.section(
        "[loading]\nstart 0\nend 0.05\nlayer 2\nparam 1 1 1 1\nstring data/back.tga\n"
        "string data/front.tga\n");
    expect_clean_exit(demo.run());
    ASSERT_EQ(demo.frames(), frame_names(4));
    TgaPicture first = demo.frame(0);
    Rgb mix = centre(first);
    EXPECT_EQ(mix[0], 0);
    EXPECT_NEAR(mix[1], 191, 2);
    EXPECT_NEAR(mix[2], 64, 2);
    // The bar spans 0.15 to 0.85 of the width, 0.18 to 0.2 of the height; filled up to 0.675.
    EXPECT_EQ(colour_at(first, 0.3f, 0.19f), white);
    EXPECT_EQ(colour_at(first, 0.6f, 0.19f), white);
    EXPECT_EQ(colour_at(first, 0.8f, 0.19f), mix);
    EXPECT_EQ(colour_at(first, 0.3f, 0.3f), mix);
    EXPECT_EQ(centre(demo.frame(2)), red);
}

// The viewer's keys on a running player: Escape and closing the window end it, S saves
// screenshots; and a looping demo, which only a key can stop.
#include <gtest/gtest.h>

#include <filesystem>

#include "viewer_session.h"

namespace {

const Rgb red{255, 0, 0};
const Rgb green{0, 255, 0};
const Rgb black{0, 0, 0};

// A demo that plays for a long time, recording small frames so that the test can see it play.
void make_long(DemoBuilder& demo) {
    demo.set("gl_rttWidth 64");
    demo.set("gl_rttHeight 32");
    demo.picture("data/red.tga", 8, 8, red);
    demo.background("data/red.tga", 0, 1000);
}

constexpr size_t small_frame_size = 18 + 64 * 32 * 3;

// The player's window as it is now: the first one it opens is replaced when the video mode is set.
Window player_window(X11Input& x) {
    return x.window("Tarvel");
}

}  // namespace

TEST(Keys, EscapeEndsPlaybackWithStatusZero) {
    DemoBuilder demo;
    make_long(demo);
    PlayerResult r = run_with_viewer(demo, [&](X11Input& x) {
        ASSERT_NE(wait_for_file(demo.dir.file("video/00000000.tga"), small_frame_size), "");
        x.key(player_window(x), XK_Escape);
    });
    expect_clean_exit(r);
}

TEST(Keys, ClosingTheWindowEndsPlaybackWithStatusZero) {
    DemoBuilder demo;
    make_long(demo);
    PlayerResult r = run_with_viewer(demo, [&](X11Input& x) {
        ASSERT_NE(wait_for_file(demo.dir.file("video/00000000.tga"), small_frame_size), "");
        x.close_window(player_window(x));
    });
    expect_clean_exit(r);
}

TEST(Keys, SSavesNumberedScreenshotsOfTheWindow) {
    DemoBuilder demo;
    make_long(demo);
    demo.set("compress_tga 1");
    PlayerResult r = run_with_viewer(demo, [&](X11Input& x) {
        ASSERT_TRUE(wait_for_picture(demo.dir.file("video/00000000.tga")));
        x.key(player_window(x), XK_s);
        ASSERT_TRUE(wait_for_picture(demo.dir.file("screen00.tga")));
        x.key(player_window(x), XK_s);
        ASSERT_TRUE(wait_for_picture(demo.dir.file("screen01.tga")));
        x.key(player_window(x), XK_Escape);
    });
    expect_clean_exit(r);
    for (const char* name : {"screen00.tga", "screen01.tga"}) {
        TgaPicture shot = demo.picture_at(name);
        EXPECT_EQ(shot.type, 10) << name;
        EXPECT_EQ(shot.width, 320) << name;
        EXPECT_EQ(shot.height, 240) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(demo.dir.file("screen02.tga")));
}

TEST(Keys, ALoopingDemoPlaysEveryPassAlikeUntilEscape) {
    DemoBuilder demo;
    demo.set("gl_rttWidth 64");
    demo.set("gl_rttHeight 32");
    demo.set("loop 1");
    demo.picture("data/red.tga", 8, 8, red);
    demo.picture("data/green.tga", 8, 8, green);
    demo.background("data/red.tga", 0, 0.05f, 1);
    demo.background("data/green.tga", 0.05f, 0.09f, 2);
    // Frames at 0, 0.04, 0.08 and 0.12 (nothing left), then the demo starts again.
    const int frames = 4;
    std::vector<std::string> passes[2];
    PlayerResult r = run_with_viewer(demo, [&](X11Input& x) {
        for (auto& pass : passes) {
            // Frame files written after the previous pass's were removed come from a later pass.
            for (int i = 0; i < frames; ++i) {
                char name[32];
                std::snprintf(name, sizeof name, "video/%08d.tga", i);
                pass.push_back(wait_for_file(demo.dir.file(name), small_frame_size));
            }
            for (int i = 0; i < frames; ++i) {
                char name[32];
                std::snprintf(name, sizeof name, "video/%08d.tga", i);
                std::filesystem::remove(demo.dir.file(name));
            }
        }
        x.key(player_window(x), XK_Escape);
    });
    expect_clean_exit(r);
    ASSERT_EQ(passes[0].size(), static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        ASSERT_NE(passes[0][i], "") << "frame " << i;
        EXPECT_EQ(passes[1][i], passes[0][i]) << "frame " << i;
    }
    // The frame count starts again at 0 on every pass, so no pass goes past frame 3.
    EXPECT_FALSE(std::filesystem::exists(demo.dir.file("video/00000004.tga")));
    std::vector<Rgb> expected = {red, red, green, black};
    for (int i = 0; i < frames; ++i) {
        TgaPicture p;
        ASSERT_EQ(tga_decode(passes[0][i], p), "");
        EXPECT_EQ(colour_at(p, 0.5f, 0.5f), expected[i]) << "frame " << i;
    }
}

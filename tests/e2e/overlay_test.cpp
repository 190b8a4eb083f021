// The debug overlays on a running player: drawn over the presented picture, seen in a
// screenshot of the window, never in the recorded frames.
#include <gtest/gtest.h>

#include <filesystem>

#include "font_image.h"
#include "viewer_session.h"

namespace {

// Replaces the demo's blank font with the real one from the generator.
void install_font(const DemoBuilder& demo) {
    ASSERT_TRUE(make_font_image(demo.dir.file("data/fonts/font.tga")));
}

// Compares one 16-pixel text line at the top left of a window picture with the glyphs of
// `text`; returns "" when every pixel inside the picture agrees, else where it first does not.
std::string line_mismatch(const TgaPicture& shot, const GlyphImage& font, int line, const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const int cell = glyph_cell(static_cast<unsigned char>(text[i]));
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const int sx = static_cast<int>(i) * 16 + x;
                const int sy = line * 16 + y;  // from the top of the window
                if (sx >= shot.width || sy >= shot.height) continue;
                const bool want = cell >= 0 && font.lit(cell, x, y);
                const bool got = shot.at(sx, shot.height - 1 - sy)[0] > 127;
                if (want != got) {
                    return "line " + std::to_string(line) + " character " + std::to_string(i) + " ('" +
                           text[i] + "') pixel " + std::to_string(x) + "," + std::to_string(y) +
                           (want ? " dark" : " lit");
                }
            }
        }
    }
    return "";
}

// Plays a long recording on black with the given overlay settings, takes a screenshot (key S)
// once the frame rate has been measured, and returns it. The window is 322 x 241 in 4:3, so the
// picture band is the whole window and one overlay unit is one pixel.
TgaPicture overlay_screenshot(int fps_flag, int timing_flag, const std::string& extra_section = "") {
    DemoBuilder demo;
    install_font(demo);
    demo.set("gl_width 322");
    demo.set("gl_height 241");
    demo.set("gl_panoramic 0");
    demo.set("gl_rttWidth 64");
    demo.set("gl_rttHeight 32");
    demo.set("fps " + std::to_string(fps_flag));
    demo.set("timing " + std::to_string(timing_flag));
    demo.picture("data/black.tga", 8, 8, Rgb{0, 0, 0});
    demo.background("data/black.tga", 0, 1000);
    if (!extra_section.empty()) demo.section(extra_section);
    // A camera standing still, for demos that give one.
    write_file(demo.dir.file("data/still.spl"),
               "1.5 -12.3 250 0 0 0 0 -3.7 1000.5 60 0.1 500\n"
               "1.5 -12.3 250 0 0 0 0 -3.7 1000.5 60 0.1 500\n");

    bool shot = false;
    PlayerResult r = run_with_viewer(demo, [&](X11Input& x) {
        // Past frame 8 the recording's frame rate (25) has been measured.
        if (wait_for_picture(demo.dir.file("video/00000010.tga"))) {
            x.key(x.window("Tarvel"), XK_s);
            shot = wait_for_picture(demo.dir.file("screen00.tga"));
        }
        x.key(x.window("Tarvel"), XK_Escape);
    });
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_TRUE(shot) << "no screenshot";
    if (!shot) return {};
    TgaPicture p = demo.picture_at("screen00.tga");
    EXPECT_EQ(p.width, 322);
    EXPECT_EQ(p.height, 241);
    return p;
}

}  // namespace

TEST(OverlayScreen, FrameRateLineAloneEvenWithTimingSet) {
    const GlyphImage font = glyph_image();
    ASSERT_TRUE(font.complete());
    const TgaPicture shot = overlay_screenshot(1, 1);
    ASSERT_EQ(shot.width, 322);
    EXPECT_EQ(line_mismatch(shot, font, 0, "fps 25          "), "");
    // No statistics below it.
    EXPECT_EQ(line_mismatch(shot, font, 1, "                    "), "");
    EXPECT_EQ(line_mismatch(shot, font, 2, "                    "), "");
}

TEST(OverlayScreen, StatisticsBlockWithoutCamera) {
    const GlyphImage font = glyph_image();
    ASSERT_TRUE(font.complete());
    const TgaPicture shot = overlay_screenshot(0, 1);
    ASSERT_EQ(shot.width, 322);
    EXPECT_EQ(line_mismatch(shot, font, 0, "fps 25          "), "");
    // The frame and second figures depend on when the key arrived.
    EXPECT_EQ(line_mismatch(shot, font, 1, "frame "), "");
    EXPECT_EQ(line_mismatch(shot, font, 2, "sound 0.0% channels 0   "), "");
    EXPECT_EQ(line_mismatch(shot, font, 3, "texture mem "), "");
    EXPECT_EQ(line_mismatch(shot, font, 4, "                    "), "");
}

TEST(OverlayRecording, TimingLeavesTheRecordedFramesUntouched) {
    std::vector<std::string> frames[2];
    for (int timing_flag : {0, 1}) {
        DemoBuilder demo;
        install_font(demo);
        demo.set("timing " + std::to_string(timing_flag));
        demo.picture("data/quad.tga", 16, 16,
                     quadrant_rgb(16, 16, Rgb{200, 0, 0}, Rgb{0, 200, 0}, Rgb{0, 0, 200}, Rgb{90, 90, 90}));
        demo.background("data/quad.tga", 0, 0.2f);
        PlayerResult r = demo.run();
        EXPECT_EQ(r.exit_status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        for (const std::string& name : demo.frames())
            frames[timing_flag].push_back(read_file(demo.dir.file("video/" + name)));
    }
    ASSERT_GE(frames[0].size(), 6u);  // 0 to about 0.24 s at 25 frames a second
    ASSERT_EQ(frames[1].size(), frames[0].size());
    for (size_t i = 0; i < frames[0].size(); ++i) EXPECT_TRUE(frames[1][i] == frames[0][i]) << "frame " << i;
}

TEST(OverlayScreen, StatisticsBlockWithTheCameraOfTheFrame) {
    const GlyphImage font = glyph_image();
    ASSERT_TRUE(font.complete());
    const TgaPicture shot =
        overlay_screenshot(0, 1, "[camera]\nstart 0\nend 1000\nlayer 1\nspline data/still.spl\n");
    ASSERT_EQ(shot.width, 322);
    EXPECT_EQ(line_mismatch(shot, font, 0, "fps 25          "), "");
    EXPECT_EQ(line_mismatch(shot, font, 2, "sound 0.0% channels "), "");
    EXPECT_EQ(line_mismatch(shot, font, 4, "                    "), "");
    EXPECT_EQ(line_mismatch(shot, font, 5, "camera position     "), "");
    // Positions right-aligned in five characters; the window shows twenty characters a line.
    EXPECT_EQ(line_mismatch(shot, font, 6, "loc x:   1.5 tgt x: 0.0"), "");
    EXPECT_EQ(line_mismatch(shot, font, 7, "loc y: -12.3 tgt y: -3.7"), "");
    EXPECT_EQ(line_mismatch(shot, font, 8, "loc z: 250.0 tgt z: 1000.5"), "");
    EXPECT_EQ(line_mismatch(shot, font, 9, "                    "), "");
}
